// The real application on a Wayland session whose session bus carries GNOME's display
// configuration: a fake of it (with a compositor socket of the test's own for the
// session), and the real compositor where it is installed.
#include "MutterSessionFixture.h"

#include <QDBusConnectionInterface>
#include <QStandardPaths>
#include <csignal>
#include <gtest/gtest.h>

namespace {

TEST_F(MutterSession, TintsBothCrtcsReassertsAfterAModeSetAndHandsThemBackOnSigterm) {
    PrivateBus bus;
    if (!bus.isUp()) GTEST_SKIP() << "dbus-daemon is not installed";
    FakeDisplayConfig* fake = new FakeDisplayConfig(twoScreens());
    ASSERT_TRUE(fake->serve(bus));
    FakeCompositor session({"HDMI-1"}, /*manager=*/false); // no wlroots gamma here
    writeSettings(true);
    QProcess& app = launch(bus.address(), session.socket());

    ASSERT_TRUE(eventually([&] {
        return warm(fake->crtc(0).current) && warm(fake->crtc(1).current);
    })) << log(app).toStdString();
    EXPECT_EQ(fake->crtc(1).current.red.size(), 1024);

    // A mode set puts the straight ramps back: the tint returns by itself.
    fake->changeMonitors(/*announce=*/true, -1, /*resetRamps=*/true);
    ASSERT_TRUE(eventually([&] {
        return warm(fake->crtc(0).current) && warm(fake->crtc(1).current);
    })) << log(app).toStdString();

    // The external screen is switched off while tinted: it is handed back all the same.
    fake->changeMonitors(/*announce=*/true, /*toggleCrtc=*/1);
    ASSERT_TRUE(eventually([&] { return log(app).count(QStringLiteral("Display reconfig")) >= 2; }))
        << m_log.toStdString();
    ::kill(pid_t(app.processId()), SIGTERM);
    ASSERT_TRUE(app.waitForFinished(5000));
    EXPECT_EQ(fake->crtc(0).current, fake->crtc(0).own);
    EXPECT_EQ(fake->crtc(1).current, fake->crtc(1).own);
    EXPECT_FALSE(stored(51).first);
    EXPECT_FALSE(stored(52).first);
    EXPECT_TRUE(log(app).contains(QStringLiteral("GNOME's display configuration")))
        << m_log.toStdString();
}

// kill -9 leaves the tint on screen (the compositor keeps it): what is on disk then
// must be the true own ramps, marked tinted, and the next start puts them back.
TEST_F(MutterSession, AfterKillNineTheNextStartRestoresTheTrueOriginals) {
    PrivateBus bus;
    if (!bus.isUp()) GTEST_SKIP() << "dbus-daemon is not installed";
    FakeDisplayConfig* fake = new FakeDisplayConfig(twoScreens());
    ASSERT_TRUE(fake->serve(bus));
    FakeCompositor session({"HDMI-1"}, false);
    writeSettings(true);
    QProcess& first = launch(bus.address(), session.socket());
    ASSERT_TRUE(eventually([&] {
        return warm(fake->crtc(0).current) && warm(fake->crtc(1).current);
    })) << log(first).toStdString();
    ::kill(pid_t(first.processId()), SIGKILL);
    ASSERT_TRUE(first.waitForFinished(5000));

    ASSERT_TRUE(warm(fake->crtc(1).current));
    const auto [tinted, red] = stored(52);
    EXPECT_TRUE(tinted);
    const FakeDisplayConfig::Ramp own = fake->crtc(1).own.red;
    EXPECT_EQ(red, std::vector<quint16>(own.begin(), own.end()));

    writeSettings(false); // the next run leaves the displays alone once it starts
    QProcess& second = launch(bus.address(), session.socket());
    ASSERT_TRUE(eventually([&] {
        return fake->crtc(0).current == fake->crtc(0).own &&
               fake->crtc(1).current == fake->crtc(1).own;
    })) << log(second).toStdString();
    EXPECT_TRUE(eventually([&] { return !stored(52).first; })); // saved once the write went through
    ::kill(pid_t(second.processId()), SIGTERM);
    ASSERT_TRUE(second.waitForFinished(5000));
    EXPECT_EQ(fake->crtc(1).current, fake->crtc(1).own);
}

// On GNOME the windows run on XWayland. Its end (a logout) ends the application
// without a signal, and the compositor, still there, gets its displays back.
TEST_F(MutterSession, TheEndOfXWaylandHandsTheDisplaysBack) {
    QString why;
    if (!XorgServer::isAvailable(&why)) GTEST_SKIP() << why.toStdString();
    PrivateBus bus;
    if (!bus.isUp()) GTEST_SKIP() << "dbus-daemon is not installed";
    XorgServer xwayland; // stands in for XWayland
    ASSERT_TRUE(xwayland.start()) << xwayland.errorString().toStdString();
    const std::vector<XorgServer::Crtc> xCrtcs = xwayland.activeCrtcs();
    ASSERT_FALSE(xCrtcs.empty());
    const auto xRampsBefore = xwayland.crtcRamps(xCrtcs.front().id);
    FakeDisplayConfig* fake = new FakeDisplayConfig(twoScreens());
    ASSERT_TRUE(fake->serve(bus));
    FakeCompositor session({"HDMI-1"}, false);
    writeSettings(true);
    QProcess& app = launch(bus.address(), session.socket(), xwayland.display());
    ASSERT_TRUE(eventually([&] {
        return warm(fake->crtc(0).current) && warm(fake->crtc(1).current);
    })) << log(app).toStdString();
    // XWayland's own ramps never reach the screens: they are not touched.
    EXPECT_EQ(xwayland.crtcRamps(xCrtcs.front().id), xRampsBefore);

    xwayland.stop();
    ASSERT_TRUE(app.waitForFinished(5000)) << log(app).toStdString();
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit) << log(app).toStdString();
    EXPECT_EQ(fake->crtc(0).current, fake->crtc(0).own);
    EXPECT_EQ(fake->crtc(1).current, fake->crtc(1).own);
}

