#include "platform/MediaApplicationWatcher.h"
#include "core/Logging.h"
#include "platform/linux/DBusMediaApplicationBus.h"
#include "platform/simulated/SimulatedMediaApplicationBus.h"
#include "platform/simulated/SimulatedMediaKeyTap.h"
#include "support/TestStore.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {
const QString own = QStringLiteral("com.halcyra.app");

struct NullDelegate : MediaKeyTapDelegate {
    bool handle(MediaKey, std::optional<KeyEvent>, std::optional<ModifierFlags>) override {
        return true;
    }
};

struct WatcherRig {
    SimulatedKeyboard keyboard;
    NullDelegate delegate;
    SimulatedMediaApplicationBus* bus = nullptr;
    std::unique_ptr<SimulatedMediaKeyTap> tap;
    const MediaApplication self{QStringLiteral(":1.1"), own, 1};
    // Named as the session bus names it (org.mpris.MediaPlayer2.vlc.instance7).
    const MediaApplication vlc{QStringLiteral(":1.7"), QStringLiteral("vlc"), 7};
    const MediaApplication other{QStringLiteral(":1.9"), QStringLiteral("org.other.player"), 9};

    explicit WatcherRig(std::vector<MediaKey> keys = {}) {
        tap = std::make_unique<SimulatedMediaKeyTap>(keyboard, &delegate, KeyPressMode::keyDown,
                                                     std::move(keys), true);
        auto b = std::make_unique<SimulatedMediaApplicationBus>(self);
        bus = b.get();
        tap->setWatcher(std::make_unique<MediaApplicationWatcher>(std::move(b), own));
    }
    MediaApplicationWatcher& watcher() { return *tap->watcher(); }
};
} // namespace

TEST(MediaApplicationWatcher, KeepsTheMostRecentMediaAppAndGatesTheMediaKeys) {
    WatcherRig rig;
    ASSERT_TRUE(rig.tap->start());
    EXPECT_TRUE(rig.watcher().started());
    EXPECT_TRUE(rig.tap->interceptMediaKeys()); // every start takes the media keys

    emit rig.bus->applicationActivated(rig.other); // neither listed nor learnt
    EXPECT_TRUE(rig.watcher().mediaApps().isEmpty());
    emit rig.bus->applicationActivated(rig.vlc);
    EXPECT_FALSE(rig.tap->interceptMediaKeys());
    EXPECT_FALSE(rig.tap->isTapEnabled());
    EXPECT_FALSE(rig.keyboard.press(MediaKey::playPause));
    emit rig.bus->applicationActivated(rig.self);
    EXPECT_EQ(rig.watcher().mediaApps(), (QList<MediaApplication>{rig.self, rig.vlc}));
    EXPECT_TRUE(rig.tap->interceptMediaKeys());
    EXPECT_TRUE(rig.keyboard.press(MediaKey::playPause));

    // The last listed app ending leaves the delegate alone: the last value stands.
    emit rig.bus->applicationTerminated(rig.vlc);
    emit rig.bus->applicationTerminated(rig.self);
    EXPECT_TRUE(rig.watcher().mediaApps().isEmpty());
    EXPECT_TRUE(rig.tap->interceptMediaKeys());

    // With only brightness keys watched, the media state never moves.
    WatcherRig brightness({MediaKey::brightnessUp, MediaKey::brightnessDown});
    ASSERT_TRUE(brightness.tap->start());
    emit brightness.bus->applicationActivated(brightness.vlc);
    EXPECT_TRUE(brightness.tap->interceptMediaKeys());
    EXPECT_TRUE(brightness.tap->isTapEnabled());
    EXPECT_EQ(brightness.bus->posted.size(), 1); // the announcement still goes out
}

