// The real binary: the popover's gear opens the settings window, a switch flipped with
// the pointer is written to the settings file, and an edit of the file shows in the
// open window.
#include "../app/ShellSession.h"

#include <QImage>
#include <QStandardPaths>

namespace {

using SettingsEndToEnd = ShellSession;

} // namespace

TEST_F(SettingsEndToEnd, TheGearOpensTheWindowWhoseSwitchesWriteAndFollowTheFile) {
    QProcess* started = nullptr;
    DisplayDriver::Popover opened;
    launchAndOpenPopover(started, opened);
    if (IsSkipped() || HasFatalFailure()) return;
    QProcess& app = *started;
    const DisplayDriver display = this->display();
    const QRect& popover = opened.frame;
    QThread::msleep(300);

    // The gear sits at the footer's trailing end; the footer's height follows its quote.
    for (int dy = 30; dy <= 42 && !m_log.contains("Settings window shown"); dy += 4) {
        display.clickAt(QPoint(popover.right() - 31, popover.bottom() - dy));
        waitForLog(app, QStringLiteral("Settings window shown"), 800);
    }
    ASSERT_TRUE(m_log.contains(QStringLiteral("Settings window shown — Home")))
        << m_log.toStdString();
    QString settings;
    QElapsedTimer waited;
    waited.start();
    while (settings.isEmpty() && waited.elapsed() < 3000) {
        settings =
            display.run("xdotool", {"search", "--onlyvisible", "--name", "Halcyra Settings"});
        QThread::msleep(50);
    }
    ASSERT_FALSE(settings.isEmpty()) << "no settings window on screen";
    const QRect window = display.frameOf(settings.split('\n').front());
    EXPECT_EQ(window.size(), QSize(724, 520));
    QThread::msleep(300);

    // Display, then its first switch (Flicker-Free Mode).
    display.clickAt(window.topLeft() + QPoint(60, 89));
    QThread::msleep(300);
    const QPoint flicker = window.topLeft() + QPoint(656, 92);
    display.clickAt(flicker);
    waited.restart();
    while (!readSettings().value(PrefKey::flickerFree).toBool() && waited.elapsed() < 2000)
        QThread::msleep(20);
    EXPECT_TRUE(readSettings().value(PrefKey::flickerFree).toBool()) << m_log.toStdString();

    // The file edited from outside: the switch moves back (its knob, white, returns left).
    auto trackLeft = [&] {
        const QString shot = QStringLiteral(HALCYRA_TEST_ARTIFACTS "/settings-e2e.png");
        QDir().mkpath(QStringLiteral(HALCYRA_TEST_ARTIFACTS));
        QFile::remove(shot);
        display.run("import", {"-window", "root", shot});
        return QImage(shot).pixelColor(flicker - QPoint(10, 0));
    };
    QThread::msleep(300);
    const QColor on = trackLeft();
    QFile::copy(QStringLiteral(HALCYRA_TEST_ARTIFACTS "/settings-e2e.png"),
                QStringLiteral(HALCYRA_TEST_ARTIFACTS "/settings-e2e-on.png"));
    EXPECT_GT(on.red(), on.blue() + 60) << "the switch did not show on";
    QJsonObject s = readSettings();
    s.insert(PrefKey::flickerFree, false);
    writeSettings(s);
    QColor off;
    waited.restart();
    do {
        QThread::msleep(100);
        off = trackLeft();
    } while (off.red() > off.blue() + 60 && waited.elapsed() < 3000);
    EXPECT_LT(std::abs(off.red() - off.blue()), 30) << "the switch did not follow the file";
    EXPECT_EQ(app.state(), QProcess::Running);
    killAndExpectDeathBy(app, SIGTERM);
}
