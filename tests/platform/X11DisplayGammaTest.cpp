// The RandR backend and the warmth engine against a private Xorg on the dummy driver.
#include "platform/linux/X11DisplayGamma.h"
#include "platform/DisplayGamma.h"
#include "platform/Platform.h"
#include "platform/linux/RandRPanels.h"
#include "support/TestStore.h"
#include "support/XorgServer.h"
#include "warmth/ColorTemperature.h"
#include "warmth/OverlayWindowController.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <array>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// A curve no tint of ours could produce (not a straight ramp): a display's own
// calibration.
XorgServer::Ramps calibrationCurve(int size) {
    XorgServer::Ramps r;
    for (int i = 0; i < size; ++i) {
        const double x = double(i) / (size - 1);
        r.red.push_back(quint16(std::lround(std::pow(x, 0.9) * 65535.0)));
        r.green.push_back(quint16(std::lround(std::pow(x, 1.1) * 60000.0)));
        r.blue.push_back(quint16(std::lround(std::pow(x, 1.2) * 64000.0)));
    }
    return r;
}

// Largest difference, in 16-bit steps, between a ramp read back and the straight
// ramp from 0 to `top`.
int worstStep(const std::vector<quint16>& ramp, double top) {
    int worst = 0;
    const int n = int(ramp.size());
    for (int j = 0; j < n; ++j) {
        const long expected = std::lround(double(j) / (n - 1) * top * 65535.0);
        worst = std::max(worst, int(std::labs(long(ramp[j]) - expected)));
    }
    return worst;
}

class X11Gamma : public ::testing::Test {
protected:
    void SetUp() override {
        if (!m_server.start()) GTEST_SKIP() << m_server.errorString().toStdString();
        qputenv("XDG_STATE_HOME", m_state.path().toLocal8Bit());
        m_crtcs = m_server.activeCrtcs();
        ASSERT_FALSE(m_crtcs.empty());
    }
    void TearDown() override { Platform::setInstance(Platform::makeSimulated()); }

    // Installs a platform whose display gamma is the dummy server's.
    X11DisplayGamma* useServer() {
        auto gamma = X11DisplayGamma::open(m_server.display());
        X11DisplayGamma* raw = gamma.get();
        auto platform = Platform::makeSimulated();
        platform->setDisplayGamma(std::move(gamma));
        Platform::setInstance(std::move(platform));
        return raw;
    }

    TestStore m_store;
    QTemporaryDir m_state;
    XorgServer m_server;
    std::vector<XorgServer::Crtc> m_crtcs;
};

TEST_F(X11Gamma, PushReadsBackWithinOneStepAndRestorePutsBackTheExactOriginals) {
    const XorgServer::Crtc crtc = m_crtcs.front();
    const XorgServer::Ramps original = calibrationCurve(crtc.gammaSize);
    ASSERT_TRUE(m_server.setCrtcRamps(crtc.id, original));

    X11DisplayGamma* gamma = useServer();
    ASSERT_NE(gamma, nullptr);
    const auto displays = gamma->onlineDisplays();
    ASSERT_TRUE(displays && !displays->empty());
    EXPECT_EQ(gamma->mainDisplay(), DisplayId(crtc.output));
    EXPECT_EQ(gamma->crtcOf(DisplayId(crtc.output)), crtc.id);
    EXPECT_FALSE(gamma->isBuiltin(DisplayId(crtc.output))); // "DUMMY0" is no panel

    {
        OverlayWindowController engine;
        engine.applyGamma(3400.0, 4.0, 1.0);
        const DisplayTint tint = ColorTemperature::blendedTint(3400.0, 4.0);
        for (const auto& c : m_server.activeCrtcs()) {
            const auto ramps = m_server.crtcRamps(c.id);
            ASSERT_TRUE(ramps);
            EXPECT_LE(worstStep(ramps->red, float(tint.r)), 1);
            EXPECT_LE(worstStep(ramps->green, float(tint.g)), 1);
            EXPECT_LE(worstStep(ramps->blue, float(tint.b)), 1);
        }
        // The engine reads the same tables back and judges them not clobbered.
        EXPECT_EQ(engine.gammaReadBackClobbered(), false);

        // Something else brightens the main display: the read-back notices.
        ASSERT_TRUE(m_server.setCrtcRamps(crtc.id, XorgServer::identityRamps(crtc.gammaSize)));
        EXPECT_EQ(engine.gammaReadBackClobbered(), true);
    } // the engine's teardown restores

    EXPECT_EQ(m_server.crtcRamps(crtc.id), original);

    // Restore again after another push, this time through the service directly.
    OverlayWindowController engine;
    engine.applyGamma(2000.0, 4.0, 0.5);
    EXPECT_NE(m_server.crtcRamps(crtc.id), original);
    Platform::instance().displayGamma().restoreColorSettings();
    EXPECT_EQ(m_server.crtcRamps(crtc.id), original);
}

