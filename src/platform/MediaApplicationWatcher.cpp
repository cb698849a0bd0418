#include "platform/MediaApplicationWatcher.h"

namespace {
const QStringList staticWhitelist{
    QStringLiteral("at.justp.Theremin"),
    QStringLiteral("co.rackit.mate"),
    QStringLiteral("com.Timenut.SongKey"),
    QStringLiteral("com.apple.Aperture"),
    QStringLiteral("com.apple.QuickTimePlayerX"),
    QStringLiteral("com.apple.iPhoto"),
    QStringLiteral("com.apple.iTunes"),
    QStringLiteral("com.apple.iWork.Keynote"),
    QStringLiteral("com.apple.quicktimeplayer"),
    QStringLiteral("com.beardedspice.BeardedSpice"),
    QStringLiteral("com.beatport.BeatportPro"),
    QStringLiteral("com.bitcartel.pandorajam"),
    QStringLiteral("com.ilabs.PandorasHelper"),
    QStringLiteral("com.jriver.MediaCenter18"),
    QStringLiteral("com.jriver.MediaCenter19"),
    QStringLiteral("com.jriver.MediaCenter20"),
    QStringLiteral("com.macromedia.fireworks"),
    QStringLiteral("com.mahasoftware.pandabar"),
    QStringLiteral("com.netease.163music"),
    QStringLiteral("com.plexsquared.Plex"),
    QStringLiteral("com.plug.Plug"),
    QStringLiteral("com.plug.Plug2"),
    QStringLiteral("com.soundcloud.desktop"),
    QStringLiteral("com.spotify.client"),
    QStringLiteral("com.ttitt.b-music"),
    QStringLiteral("fm.last.Last.fm"),
    QStringLiteral("fm.last.Scrobbler"),
    QStringLiteral("org.clementine-player.clementine"),
    QStringLiteral("org.niltsh.MPlayerX"),
    QStringLiteral("org.quodlibet.quodlibet"),
    QStringLiteral("org.videolan.vlc"),
    QStringLiteral("ru.ya.themblsha.YandexMusic"),
};

// The listed players that run on Linux, by the names they go by here: the name an
// MPRIS player registers on the session bus (org.mpris.MediaPlayer2.<name>, an
// ".instance…" suffix dropped) and the ids of their desktop entries (distribution
// package, then Flatpak).
const QStringList linuxNames{
    QStringLiteral("clementine"), QStringLiteral("org.clementine_player.Clementine"),
    QStringLiteral("quodlibet"),  QStringLiteral("io.github.quodlibet.QuodLibet"),
    QStringLiteral("spotify"),    QStringLiteral("com.spotify.Client"),
    QStringLiteral("vlc"),        QStringLiteral("org.videolan.VLC"),
};
} // namespace

MediaApplicationWatcher::MediaApplicationWatcher(std::unique_ptr<MediaApplicationBus> bus,
                                                 std::optional<QString> ownIdentifier)
    : m_bus(std::move(bus)), m_own(std::move(ownIdentifier)) {
    connect(m_bus.get(), &MediaApplicationBus::applicationLaunched, this,
            &MediaApplicationWatcher::applicationLaunched);
    connect(m_bus.get(), &MediaApplicationBus::applicationActivated, this,
            &MediaApplicationWatcher::applicationActivated);
    connect(m_bus.get(), &MediaApplicationBus::applicationTerminated, this,
            &MediaApplicationWatcher::applicationTerminated);
    connect(m_bus.get(), &MediaApplicationBus::announcementReceived, this,
            &MediaApplicationWatcher::announcementReceived);
}

MediaApplicationWatcher::~MediaApplicationWatcher() {
    if (m_announcementsObserved) m_bus->stopObservingAnnouncements();
}

QSet<QString> MediaApplicationWatcher::whitelistedApplicationIdentifiers() const {
    QSet<QString> ids(staticWhitelist.begin(), staticWhitelist.end());
    ids.unite(QSet<QString>(linuxNames.begin(), linuxNames.end()));
    if (m_own && !m_own->isEmpty()) ids.insert(*m_own);
    return ids;
}

void MediaApplicationWatcher::start(MediaApplicationWatcherDelegate* delegate) {
    m_delegate = delegate;
    m_started = true;
    m_bus->observeApplications();
    setupDistributedNotifications();
}

void MediaApplicationWatcher::stop() {
    m_started = false;
    m_bus->stopObservingApplications();
    // A stopped tap answers no other owner; the next start subscribes afresh.
    if (m_announcementsObserved) m_bus->stopObservingAnnouncements();
    m_announcementsObserved = false;
}

void MediaApplicationWatcher::activate() {
    handleApplicationActivation(m_bus->currentApplication());
}

void MediaApplicationWatcher::setupDistributedNotifications() {
    m_bus->postAnnouncement(mediaKeyTapDidStartNotification, m_own);
    // Each start announces again, but subscribes only once.
    if (m_announcementsObserved) return;
    m_announcementsObserved = true;
    m_bus->observeAnnouncements();
}

void MediaApplicationWatcher::announcementReceived(const QString& name, const QString& object) {
    if (object.isNull()) return;
    const bool own = m_own && *m_own == object;
    if (name == mediaKeyTapDidStartNotification) {
        if (own) return;
        m_dynamicWhitelist.insert(object);
        m_bus->postAnnouncement(mediaKeyTapReplyNotification, m_own);
    } else if (name == mediaKeyTapReplyNotification) {
        if (!own) m_dynamicWhitelist.insert(object);
    }
}

void MediaApplicationWatcher::applicationLaunched(const MediaApplication& app) {
    if (!m_started) return;
    if (!whitelistedApplicationIdentifiers().contains(app.bundleIdentifier)) return;
    if (app == m_bus->currentApplication()) return;
    if (m_delegate) m_delegate->whitelistedAppStarted();
}

void MediaApplicationWatcher::applicationActivated(const MediaApplication& app) {
    if (!m_started || app.bundleIdentifier.isEmpty()) return;
    if (whitelistedApplicationIdentifiers().contains(app.bundleIdentifier) ||
        m_dynamicWhitelist.contains(app.bundleIdentifier))
        handleApplicationActivation(app);
}

void MediaApplicationWatcher::applicationTerminated(const MediaApplication& app) {
    if (!m_started) return;
    m_mediaApps.removeAll(app);
    updateKeyInterceptStatus();
}

void MediaApplicationWatcher::handleApplicationActivation(const MediaApplication& app) {
    m_mediaApps.removeAll(app);
    m_mediaApps.prepend(app);
    updateKeyInterceptStatus();
}

void MediaApplicationWatcher::updateKeyInterceptStatus() {
    if (m_mediaApps.isEmpty() || !m_delegate) return;
    m_delegate->updateIsActiveMediaApp(m_mediaApps.front() == m_bus->currentApplication());
}
