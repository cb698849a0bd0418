// The real binary on a desktop whose panel shows no status icons (no tray host): a
// second start opens the settings window, the panel shortcut's popover outlives the
// status-item watchdog, and Ctrl+Q in the settings window quits with everything
// handed back.
#include "ShellSession.h"

#include <QStandardPaths>

namespace {

class ReachEndToEnd : public ShellSession {
protected:
    void SetUp() override {
        ShellSession::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            GTEST_SKIP() << "xdotool is not installed";
        // GNOME without an extension: nothing owns the tray selection.
        if (m_tray) {
            m_tray->terminate();
            m_tray->waitForFinished(3000);
            m_tray.reset();
        }
    }

    // A watchdog that looks every 300 ms instead of every 30 s.
    QProcess& launchWithoutTray() {
        QProcessEnvironment env;
        env.insert(QStringLiteral("HALCYRA_STATUS_WATCHDOG_MS"), QStringLiteral("300"));
        QProcess& app = launch(env);
        EXPECT_TRUE(waitForLog(app, QStringLiteral("launch succeeded"))) << m_log.toStdString();
        // The launch's last line follows the crash guard's by a moment: waited for, not
        // read at once.
        EXPECT_TRUE(waitForLog(app, QStringLiteral("button=nil"))) << m_log.toStdString();
        return app;
    }

    // The ids of the visible windows of `pid` once there are some, within `timeoutMs`.
    QStringList waitForWindows(qint64 pid, int timeoutMs = 4000) const {
        QElapsedTimer waited;
        waited.start();
        QStringList windows;
        while ((windows = display().visibleWindowsOf(pid)).isEmpty() &&
               waited.elapsed() < timeoutMs)
            QThread::msleep(50);
        return windows;
    }

    // Starts a second copy (what the application menu does) and waits for the settings
    // window of the first; its id, or empty.
    QString secondLaunchOpensSettings(QProcess& first) {
        QProcess& second = launch();
        EXPECT_TRUE(second.waitForFinished(5000));
        EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second.exitCode(), 0);
        const QStringList windows = waitForWindows(first.processId());
        EXPECT_EQ(windows.size(), 1) << "expected the settings window alone";
        if (windows.isEmpty()) return {};
        EXPECT_TRUE(waitForLog(first, QStringLiteral("Settings window shown")))
            << m_log.toStdString();
        return windows.front();
    }
};

TEST_F(ReachEndToEnd, ASecondLaunchOpensTheSettingsWindow) {
    seedTint();
    QProcess& first = launchWithoutTray();
    if (HasFailure()) return;
    EXPECT_TRUE(display().visibleWindowsOf(first.processId()).isEmpty()) << "nothing shows yet";
    const QString window = secondLaunchOpensSettings(first);
    ASSERT_FALSE(window.isEmpty());
    EXPECT_EQ(display().frameOf(window).size(), QSize(724, 520));
    EXPECT_EQ(first.state(), QProcess::Running);
    killAndExpectDeathBy(first, SIGTERM);
}

TEST_F(ReachEndToEnd, ThePanelShortcutsPopoverStaysOpenPastTheWatchdog) {
    seedTint();
    QProcess& app = launchWithoutTray();
    if (HasFailure()) return;
    ASSERT_TRUE(waitForLog(app, QStringLiteral("WATCHDOG: status item button missing")))
        << m_log.toStdString();
    ASSERT_TRUE(display().xdotool({QStringLiteral("key"), QStringLiteral("shift+super+s")}));
    const QStringList opened = waitForWindows(app.processId());
    ASSERT_EQ(opened.size(), 1) << m_log.toStdString();

    // Five watchdog looks later the popover is where it was.
    waitForLog(app, QStringLiteral("never printed"), 1500);
    EXPECT_EQ(display().visibleWindowsOf(app.processId()), opened);
    EXPECT_EQ(m_log.count(QStringLiteral("WATCHDOG: status item button missing — recreating")), 1)
        << m_log.toStdString();
    EXPECT_EQ(m_log.count(QStringLiteral("installManualStatusItem ENTRY")), 1)
        << "no item is made again while no status area exists";
    killAndExpectDeathBy(app, SIGTERM);
}

TEST_F(ReachEndToEnd, CtrlQInTheSettingsWindowQuitsAndGivesTheOriginalsBack) {
    const Ramps originals = customOriginals(m_crtc.gammaSize);
    ASSERT_TRUE(m_server.setCrtcRamps(m_crtc.id, originals));
    seedTint();
    QProcess& app = launchWithoutTray();
    if (HasFailure()) return;
    ASSERT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 3400); }, 3000));
    const QString window = secondLaunchOpensSettings(app);
    ASSERT_FALSE(window.isEmpty());

    ASSERT_TRUE(
        display().xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window}));
    ASSERT_TRUE(display().xdotool({QStringLiteral("key"), QStringLiteral("ctrl+q")}));
    ASSERT_TRUE(app.waitForFinished(5000)) << m_log.toStdString();
    m_log += QString::fromUtf8(app.readAllStandardError());
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit) << m_log.toStdString();
    EXPECT_EQ(app.exitCode(), 0) << m_log.toStdString();
    EXPECT_EQ(ramps(), originals);
    EXPECT_TRUE(readSettings().value(PrefKey::enabled).toBool()); // the tint returns next time
}

} // namespace
