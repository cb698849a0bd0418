#pragma once

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <memory>
#include <optional>

// A running media application: on Linux an MPRIS player on the session bus.
struct MediaApplication {
    QString busName;          // its unique or well-known name; what tells two apart
    QString bundleIdentifier; // its application identifier (empty when unknown)
    qint64 pid = 0;
    bool operator==(const MediaApplication& o) const { return busName == o.busName; }
};

// Where the watcher learns of media applications and of other tap owners: the
// launches, activations and terminations of players, and the two announcements that
// every tap owner posts and answers. Main thread.
class MediaApplicationBus : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~MediaApplicationBus() override = default;

    // Follow launches, activations and terminations (and stop following them).
    virtual void observeApplications() = 0;
    virtual void stopObservingApplications() = 0;
    // Listen for the announcements; idempotent.
    virtual void observeAnnouncements() = 0;
    virtual void stopObservingAnnouncements() = 0;
    virtual void postAnnouncement(const QString& name, const std::optional<QString>& object) = 0;
    // This application as a media application.
    virtual MediaApplication currentApplication() const = 0;

signals:
    void applicationLaunched(const MediaApplication& app);
    void applicationActivated(const MediaApplication& app);
    void applicationTerminated(const MediaApplication& app);
    // `object` is null when the announcement carried none.
    void announcementReceived(const QString& name, const QString& object);
};

// What the watcher tells the tap that owns it.
class MediaApplicationWatcherDelegate {
public:
    virtual ~MediaApplicationWatcherDelegate() = default;
    // This application is (or is not) the most recently activated listed one.
    virtual void updateIsActiveMediaApp(bool active) = 0;
    // A listed media application launched: take the keys anew.
    virtual void whitelistedAppStarted() = 0;
};

// Keeps the most recently activated media applications and the identifiers of other
// tap owners, and tells its tap whether this application is the active media one.
class MediaApplicationWatcher : public QObject {
    Q_OBJECT
public:
    static inline const QString mediaKeyTapDidStartNotification =
        QStringLiteral("MediaKeyTapDidStart");
    static inline const QString mediaKeyTapReplyNotification = QStringLiteral("MediaKeyTapReply");

    // `ownIdentifier`: this application's identifier (none leaves it out).
    MediaApplicationWatcher(std::unique_ptr<MediaApplicationBus> bus,
                            std::optional<QString> ownIdentifier);
    ~MediaApplicationWatcher() override;

    // `delegate` owns the watcher and outlives it.
    void start(MediaApplicationWatcherDelegate* delegate);
    void stop();
    void activate();

    bool started() const { return m_started; }
    const QList<MediaApplication>& mediaApps() const { return m_mediaApps; }
    const QSet<QString>& dynamicWhitelist() const { return m_dynamicWhitelist; }
    QSet<QString> whitelistedApplicationIdentifiers() const;
    MediaApplicationBus& bus() { return *m_bus; }

private:
    void setupDistributedNotifications();
    void applicationLaunched(const MediaApplication& app);
    void applicationActivated(const MediaApplication& app);
    void applicationTerminated(const MediaApplication& app);
    void announcementReceived(const QString& name, const QString& object);
    void handleApplicationActivation(const MediaApplication& app);
    void updateKeyInterceptStatus();

    std::unique_ptr<MediaApplicationBus> m_bus;
    std::optional<QString> m_own;
    MediaApplicationWatcherDelegate* m_delegate = nullptr;
    bool m_started = false;
    bool m_announcementsObserved = false;
    QList<MediaApplication> m_mediaApps;
    QSet<QString> m_dynamicWhitelist;
};