// Each ramp entry interpolates the table linearly and rounds half away from zero; one
// that falls on a table entry is that entry alone, whatever lies beside it.
std::vector<quint16> expectedRamp(const std::vector<float>& table, int size) {
    std::vector<quint16> out;
    const int n = int(table.size());
    for (int j = 0; j < size; ++j) {
        const double pos = double(j) * double(n - 1) / double(size - 1);
        const int lo = std::min(int(pos), n - 1);
        const double f = pos - lo;
        const double v =
            f == 0 ? double(table[lo]) : table[lo] * (1.0 - f) + table[std::min(lo + 1, n - 1)] * f;
        out.push_back(
            quint16(std::lround((std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 1.0)) * 65535)));
    }
    return out;
}

// The dummy driver's outputs are no built-in panels: asked on a real server, none is
// reported, and the display is no built-in one either.
TEST_F(X11Gamma, TheDummyServersOutputsAreNoBuiltInPanels) {
    EXPECT_TRUE(RandRPanels::queryBuiltInFrames(m_server.display()).empty());
    X11DisplayGamma* gamma = useServer();
    const auto displays = gamma->onlineDisplays();
    ASSERT_TRUE(displays && !displays->empty());
    for (DisplayId id : *displays)
        EXPECT_FALSE(gamma->isBuiltin(id));
}

TEST_F(X11Gamma, TablesOfAnySizeBecomeExactlyRoundedRampsPushAfterPush) {
    X11DisplayGamma* gamma = useServer();
    const XorgServer::Crtc crtc = m_crtcs.front();
    std::vector<float> straight(256), curve(256);
    for (int i = 0; i < 256; ++i) {
        straight[i] = (float(i) / 255.0f) * 0.8719f;
        curve[i] = std::pow(float(i) / 255.0f, 2.2f);
    }
    // 1.5 and 0.9 sit before a NaN and an infinity: the ramp entries that fall on them
    // keep their own levels.
    const std::vector<float> edges = {0.0f,  0.5f,        -0.25f,   1.5f,  NAN,  0.25f,
                                      0.75f, 1.0f / 3.0f, 0.999f,   1e-6f, 0.5f, 0.5f,
                                      0.1f,  0.9f,        INFINITY, 1.0f};
    for (const auto& tables :
         {std::array{straight, curve, straight}, std::array{edges, edges, edges},
          std::array{curve, straight, curve}}) {
        ASSERT_EQ(gamma->setTransferTables(DisplayId(crtc.output), tables[0], tables[1], tables[2]),
                  DisplayGamma::success);
        const XorgServer::Ramps expected = {expectedRamp(tables[0], crtc.gammaSize),
                                            expectedRamp(tables[1], crtc.gammaSize),
                                            expectedRamp(tables[2], crtc.gammaSize)};
        EXPECT_EQ(m_server.crtcRamps(crtc.id), expected);
    }
}