TEST(MediaApplicationWatcher, LearnsOtherTapOwnersAndSubscribesOncePerStart) {
    WatcherRig rig;
    ASSERT_TRUE(rig.tap->start());
    EXPECT_EQ(rig.bus->posted,
              (QList<QPair<QString, QString>>{{QStringLiteral("MediaKeyTapDidStart"), own}}));
    EXPECT_EQ(rig.bus->announcementSubscriptions(), 1);

    emit rig.bus->announcementReceived(QStringLiteral("MediaKeyTapDidStart"), own); // our echo
    EXPECT_TRUE(rig.watcher().dynamicWhitelist().isEmpty());
    EXPECT_EQ(rig.bus->posted.size(), 1);
    emit rig.bus->announcementReceived(QStringLiteral("MediaKeyTapDidStart"),
                                       QStringLiteral("org.other.player"));
    emit rig.bus->announcementReceived(QStringLiteral("MediaKeyTapReply"),
                                       QStringLiteral("net.third.tap"));
    emit rig.bus->announcementReceived(QStringLiteral("MediaKeyTapReply"), QString());
    EXPECT_EQ(rig.watcher().dynamicWhitelist(),
              (QSet<QString>{QStringLiteral("org.other.player"), QStringLiteral("net.third.tap")}));
    EXPECT_EQ(rig.bus->posted.last(), qMakePair(QStringLiteral("MediaKeyTapReply"), own));
    EXPECT_EQ(rig.bus->posted.size(), 2);

    // Known only from the announcements: its activation counts, its launch does not.
    emit rig.bus->applicationActivated(rig.other);
    EXPECT_EQ(rig.watcher().mediaApps(), QList<MediaApplication>{rig.other});
    // A listed app's launch makes the tap anew (here refused, so the watcher stops);
    // this application's own launch and an unlisted one's do not.
    rig.keyboard.setRefuseTaps(true);
    emit rig.bus->applicationLaunched(rig.other);
    emit rig.bus->applicationLaunched(rig.self);
    EXPECT_TRUE(rig.watcher().started());
    emit rig.bus->applicationLaunched(rig.vlc);
    EXPECT_FALSE(rig.watcher().started());
    EXPECT_FALSE(rig.tap->started());
    rig.keyboard.setRefuseTaps(false);

    rig.tap->stop();
    EXPECT_EQ(rig.bus->announcementSubscriptions(), 0);
    EXPECT_FALSE(rig.bus->observingApplications());
    ASSERT_TRUE(rig.tap->start());
    ASSERT_TRUE(rig.tap->start());
    EXPECT_EQ(rig.bus->announcementSubscriptions(), 1);
    EXPECT_EQ(rig.watcher().whitelistedApplicationIdentifiers().size(), 41);
}

TEST(MediaApplicationWatcher, KnowsTheListedPlayersByTheirLinuxNames) {
    WatcherRig rig;
    const QSet<QString> ids = rig.watcher().whitelistedApplicationIdentifiers();
    // What the players register on the session bus, and their desktop entries.
    for (const char* name :
         {"vlc", "spotify", "clementine", "quodlibet", "org.videolan.VLC", "com.spotify.Client",
          "org.clementine_player.Clementine", "io.github.quodlibet.QuodLibet"})
        EXPECT_TRUE(ids.contains(QString::fromLatin1(name))) << name;
    for (const char* name : {"org.videolan.vlc", "com.spotify.client", "com.halcyra.app"})
        EXPECT_TRUE(ids.contains(QString::fromLatin1(name))) << name;
    EXPECT_FALSE(ids.contains(QStringLiteral("rhythmbox")));

    // The bus names real players take map onto those names.
    for (const auto& [bus, id] : std::vector<std::pair<const char*, const char*>>{
             {"org.mpris.MediaPlayer2.vlc", "vlc"},
             {"org.mpris.MediaPlayer2.vlc.instance7389", "vlc"},
             {"org.mpris.MediaPlayer2.spotify", "spotify"},
             {"org.mpris.MediaPlayer2.clementine", "clementine"},
             {"org.mpris.MediaPlayer2.quodlibet", "quodlibet"}}) {
        EXPECT_EQ(DBusMediaApplicationBus::identifierOf(QString::fromLatin1(bus)),
                  QString::fromLatin1(id));
        EXPECT_TRUE(ids.contains(DBusMediaApplicationBus::identifierOf(QString::fromLatin1(bus))))
            << bus;
    }

    // A spotify launch makes the tap anew (here refused, so the watcher stops).
    ASSERT_TRUE(rig.tap->start());
    rig.keyboard.setRefuseTaps(true);
    emit rig.bus->applicationLaunched({QStringLiteral(":1.20"), QStringLiteral("rhythmbox"), 20});
    EXPECT_TRUE(rig.watcher().started());
    emit rig.bus->applicationLaunched({QStringLiteral(":1.21"), QStringLiteral("spotify"), 21});
    EXPECT_FALSE(rig.watcher().started());
}

