// The real binary taking the brightness keys on the dummy X server: key presses move
// the ramps, the on-screen display appears and can be dragged, and keys held by
// another client are waited for.
#include "ShellSession.h"

#include <QRect>
#include <QStandardPaths>

namespace {

class KeysEndToEnd : public ShellSession {
protected:
    void SetUp() override {
        ShellSession::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        mapBrightnessKeys();
    }

    QProcess& launchWithKeys() {
        seedTint(3400);
        QJsonObject s = readSettings();
        s.insert(PrefKey::brightnessKeyInterception, true);
        writeSettings(s);
        return launch();
    }

    // The visible window named `name`, and its frame; empty when there is none.
    QRect visibleWindow(const QString& name, int timeoutMs = 2000) {
        QElapsedTimer t;
        t.start();
        do {
            const QString id = display()
                                   .run(QStringLiteral("xdotool"),
                                        {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                         QStringLiteral("--name"), name})
                                   .section(QLatin1Char('\n'), 0, 0);
            if (!id.isEmpty()) return display().frameOf(id);
            QThread::msleep(50);
        } while (t.elapsed() < timeoutMs);
        return {};
    }

    bool goneWithin(const QString& name, int timeoutMs) {
        QElapsedTimer t;
        t.start();
        while (!visibleWindow(name, 0).isNull())
            if (t.elapsed() > timeoutMs) return false;
        return true;
    }

    void screenshot(const QString& name) {
        if (QStandardPaths::findExecutable(QStringLiteral("import")).isEmpty()) return;
        QDir().mkpath(QStringLiteral(HALCYRA_TEST_ARTIFACTS));
        display().run(QStringLiteral("import"),
                      {QStringLiteral("-window"), QStringLiteral("root"),
                       QStringLiteral(HALCYRA_TEST_ARTIFACTS) + QLatin1Char('/') + name});
    }

    const QString osdName = QStringLiteral("Halcyra brightness");
};

} // namespace

TEST_F(KeysEndToEnd, KeysDimOrWarmTheRampsByOneStepAndShowTheDisplay) {
    QProcess& app = launchWithKeys();
    ASSERT_TRUE(waitForLog(app, QStringLiteral("Brightness key interception started")))
        << m_log.toStdString();
    ASSERT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 3400); }, 3000));

    ASSERT_TRUE(
        display().xdotool({QStringLiteral("key"), QStringLiteral("XF86MonBrightnessDown")}));
    EXPECT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 3400, 4.0, 0.9375); }, 3000))
        << m_log.toStdString();
    // Centred on the 1024 × 768 screen, bottom edge 15 % of the height below the top.
    EXPECT_EQ(visibleWindow(osdName), QRect(362, 55, 300, 60));
    QThread::msleep(150);
    screenshot(QStringLiteral("brightness-osd.png"));

    ASSERT_TRUE(
        display().xdotool({QStringLiteral("key"), QStringLiteral("shift+XF86MonBrightnessDown")}));
    EXPECT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 3125, 4.0, 0.9375); }, 3000))
        << m_log.toStdString();
    EXPECT_TRUE(waitForLog(app, QStringLiteral("Ramp settled at 3125.0000")));
    killAndExpectDeathBy(app, SIGTERM);
}

TEST_F(KeysEndToEnd, KeysHeldByAnotherClientAreWaitedForAndTakenWhenItLetsGo) {
    QProcess holder;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_server.display());
    holder.setProcessEnvironment(env);
    holder.start(QStringLiteral(HALCYRA_KEY_GRAB_HOLDER), {});
    ASSERT_TRUE(holder.waitForReadyRead(5000));
    ASSERT_EQ(holder.readAllStandardOutput().trimmed(), "held");

    QProcess& app = launchWithKeys();
    ASSERT_TRUE(waitForLog(app, QStringLiteral("polling for grant"))) << m_log.toStdString();
    QThread::msleep(3500); // two polls
    waitForLog(app, QStringLiteral("(nothing)"), 100);
    EXPECT_EQ(m_log.count(QStringLiteral("polling for grant")), 1) << m_log.toStdString();
    EXPECT_FALSE(m_log.contains(QStringLiteral("native brightness locked to max")));

    holder.kill();
    holder.waitForFinished(2000);
    ASSERT_TRUE(waitForLog(app, QStringLiteral("Brightness key interception started"), 4000))
        << m_log.toStdString();
    ASSERT_TRUE(
        display().xdotool({QStringLiteral("key"), QStringLiteral("XF86MonBrightnessDown")}));
    EXPECT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 3400, 4.0, 0.9375); }, 3000))
        << m_log.toStdString();
    killAndExpectDeathBy(app, SIGTERM);
}