// The real compositor, headless with a virtual monitor: the interface is there but
// has no CRTC to tint. The application says so once and runs on simulated displays.
TEST_F(MutterSession, TheRealCompositorWithoutACrtcLeavesTheApplicationOnSimulatedDisplays) {
    const QString mutter = QStandardPaths::findExecutable(QStringLiteral("mutter"));
    if (mutter.isEmpty()) GTEST_SKIP() << "mutter is not installed";
    PrivateBus bus;
    if (!bus.isUp()) GTEST_SKIP() << "dbus-daemon is not installed";
    QProcess compositor;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    env.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("memory"));
    compositor.setProcessEnvironment(env);
    compositor.setProcessChannelMode(QProcess::MergedChannels);
    compositor.start(mutter, {QStringLiteral("--headless"), QStringLiteral("--wayland"),
                              QStringLiteral("--no-x11"), QStringLiteral("--wayland-display"),
                              QStringLiteral("wayland-halcyra"),
                              QStringLiteral("--virtual-monitor"), QStringLiteral("1280x800")});
    ASSERT_TRUE(compositor.waitForStarted(5000));
    QDBusConnection probe = bus.connect(QStringLiteral("probe"));
    const bool up = eventually(
        [&] {
            return compositor.state() == QProcess::Running &&
                   probe.interface()->isServiceRegistered(
                       QStringLiteral("org.gnome.Mutter.DisplayConfig"));
        },
        15000);
    if (!up) {
        compositor.kill();
        compositor.waitForFinished(3000);
        GTEST_SKIP() << "mutter did not come up headless here: "
                     << compositor.readAll().left(2000).toStdString();
    }

    writeSettings(true);
    QProcess& app = launch(bus.address(), QStringLiteral("wayland-halcyra"));
    ASSERT_TRUE(
        eventually([&] { return log(app).contains(QStringLiteral("launch succeeded")); }, 15000))
        << m_log.toStdString();
    EXPECT_EQ(m_log.count(QStringLiteral("offers no display whose gamma can be set")), 1)
        << m_log.toStdString();
    EXPECT_FALSE(
        m_log.contains(QStringLiteral("Display gamma through GNOME's display configuration")));
    EXPECT_FALSE(m_log.contains(QStringLiteral("whose gamma ramps may never reach the screens")));
    EXPECT_EQ(app.state(), QProcess::Running);
    ::kill(pid_t(app.processId()), SIGTERM);
    ASSERT_TRUE(app.waitForFinished(5000));
    EXPECT_EQ(app.exitStatus(), QProcess::CrashExit); // ended by the signal it was sent
    EXPECT_EQ(compositor.state(), QProcess::Running); // and the compositor is unharmed
    compositor.terminate();
    if (!compositor.waitForFinished(5000)) {
        compositor.kill();
        compositor.waitForFinished(3000);
    }
}

} // namespace
