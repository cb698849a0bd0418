// The real application through GNOME's real compositor: mutter as the X11 compositor
// of a dummy Xorg of the test's own, on a session bus of the test's own. Its display
// configuration is backed by RandR there, so what the application writes through it
// is read back from the X server's CRTCs. The application picks the compositor's road
// as on a GNOME Wayland session: a compositor socket (which does not exist), DISPLAY
// for its windows and mutter's session bus.
#include "MutterSessionFixture.h"
#include "support/RealMutter.h"

#include <cmath>

namespace {

using XRamps = XorgServer::Ramps;

class RealMutterSession : public MutterSession {
protected:
    void SetUp() override {
        MutterSession::SetUp();
        if (RealMutter::executable().isEmpty()) GTEST_SKIP() << "mutter is not installed";
        QString why;
        if (!XorgServer::isAvailable(&why)) GTEST_SKIP() << why.toStdString();
        if (!m_bus.isUp()) GTEST_SKIP() << "dbus-daemon is not installed";
        ASSERT_TRUE(m_server.start()) << m_server.errorString().toStdString();
        // A second head to the right of the first.
        ASSERT_TRUE(xrandr(
            {QStringLiteral("--addmode"), QStringLiteral("DUMMY1"), QStringLiteral("1024x768")}));
        ASSERT_TRUE(xrandr({QStringLiteral("--output"), QStringLiteral("DUMMY1"),
                            QStringLiteral("--mode"), QStringLiteral("1024x768"),
                            QStringLiteral("--right-of"), QStringLiteral("DUMMY0")}));
        // A full query brings the server's own view of its heads up to date.
        ASSERT_TRUE(xrandr({QStringLiteral("--query")}));
        ASSERT_TRUE(eventually([&] { return m_server.activeCrtcs().size() == 2; }));
        if (!m_mutter.start(m_server.display(), m_bus.address()))
            GTEST_SKIP() << "mutter did not come up on the dummy Xorg: "
                         << m_mutter.errorString().toStdString();
        for (const XorgServer::Crtc& c : m_server.activeCrtcs())
            m_crtcs.push_back(c.id);
        // Each head with a calibration-like curve of its own, not the identity.
        for (size_t i = 0; i < m_crtcs.size(); ++i) {
            m_own.push_back(ownRamps(i == 0 ? 1.08 : 0.93));
            ASSERT_TRUE(m_server.setCrtcRamps(m_crtcs[i], m_own.back()));
        }
    }

    bool xrandr(const QStringList& args) {
        QProcess p;
        p.start(QStringLiteral("xrandr"),
                QStringList{QStringLiteral("-display"), m_server.display()} + args);
        return p.waitForFinished(10000) && p.exitCode() == 0;
    }

    static XRamps ownRamps(double exponent) {
        XRamps r;
        const double tops[3] = {65535.0, 64200.0, 62900.0};
        std::vector<quint16>* channels[3] = {&r.red, &r.green, &r.blue};
        for (int c = 0; c < 3; ++c)
            for (int j = 0; j < 256; ++j)
                channels[c]->push_back(
                    quint16(std::lround(std::pow(j / 255.0, exponent) * tops[c])));
        return r;
    }

    XRamps ramps(size_t head) const { return m_server.crtcRamps(m_crtcs[head]).value_or(XRamps{}); }
    // A 3400 K tint: red at full, blue well below.
    bool warm(size_t head) const { return warmCrtc(m_crtcs[head]); }
    bool warmCrtc(unsigned long crtc) const {
        const XRamps r = m_server.crtcRamps(crtc).value_or(XRamps{});
        return !r.red.empty() && r.red.back() > 60000 && r.blue.back() < 45000 && r.blue.back() > 0;
    }
    bool bothWarm() const { return warm(0) && warm(1); }

    QProcess& launchThroughMutter() {
        return launch(m_bus.address(), QStringLiteral("wayland-halcyra-none"), m_server.display());
    }
    void terminate(QProcess& app) {
        ::kill(pid_t(app.processId()), SIGTERM);
        ASSERT_TRUE(app.waitForFinished(5000)) << log(app).toStdString();
    }
    // The application has seen `count` reconfigurations.
    bool reconfigurationsSeen(QProcess& app, int count) {
        return log(app).count(QStringLiteral("Display reconfig detected")) >= count;
    }