TEST_F(KeysEndToEnd, DraggingTheDisplaySnapsToGuidesAndItReopensWhereItWasDropped) {
    QProcess& app = launchWithKeys();
    ASSERT_TRUE(waitForLog(app, QStringLiteral("Brightness key interception started")))
        << m_log.toStdString();
    ASSERT_TRUE(
        display().xdotool({QStringLiteral("key"), QStringLiteral("XF86MonBrightnessDown")}));
    ASSERT_EQ(visibleWindow(osdName), QRect(362, 55, 300, 60)) << m_log.toStdString();

    auto move = [&](int x, int y) {
        ASSERT_TRUE(display().xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"),
                                       QString::number(x), QString::number(y)}));
        QThread::msleep(80);
    };
    move(512, 85); // the panel's middle
    ASSERT_TRUE(display().xdotool({QStringLiteral("mousedown"), QStringLiteral("1")}));
    move(515, 150); // the left edge 3 from the centred place: caught on the guide
    EXPECT_EQ(visibleWindow(osdName).topLeft(), QPoint(362, 120));
    EXPECT_FALSE(visibleWindow(QStringLiteral("Halcyra snap guides")).isNull());
    screenshot(QStringLiteral("brightness-osd-snap-guides.png"));
    move(560, 300); // 45 from the catch: let go, still on the guide for this move
    move(561, 301);
    ASSERT_TRUE(display().xdotool({QStringLiteral("mouseup"), QStringLiteral("1")}));
    EXPECT_EQ(visibleWindow(osdName).topLeft(), QPoint(411, 271));

    QElapsedTimer t;
    t.start();
    while (!readSettings().contains(PrefKey::osdPosition) && t.elapsed() < 2000)
        QThread::msleep(20);
    const QJsonObject stored =
        QJsonDocument::fromJson(readSettings().value(PrefKey::osdPosition).toString().toUtf8())
            .object();
    EXPECT_EQ(stored.value(QStringLiteral("x")).toInt(), 411);
    EXPECT_EQ(stored.value(QStringLiteral("y")).toInt(), 271);
    EXPECT_TRUE(goneWithin(QStringLiteral("Halcyra snap guides"), 1000)); // faded out

    // Hidden 1.5 s after the drop; the next press opens it where it was dropped.
    EXPECT_TRUE(goneWithin(osdName, 2500));
    ASSERT_TRUE(display().xdotool({QStringLiteral("key"), QStringLiteral("XF86MonBrightnessUp")}));
    EXPECT_EQ(visibleWindow(osdName), QRect(411, 271, 300, 60));
    killAndExpectDeathBy(app, SIGTERM);
}

TEST_F(KeysEndToEnd, AKeyboardMappingChangeMovesTheGrabToTheKeysNewCode) {
    QProcess& app = launchWithKeys();
    ASSERT_TRUE(waitForLog(app, QStringLiteral("Brightness key interception started")))
        << m_log.toStdString();
    bool ok = false;
    display().run(QStringLiteral("xmodmap"),
                  {QStringLiteral("-e"), QStringLiteral("keycode 232 ="), QStringLiteral("-e"),
                   QStringLiteral("keycode 234 = XF86MonBrightnessDown")},
                  &ok);
    ASSERT_TRUE(ok);
    ASSERT_TRUE(waitForLog(app, QStringLiteral("Event tap disabled by keyboard mapping change — "
                                               "re-enabling")))
        << m_log.toStdString();
    EXPECT_TRUE(waitForLog(app, QStringLiteral("Brightness key tap disabled by keyboard mapping "
                                               "change — re-enabled; re-asserting gamma state")));
    ASSERT_TRUE(
        display().xdotool({QStringLiteral("key"), QStringLiteral("XF86MonBrightnessDown")}));
    EXPECT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 3400, 4.0, 0.9375); }, 3000))
        << m_log.toStdString();
    killAndExpectDeathBy(app, SIGTERM);
}
