#pragma once

#include "platform/MediaApplicationWatcher.h"

#include <QDBusConnection>
#include <QHash>
#include <memory>

class QDBusMessage;
class QSocketNotifier;
struct xcb_connection_t;

// Media applications on Linux: MPRIS players ("org.mpris.MediaPlayer2.*") appearing on
// and leaving the session bus; the frontmost one is the player whose process owns the
// X window in _NET_ACTIVE_WINDOW (by _NET_WM_PID). The tap owners' two announcements
// are session-bus signals of interface "com.halcyra.MediaKeyTap" carrying the sender's
// identifier as their one string argument (none when it has none).
class DBusMediaApplicationBus final : public MediaApplicationBus {
    Q_OBJECT
public:
    static inline const QString announcementInterface = QStringLiteral("com.halcyra.MediaKeyTap");
    static inline const QString announcementPath = QStringLiteral("/com/halcyra/MediaKeyTap");
    static inline const QString playerPrefix = QStringLiteral("org.mpris.MediaPlayer2.");

    // `bus` defaults to the session bus; `ownIdentifier` is this application's.
    explicit DBusMediaApplicationBus(const QString& ownIdentifier,
                                     std::optional<QDBusConnection> bus = std::nullopt);
    ~DBusMediaApplicationBus() override;

    void observeApplications() override;
    void stopObservingApplications() override;
    void observeAnnouncements() override;
    void stopObservingAnnouncements() override;
    void postAnnouncement(const QString& name, const std::optional<QString>& object) override;
    MediaApplication currentApplication() const override;

    // The identifier an MPRIS bus name stands for ("org.mpris.MediaPlayer2.vlc.instance7"
    // is "vlc").
    static QString identifierOf(const QString& busName);

private slots:
    void announcement(const QDBusMessage& message);
    void nameOwnerChanged(const QString& name, const QString& oldOwner, const QString& newOwner);

private:
    MediaApplication player(const QString& busName);
    void activeWindowChanged();
    void readX11Events();

    QString m_own;
    QDBusConnection m_bus;
    bool m_observing = false;
    QHash<QString, MediaApplication> m_players;
    bool m_announcementsConnected = false;
    xcb_connection_t* m_x = nullptr;
    uint32_t m_root = 0, m_activeAtom = 0, m_pidAtom = 0;
    std::unique_ptr<QSocketNotifier> m_xNotifier;
};
