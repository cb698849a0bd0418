#pragma once

#include "core/Clock.h"
#include "platform/HttpClient.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

class QTimer;

// Tells the application when a newer release exists. Releases are installed by the
// system's package manager, so there is nothing to install here: a small JSON feed
// names the newest version, its release notes and its download page, and the update
// window shows them. A manual check either opens that window (a newer release is
// already known) or probes the feed silently and reports the outcome once. Automatic
// checks run at most once a day. Main thread only.
class UpdaterManager : public QObject {
    Q_OBJECT
public:
    static constexpr int timeoutMs = 15'000;
    static constexpr qint64 maxFeedBytes = 64 * 1024;
    static constexpr qint64 automaticCheckIntervalSeconds = 24 * 60 * 60;
    // How often the automatic check looks whether a day has passed.
    static constexpr int automaticCheckPollMs = 60 * 60 * 1000;
    // A session the window never reports closed ends by itself after this.
    static constexpr int sessionTimeoutMs = 5 * 60 * 1000;

    struct ManualCheckResult {
        enum class Kind { updateAvailable, upToDate, failed };
        Kind kind;
        QString version; // for updateAvailable
        bool operator==(const ManualCheckResult&) const = default;
    };
    struct Release {
        QString version;
        QUrl releaseNotes; // may be empty
        QUrl download;
    };
    enum class CheckKind { userInitiated, background, information };

    // Without `http` the platform's client is made for the first check.
    explicit UpdaterManager(Clock& clock = Clock::system(),
                            std::unique_ptr<HttpClient> http = nullptr, QObject* parent = nullptr);
    ~UpdaterManager() override;

    // The build's HALCYRA_UPDATE_FEED_URL unless replaced (tests; empty restores it).
    static QUrl feedUrl();
    static void setFeedUrl(const QUrl& url);
    // The feed address when it may be fetched: HTTPS, or plain HTTP to this machine.
    static QUrl validatedFeedUrl();
    // The newest release a feed names; none for anything malformed.
    static std::optional<Release> parseFeed(const QByteArray& json);
    // Negative, zero or positive as `a` is older, equal or newer than `b`; none when
    // either is not a dotted number.
    static std::optional<int> compareVersions(const QString& a, const QString& b);

    std::optional<QString> availableUpdateVersion() const { return m_availableUpdateVersion; }
    std::optional<Release> availableRelease() const { return m_availableRelease; }
    bool sessionOpen() const { return m_sessionOpen; }
    bool canCheckForUpdates() const;

    std::function<void(std::optional<QString>)> onAvailabilityChanged;
    std::function<void(ManualCheckResult)> onManualCheckResult;
    std::function<void(bool)> onUpdaterSessionChanged;
    // Opens the update window; the window calls updateWindowClosed() when it closes.
    std::function<void(const Release&)> showUpdateWindow;

    void checkForUpdates();
    void updateWindowClosed();
    void setSessionTimeoutMs(int ms);
    // Looks hourly, from an hour after the call, whether a day has passed since the
    // last automatic check, and checks then.
    void startAutomaticChecks();
    // Releases come from the package manager, so "automatic updates" means the daily
    // check that tells of a newer one. Stored; on by default.
    bool automaticallyChecksForUpdates() const;
    void setAutomaticallyChecksForUpdates(bool on);
    void automaticCheckIfDue();

private:
    void checkForUpdateInformation(CheckKind kind);
    void didFindValidUpdate(const Release& release, CheckKind kind);
    void didNotFindUpdate();
    void didFinishUpdateCycle(CheckKind kind);
    void openSession();
    void closeSession();
    void finishFetch(const HttpClient::Response& answer);

    Clock& m_clock;
    std::unique_ptr<HttpClient> m_http;
    std::optional<QString> m_availableUpdateVersion;
    std::optional<Release> m_availableRelease;
    bool m_manualProbeInFlight = false;
    bool m_sessionOpen = false;
    bool m_fetching = false;
    CheckKind m_replyKind = CheckKind::information;
    QTimer* m_sessionTimeout;
    QTimer* m_automatic;
};