void restoreAndDie(int sig) {
    Platform::restoreGammaFromSignalHandler();
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

// The crash tests re-run this binary with HALCYRA_TEST_CRASH_CHILD_DISPLAY set: the
// child pushes a deep tint, says so, and waits to be killed (with "term" in
// HALCYRA_TEST_CRASH_CHILD_MODE it restores from its SIGTERM handler first, as the
// application does). It runs before main, so it is no test of its own.
const bool crashChildRan = [] {
    const QString display = qEnvironmentVariable("HALCYRA_TEST_CRASH_CHILD_DISPLAY");
    if (display.isEmpty()) return false;
    if (qEnvironmentVariable("HALCYRA_TEST_CRASH_CHILD_MODE") == QLatin1String("term"))
        std::signal(SIGTERM, restoreAndDie);
    auto platform = Platform::makeSimulated();
    platform->setDisplayGamma(X11DisplayGamma::open(display));
    Platform::setInstance(std::move(platform));
    auto* engine = new OverlayWindowController; // never destroyed: the process is killed
    engine->applyGamma(1900.0, 4.0, 0.6);
    std::printf("pushed\n");
    std::fflush(stdout);
    for (;;)
        pause();
}();

// Runs a child that pushes a tint, then sends it `sig`; tells how it ended.
void runChildAndKill(const QString& display, const QString& stateHome, int sig, const QString& mode,
                     QProcess::ExitStatus* status) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HALCYRA_TEST_CRASH_CHILD_DISPLAY"), display);
    env.insert(QStringLiteral("HALCYRA_TEST_CRASH_CHILD_MODE"), mode);
    env.insert(QStringLiteral("XDG_STATE_HOME"), stateHome);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_list_tests")});
    ASSERT_TRUE(child.waitForStarted(5000));
    QByteArray out;
    while (!out.contains("pushed") && child.waitForReadyRead(10000))
        out += child.readAllStandardOutput();
    ASSERT_TRUE(out.contains("pushed")) << out.toStdString();
    ::kill(pid_t(child.processId()), sig);
    ASSERT_TRUE(child.waitForFinished(5000));
    *status = child.exitStatus();
}

TEST_F(X11Gamma, SigtermHandlerRestoresTheOriginalsBeforeTheProcessDies) {
    const XorgServer::Crtc crtc = m_crtcs.front();
    const XorgServer::Ramps original = calibrationCurve(crtc.gammaSize);
    ASSERT_TRUE(m_server.setCrtcRamps(crtc.id, original));
    QProcess::ExitStatus status = QProcess::NormalExit;
    runChildAndKill(m_server.display(), m_state.path(), SIGTERM, QStringLiteral("term"), &status);
    EXPECT_EQ(status, QProcess::CrashExit); // it still died by the signal
    EXPECT_EQ(m_server.crtcRamps(crtc.id), original);
}

TEST_F(X11Gamma, AfterAKilledRunAFreshEngineRestoresTheOriginalsNotTheTint) {
    const XorgServer::Crtc crtc = m_crtcs.front();
    const XorgServer::Ramps original = calibrationCurve(crtc.gammaSize);
    ASSERT_TRUE(m_server.setCrtcRamps(crtc.id, original));
    QProcess::ExitStatus status = QProcess::NormalExit;
    runChildAndKill(m_server.display(), m_state.path(), SIGKILL, QString(), &status);

    const auto tinted = m_server.crtcRamps(crtc.id);
    ASSERT_TRUE(tinted);
    ASSERT_NE(*tinted, original) << "the killed run left its tint on screen";

    // A fresh run adopts the CRTC while it still carries the tint.
    useServer();
    {
        OverlayWindowController engine;
        engine.applyGamma(4500.0, 2.0, 1.0);
    }
    EXPECT_EQ(m_server.crtcRamps(crtc.id), original);

    // And once more: a run that finds the originals on screen keeps them.
    useServer();
    Platform::instance().displayGamma().restoreColorSettings();
    EXPECT_EQ(m_server.crtcRamps(crtc.id), original);
}

