// The real application under a private X server: global shortcuts typed with
// xdotool, a combination another client holds, and the tint coming back after a
// reconfiguration that left identity ramps behind.
#include "ShellSession.h"

#include "platform/ShortcutKeyTable.h"
#include "platform/linux/X11GlobalHotKeys.h"

namespace {

using LifecycleEndToEnd = ShellSession;

bool isIdentity(const Ramps& r) {
    return !r.red.empty() && r.red.back() > 65000 && r.blue.back() > 65000;
}

TEST_F(LifecycleEndToEnd, TheOnOffShortcutSwitchesTheRampsFromAnyWindow) {
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        GTEST_SKIP() << "xdotool is not installed";
    seedTint(3400);
    QProcess& app = launch();
    ASSERT_TRUE(waitForLog(app, QStringLiteral("launch succeeded")));
    ASSERT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 3400); }, 3000));

    ASSERT_TRUE(display().xdotool({QStringLiteral("key"), QStringLiteral("ctrl+alt+0")}));
    EXPECT_TRUE(waitForRamps(isIdentity, 3000)) << m_log.toStdString();
    ASSERT_TRUE(display().xdotool({QStringLiteral("key"), QStringLiteral("ctrl+alt+0")}));
    EXPECT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 3400); }, 3000));
    EXPECT_FALSE(m_log.contains(QStringLiteral("registration FAILED")));
}

TEST_F(LifecycleEndToEnd, ACombinationHeldByAnotherClientFallsBackAndSaysSoOnce) {
    qputenv("DISPLAY", m_server.display().toLocal8Bit());
    std::unique_ptr<X11GlobalHotKeys> other = X11GlobalHotKeys::open();
    ASSERT_TRUE(other);
    using namespace ShortcutKeyTable;
    ASSERT_EQ(other->registerHotKey(1, 29, controlFlag | optionFlag), GlobalHotKeys::success);

    seedTint(3400);
    QProcess& app = launch();
    ASSERT_TRUE(waitForLog(app, QStringLiteral("launch succeeded")));
    waitForLog(app, QStringLiteral("never printed"), 300);
    EXPECT_EQ(m_log.count(QStringLiteral("Hotkey registration FAILED for toggleHalcyra")), 1)
        << m_log.toStdString();
    EXPECT_EQ(m_log.count(QStringLiteral("registration FAILED")), 1) << "the others registered";
    // The key goes to the client that holds it; the tint stays.
    ASSERT_TRUE(display().xdotool({QStringLiteral("key"), QStringLiteral("ctrl+alt+0")}));
    QThread::msleep(300);
    EXPECT_TRUE(isTint(ramps(), 3400));
}

TEST_F(LifecycleEndToEnd, IdentityRampsLeftByAReconfigurationAreTintedAgainAtOnce) {
    seedTint(3000);
    QProcess& app = launch();
    ASSERT_TRUE(waitForLog(app, QStringLiteral("launch succeeded")));
    ASSERT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 3000); }, 3000));

    // What a display change does behind our back, then the change itself.
    ASSERT_TRUE(m_server.setCrtcRamps(m_crtc.id, XorgServer::identityRamps(m_crtc.gammaSize)));
    ASSERT_TRUE(display().succeeds(QStringLiteral("xrandr"),
                                   {QStringLiteral("--output"), m_crtc.outputName,
                                    QStringLiteral("--mode"), QStringLiteral("800x600")}));
    qint64 gapMs = -1;
    ASSERT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 3000); }, 3000, &gapMs));
    EXPECT_LT(gapMs, 500) << "longer than the first pass";
    // The settle pass and its read-back keep it there.
    ASSERT_TRUE(waitForLog(app, QStringLiteral("Display reconfig detected")));
    QThread::msleep(1000);
    EXPECT_TRUE(isTint(ramps(), 3000));
}

} // namespace