// The session-bus road against a private bus daemon: players appearing and leaving,
// and the two announcements exchanged with another tap owner.
TEST(DBusMediaApplicationBus, FollowsPlayersAndExchangesAnnouncementsOnTheBus) {
    QTemporaryDir dir;
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--print-address"),
                  QStringLiteral("--nofork"), QStringLiteral("--address=unix:dir=") + dir.path()});
    if (!daemon.waitForStarted(3000)) GTEST_SKIP() << "dbus-daemon is not installed";
    ASSERT_TRUE(daemon.waitForReadyRead(3000));
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    QDBusConnection ours = QDBusConnection::connectToBus(address, QStringLiteral("ours"));
    QDBusConnection theirs = QDBusConnection::connectToBus(address, QStringLiteral("theirs"));
    ASSERT_TRUE(ours.isConnected() && theirs.isConnected());

    auto owned = std::make_unique<DBusMediaApplicationBus>(own, ours);
    DBusMediaApplicationBus* bus = owned.get();
    MediaApplicationWatcher watcher(std::move(owned), own);
    QList<MediaApplication> launched, ended;
    QObject::connect(bus, &MediaApplicationBus::applicationLaunched,
                     [&](const MediaApplication& a) { launched.append(a); });
    QObject::connect(bus, &MediaApplicationBus::applicationTerminated,
                     [&](const MediaApplication& a) { ended.append(a); });
    QStringList replies;
    // A foreign tap owner's announcement is answered on the bus.
    QObject::connect(bus, &MediaApplicationBus::announcementReceived,
                     [&](const QString& name, const QString& object) {
                         replies.append(name + QLatin1Char('/') + object);
                     });

    SimulatedKeyboard keyboard;
    NullDelegate delegate;
    SimulatedMediaKeyTap tap(keyboard, &delegate, KeyPressMode::keyDown, {}, true);
    LogCapture log;
    watcher.start(&tap);
    EXPECT_FALSE(log.contains("deprecated"));
    theirs.registerService(QStringLiteral("org.mpris.MediaPlayer2.vlc.instance42"));
    ASSERT_TRUE(waitUntil([&] { return !launched.isEmpty(); }));
    EXPECT_EQ(launched.front().bundleIdentifier, QStringLiteral("vlc"))
        << launched.front().busName.toStdString();
    EXPECT_GT(launched.front().pid, 0);
    theirs.unregisterService(QStringLiteral("org.mpris.MediaPlayer2.vlc.instance42"));
    ASSERT_TRUE(waitUntil([&] { return !ended.isEmpty(); }));
    EXPECT_EQ(ended.front(), launched.front());

    QDBusMessage hello = QDBusMessage::createSignal(DBusMediaApplicationBus::announcementPath,
                                                    DBusMediaApplicationBus::announcementInterface,
                                                    QStringLiteral("MediaKeyTapDidStart"));
    hello << QStringLiteral("org.other.player");
    theirs.send(hello);
    ASSERT_TRUE(waitUntil([&] { return watcher.dynamicWhitelist().contains("org.other.player"); }));
    // Their start, and our reply coming back to us (and not learnt from).
    ASSERT_TRUE(waitUntil([&] { return replies.size() >= 2; }));
    EXPECT_EQ(replies, (QStringList{QStringLiteral("MediaKeyTapDidStart/org.other.player"),
                                    QStringLiteral("MediaKeyTapReply/com.halcyra.app")}));
    EXPECT_EQ(watcher.dynamicWhitelist(), QSet<QString>{QStringLiteral("org.other.player")});

    // Stopped: nothing more is heard; started again: one subscription, not two.
    watcher.stop();
    replies.clear();
    theirs.send(hello);
    QThread::msleep(200);
    QCoreApplication::processEvents();
    EXPECT_TRUE(replies.isEmpty());
    watcher.start(&tap);
    replies.clear();
    theirs.send(hello);
    ASSERT_TRUE(waitUntil([&] { return replies.size() >= 2; }));
    QThread::msleep(200);
    QCoreApplication::processEvents();
    EXPECT_EQ(replies.count(QStringLiteral("MediaKeyTapDidStart/org.other.player")), 1);

    // A listed player appearing on the bus under its own name makes the tap anew
    // (refused here, which the tap reports); an unlisted one does not.
    keyboard.setRefuseTaps(true);
    launched.clear();
    theirs.registerService(QStringLiteral("org.mpris.MediaPlayer2.rhythmbox"));
    ASSERT_TRUE(waitUntil([&] { return !launched.isEmpty(); }));
    EXPECT_TRUE(tap.errorString().isEmpty());
    theirs.registerService(QStringLiteral("org.mpris.MediaPlayer2.spotify"));
    ASSERT_TRUE(waitUntil([&] { return launched.size() == 2; }));
    EXPECT_FALSE(tap.errorString().isEmpty());
    keyboard.setRefuseTaps(false);

    watcher.stop();
    QDBusConnection::disconnectFromBus(QStringLiteral("ours"));
    QDBusConnection::disconnectFromBus(QStringLiteral("theirs"));
    daemon.kill();
    daemon.waitForFinished(2000);
}