bool runXrandr(const QString& display, const QStringList& args) {
    QProcess xrandr;
    xrandr.start(QStringLiteral("xrandr"), QStringList{QStringLiteral("-display"), display} + args);
    return xrandr.waitForFinished(10000) && xrandr.exitCode() == 0;
}

TEST_F(X11Gamma, ADisplayTintedByAKilledRunGetsItsOwnRampsBackWhenItComesOnlineLater) {
    const XorgServer::Crtc crtc = m_crtcs.front();
    const XorgServer::Ramps original = calibrationCurve(crtc.gammaSize);
    ASSERT_TRUE(m_server.setCrtcRamps(crtc.id, original));
    QProcess::ExitStatus status = QProcess::NormalExit;
    runChildAndKill(m_server.display(), m_state.path(), SIGKILL, QString(), &status);
    ASSERT_NE(m_server.crtcRamps(crtc.id), original);

    // The display is off when the next run starts with the tint off...
    ASSERT_TRUE(runXrandr(m_server.display(),
                          {QStringLiteral("--output"), crtc.outputName, QStringLiteral("--off")}));
    if (!m_server.activeCrtcs().empty()) GTEST_SKIP() << "the output stayed on";
    X11DisplayGamma* gamma = useServer();
    gamma->restoreColorSettings(); // what start-up does
    ASSERT_NE(m_server.crtcRamps(crtc.id), original);

    // ...and comes online afterwards: it shows its own ramps, not the old tint.
    ASSERT_TRUE(runXrandr(m_server.display(),
                          {QStringLiteral("--output"), crtc.outputName, QStringLiteral("--auto")}));
    ASSERT_TRUE(waitUntil(
        [&] {
            const auto online = gamma->onlineDisplays();
            return online && !online->empty();
        },
        3000));
    const auto active = m_server.activeCrtcs();
    ASSERT_FALSE(active.empty());
    EXPECT_EQ(m_server.crtcRamps(active.front().id), original);
}

TEST_F(X11Gamma, AnnouncesModeChangesNotOurPushesAndSurvivesALostServer) {
    X11DisplayGamma* gamma = useServer();
    int announcements = 0;
    DisplayReconfiguration last;
    QObject::connect(gamma, &DisplayGamma::reconfigured, [&](const DisplayReconfiguration& c) {
        ++announcements;
        last = c;
    });
    OverlayWindowController engine;
    engine.applyGamma(3000.0, 4.0, 1.0);
    ASSERT_TRUE(engine.cachedDisplays());
    for (int i = 0; i < 5; ++i)
        engine.applyGamma(3000.0 + i * 100, 4.0, 1.0);
    QCoreApplication::processEvents();
    EXPECT_FALSE(waitUntil([&] { return announcements > 0; }, 300));

    QProcess xrandr;
    xrandr.start(QStringLiteral("xrandr"),
                 {QStringLiteral("-display"), m_server.display(), QStringLiteral("--output"),
                  m_crtcs.front().outputName, QStringLiteral("--mode"), QStringLiteral("800x600")});
    ASSERT_TRUE(xrandr.waitForFinished(10000));
    ASSERT_EQ(xrandr.exitCode(), 0) << xrandr.readAllStandardError().toStdString();
    ASSERT_TRUE(waitUntil([&] { return announcements > 0; }, 3000));
    EXPECT_FALSE(last.displayAdded);
    EXPECT_FALSE(last.mainDisplayChanged);
    // The engine heard the screen-parameters notification and dropped its cache.
    EXPECT_FALSE(engine.cachedDisplays());

    // The server going away is a failure to report, not the end of the process.
    m_server.stop();
    engine.applyGamma(3000.0, 4.0, 1.0);
    EXPECT_FALSE(gamma->onlineDisplays());
    Platform::instance().displayGamma().restoreColorSettings();
}

