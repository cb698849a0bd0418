#include "platform/linux/LinuxDoNotDisturbProbe.h"
#include "platform/linux/LinuxScreenReaderProbe.h"
#include "platform/linux/services/LinuxOutputMuteProbe.h"

#include "support/PrivateBus.h"
#include "support/TestStore.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(DoNotDisturbProbe, WithoutABusNothingIsKnown) {
    // Another desktop's do-not-disturb file in the home folder is no sign on this one.
    QTemporaryDir home;
    ASSERT_TRUE(QDir(home.path()).mkpath("Library/DoNotDisturb/DB"));
    QFile file(home.filePath("Library/DoNotDisturb/DB/Assertions.json"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"storeAssertionRecords": [{"assertionDetails": {}}]})");
    file.close();
    const QByteArray realHome = qgetenv("HOME");
    qputenv("HOME", home.path().toUtf8());

    const QDBusConnection noBus =
        QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "sound-test-none");
    ASSERT_FALSE(noBus.isConnected());
    EXPECT_EQ(LinuxDoNotDisturbProbe(noBus).state(), DoNotDisturbState::unknown);
    EXPECT_FALSE(LinuxScreenReaderProbe(noBus).isRunning());
    qputenv("HOME", realHome);
}

namespace {
// A desktop service that publishes one Boolean property, as the notification
// service and the accessibility bus do.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
    Q_PROPERTY(bool Inhibited READ inhibited)
public:
    bool inhibited() const { return value; }
    bool value = false;
};

class FakeAccessibility : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.a11y.Status")
    Q_PROPERTY(bool ScreenReaderEnabled READ enabled)
public:
    bool enabled() const { return value; }
    bool value = true;
};

void announce(QDBusConnection& bus, const QString& path, const QString& interface,
              const QString& property, bool value) {
    QDBusMessage signal =
        QDBusMessage::createSignal(path, "org.freedesktop.DBus.Properties", "PropertiesChanged");
    signal << interface << QVariantMap{{property, value}} << QStringList{};
    bus.send(signal);
}
} // namespace

TEST(DoNotDisturbProbe, FollowsTheDesktopServicesOverTheBus) {
    PrivateBus bus;
    if (!bus.isUp()) GTEST_SKIP() << "no dbus-daemon";
    QDBusConnection client = bus.connect("sound-test-client");
    QDBusConnection service = bus.connect("sound-test-service");
    ASSERT_TRUE(client.isConnected() && service.isConnected());
    LinuxDoNotDisturbProbe dnd(client);
    LinuxScreenReaderProbe reader(client);
    EXPECT_EQ(dnd.state(), DoNotDisturbState::unknown); // nobody answers
    EXPECT_FALSE(reader.isRunning());

    FakeNotifications notifications;
    FakeAccessibility accessibility;
    ASSERT_TRUE(service.registerObject("/org/freedesktop/Notifications", &notifications,
                                       QDBusConnection::ExportAllProperties));
    ASSERT_TRUE(service.registerObject("/org/a11y/bus", &accessibility,
                                       QDBusConnection::ExportAllProperties));
    ASSERT_TRUE(service.registerService("org.freedesktop.Notifications"));
    ASSERT_TRUE(service.registerService("org.a11y.Bus"));
    EXPECT_TRUE(waitUntil([&] { return dnd.state() == DoNotDisturbState::inactive; }));
    EXPECT_TRUE(waitUntil([&] { return reader.isRunning(); }));

    notifications.value = true;
    announce(service, "/org/freedesktop/Notifications", "org.freedesktop.Notifications",
             "Inhibited", true);
    EXPECT_TRUE(waitUntil([&] { return dnd.state() == DoNotDisturbState::active; }));
    announce(service, "/org/a11y/bus", "org.a11y.Status", "ScreenReaderEnabled", false);
    EXPECT_TRUE(waitUntil([&] { return !reader.isRunning(); }));

    // A service that leaves is no longer believed.
    service.unregisterService("org.freedesktop.Notifications");
    EXPECT_TRUE(waitUntil([&] { return dnd.state() == DoNotDisturbState::unknown; }));
}

#include "SoundCueProbesTest.moc"

TEST(OutputMuteProbe, OpensNoConnectionUntilFirstAskedAndKnowsNothingWithoutAServer) {
    const auto threads = [] { return QDir(QStringLiteral("/proc/self/task")).count(); };
    qputenv("PULSE_SERVER", "unix:/nonexistent/halcyra-test-pulse");
    const auto before = threads();
    {
        LinuxOutputMuteProbe probe;
        // Made at launch; a sound server connection (and its thread) would be wasted
        // on the many who leave the cues off.
        EXPECT_EQ(threads(), before);
        EXPECT_FALSE(probe.muted().has_value());
        EXPECT_FALSE(probe.volume().has_value());
        EXPECT_FALSE(probe.outputIsMuted());
    }
    qunsetenv("PULSE_SERVER");
}