    PrivateBus m_bus;
    XorgServer m_server;
    RealMutter m_mutter;
    std::vector<unsigned long> m_crtcs;
    std::vector<XRamps> m_own;
};

// The same tint as the RandR backend writes, entry for entry, and SIGTERM hands both
// heads back their own ramps.
TEST_F(RealMutterSession, TheTintEqualsTheRandRBackendsAndSigtermHandsItBack) {
    writeSettings(true);
    QProcess& randr = launch(m_bus.address(), QString(), m_server.display());
    ASSERT_TRUE(eventually([&] { return bothWarm(); }, 10000)) << log(randr).toStdString();
    const XRamps randrTint[2] = {ramps(0), ramps(1)};
    terminate(randr);
    ASSERT_EQ(ramps(0), m_own[0]);
    // What it logged is complete once it has ended.
    EXPECT_FALSE(log(randr).contains(QStringLiteral("GNOME's display configuration")));
    m_log.clear();

    QProcess& app = launchThroughMutter();
    ASSERT_TRUE(
        eventually([&] { return ramps(0) == randrTint[0] && ramps(1) == randrTint[1]; }, 10000))
        << log(app).toStdString();
    EXPECT_TRUE(stored(m_crtcs[0]).first);
    terminate(app);
    EXPECT_TRUE(
        log(app).contains(QStringLiteral("Display gamma through GNOME's display configuration")))
        << m_log.toStdString();
    EXPECT_EQ(ramps(0), m_own[0]);
    EXPECT_EQ(ramps(1), m_own[1]);
    EXPECT_FALSE(stored(m_crtcs[0]).first);
    EXPECT_FALSE(stored(m_crtcs[1]).first);
}

// mutter keeps a killed run's tint: the next start finds the true own ramps on disk,
// and its SIGTERM hands those back, not the tint.
TEST_F(RealMutterSession, AfterKillNineTheNextRunHandsBackTheTrueOriginals) {
    writeSettings(true);
    QProcess& first = launchThroughMutter();
    ASSERT_TRUE(eventually([&] { return bothWarm(); }, 10000)) << log(first).toStdString();
    ::kill(pid_t(first.processId()), SIGKILL);
    ASSERT_TRUE(first.waitForFinished(5000));
    ASSERT_TRUE(bothWarm());
    const auto [tinted, red] = stored(m_crtcs[1]);
    EXPECT_TRUE(tinted);
    EXPECT_EQ(red, m_own[1].red);

    // Up, having found the leftover tint and tinted again.
    QProcess& second = launchThroughMutter();
    ASSERT_TRUE(eventually(
        [&] { return log(second).contains(QStringLiteral("launch succeeded")) && bothWarm(); },
        10000))
        << m_log.toStdString();
    EXPECT_TRUE(m_log.contains(QStringLiteral("still carries a tint from a previous run")))
        << m_log.toStdString();
    terminate(second);
    EXPECT_EQ(ramps(0), m_own[0]);
    EXPECT_EQ(ramps(1), m_own[1]);
    EXPECT_FALSE(stored(m_crtcs[1]).first);
}

// A mode set that puts the straight ramps back is tinted again; a head switched off
// while tinted is handed back on SIGTERM and comes back with its own ramps.
TEST_F(RealMutterSession, AModeSetIsRetintedAndAHeadSwitchedOffIsHandedBack) {
    writeSettings(true);
    QProcess& app = launchThroughMutter();
    ASSERT_TRUE(eventually([&] { return bothWarm(); }, 10000)) << log(app).toStdString();
    const XRamps tint = ramps(0);

    // The dummy driver keeps the ramps over a mode set; a real one resets them.
    ASSERT_TRUE(m_server.setCrtcRamps(m_crtcs[0], XorgServer::identityRamps(256)));
    ASSERT_TRUE(xrandr({QStringLiteral("--output"), QStringLiteral("DUMMY0"),
                        QStringLiteral("--mode"), QStringLiteral("800x600")}));
    EXPECT_TRUE(eventually([&] { return ramps(0) == tint; })) << log(app).toStdString();
    ASSERT_TRUE(eventually([&] { return reconfigurationsSeen(app, 1); })) << m_log.toStdString();

    ASSERT_TRUE(
        xrandr({QStringLiteral("--output"), QStringLiteral("DUMMY1"), QStringLiteral("--off")}));
    ASSERT_TRUE(eventually([&] { return reconfigurationsSeen(app, 2); })) << m_log.toStdString();
    ASSERT_TRUE(warm(1)); // off, and still carrying the tint
    terminate(app);
    EXPECT_EQ(ramps(0), m_own[0]);
    EXPECT_EQ(ramps(1), m_own[1]);
    EXPECT_FALSE(stored(m_crtcs[1]).first);
    ASSERT_TRUE(xrandr({QStringLiteral("--output"), QStringLiteral("DUMMY1"),
                        QStringLiteral("--mode"), QStringLiteral("1024x768"),
                        QStringLiteral("--right-of"), QStringLiteral("DUMMY0")}));
    ASSERT_TRUE(xrandr({QStringLiteral("--query")}));
    ASSERT_TRUE(eventually([&] { return m_server.activeCrtcs().size() == 2; }));
    for (const XorgServer::Crtc& c : m_server.activeCrtcs())
        EXPECT_FALSE(warmCrtc(c.id)) << c.outputName.toStdString();
}

} // namespace