TEST_F(X11Gamma, AFrameForSeveralDisplaysReachesTheServerInOneGo) {
    const XorgServer::Crtc first = m_crtcs.front();
    // A second head, as the dummy driver offers them.
    ASSERT_TRUE(
        runXrandr(m_server.display(), {QStringLiteral("--addmode"), QStringLiteral("DUMMY1"),
                                       QStringLiteral("1024x768")}));
    ASSERT_TRUE(runXrandr(m_server.display(), {QStringLiteral("--output"), QStringLiteral("DUMMY1"),
                                               QStringLiteral("--mode"), QStringLiteral("1024x768"),
                                               QStringLiteral("--right-of"), first.outputName}));
    ASSERT_TRUE(runXrandr(m_server.display(), {QStringLiteral("--query")})); // brings it up to date
    const auto crtcs = m_server.activeCrtcs();
    ASSERT_EQ(crtcs.size(), 2u);
    X11DisplayGamma* gamma = useServer();
    const auto displays = gamma->onlineDisplays();
    ASSERT_TRUE(displays && displays->size() == 2);
    const std::vector<float> warm = [] {
        std::vector<float> t(256);
        for (int i = 0; i < 256; ++i)
            t[i] = 0.6f * float(i) / 255.0f;
        return t;
    }();
    const auto before = m_server.crtcRamps(crtcs[0].id);

    gamma->beginPushes();
    for (DisplayId d : *displays)
        EXPECT_EQ(gamma->setTransferTables(d, warm, warm, warm), DisplayGamma::success);
    // Held back until the frame ends: the server has seen neither display's tables.
    ::usleep(50'000);
    EXPECT_EQ(m_server.crtcRamps(crtcs[0].id), before);
    gamma->endPushes();
    gamma->sync();
    for (const auto& c : crtcs) {
        const auto ramps = m_server.crtcRamps(c.id);
        ASSERT_TRUE(ramps);
        EXPECT_LE(worstStep(ramps->blue, 0.6), 1) << c.outputName.toStdString();
    }

    // The engine's frames go out the same way, and each one on its own (no batch left
    // open) reaches the server.
    {
        OverlayWindowController engine;
        engine.applyGamma(3000.0, 4.0, 1.0);
        gamma->sync();
        const DisplayTint tint = ColorTemperature::blendedTint(3000.0, 4.0);
        for (const auto& c : crtcs)
            EXPECT_LE(worstStep(m_server.crtcRamps(c.id)->blue, float(tint.b)), 1);
    }
    Platform::instance().displayGamma().restoreColorSettings();
}

TEST_F(X11Gamma, InsideTheEventLoopAPassesFramesLeaveWhenTheLoopWaits) {
    const XorgServer::Crtc crtc = m_crtcs.front();
    X11DisplayGamma* gamma = useServer();
    const auto before = m_server.crtcRamps(crtc.id);
    OverlayWindowController engine;
    const DisplayTint tint = ColorTemperature::blendedTint(2500.0, 4.0);
    std::optional<XorgServer::Ramps> duringPass, afterPass, afterSync;
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&] {
        // Several frames in one pass: none is written while the pass runs...
        engine.applyGamma(3000.0, 4.0, 1.0);
        engine.applyGamma(2500.0, 4.0, 1.0);
        ::usleep(50'000);
        duringPass = m_server.crtcRamps(crtc.id);
        // ...and all of them once the loop is about to wait.
        QTimer::singleShot(0, &loop, [&] {
            afterPass = m_server.crtcRamps(crtc.id);
            // A round trip in the same pass takes the frame with it.
            engine.applyGamma(3000.0, 4.0, 1.0);
            gamma->sync();
            afterSync = m_server.crtcRamps(crtc.id);
            loop.quit();
        });
    });
    loop.exec();
    EXPECT_EQ(duringPass, before);
    ASSERT_TRUE(afterPass);
    EXPECT_LE(worstStep(afterPass->blue, float(tint.b)), 1);
    ASSERT_TRUE(afterSync);
    EXPECT_LE(worstStep(afterSync->blue, float(ColorTemperature::blendedTint(3000.0, 4.0).b)), 1);
    Platform::instance().displayGamma().restoreColorSettings();
}

} // namespace
