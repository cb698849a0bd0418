// The real binary: the popover's gear opens the settings window, a switch flipped with
// the pointer is written to the settings file, and an edit of the file shows in the
// open window; a shortcut recorded in the keyboard page works from anywhere.
#include "SettingsSession.h"
#include "brightness/ShortcutManager.h"

#include <QImage>
#include <QStandardPaths>

namespace {

bool isIdentity(const Ramps& r) {
    return !r.red.empty() && r.red.back() > 65000 && r.blue.back() > 65000;
}

// The switch's chip once the keyboard page is scrolled to its end.
const QPoint kToggleChip(654, 106);

} // namespace

using SettingsEndToEnd = SettingsSession;

TEST_F(SettingsEndToEnd, TheGearOpensTheWindowWhoseSwitchesWriteAndFollowTheFile) {
    QProcess* started = nullptr;
    DisplayDriver::Popover opened;
    launchAndOpenPopover(started, opened);
    if (IsSkipped() || HasFatalFailure()) return;
    QProcess& app = *started;
    const DisplayDriver display = this->display();
    const QRect window = openSettingsFromTheGear(app, opened.frame);
    ASSERT_FALSE(window.isEmpty());
    EXPECT_EQ(window.size(), QSize(724, 520));
    QElapsedTimer waited;
    waited.start();

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

TEST_F(SettingsEndToEnd, AShortcutRecordedInTheWindowSwitchesTheRampsFromOutsideIt) {
    QProcess* started = nullptr;
    DisplayDriver::Popover opened;
    launchAndOpenPopover(started, opened);
    if (IsSkipped() || HasFatalFailure()) return;
    QProcess& app = *started;
    ASSERT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 3400); }, 3000));
    const DisplayDriver display = this->display();
    const QRect window = openSettingsFromTheGear(app, opened.frame);
    ASSERT_FALSE(window.isEmpty());

    // Keyboard, scrolled to its end, where the shortcuts card closes the page.
    display.clickAt(window.topLeft() + QPoint(60, 185));
    QThread::msleep(300);
    display.xdotool({"mousemove", "--sync", QString::number(window.x() + 450),
                     QString::number(window.y() + 300), "click", "--repeat", "20", "5"});
    QThread::msleep(400);
    QDir().mkpath(QStringLiteral(HALCYRA_TEST_ARTIFACTS));
    display.run("import", {"-window", "root",
                           QStringLiteral(HALCYRA_TEST_ARTIFACTS "/settings-e2e-keyboard.png")});

    // Escape while the switch's chip records cancels it and leaves the window open.
    display.clickAt(window.topLeft() + kToggleChip);
    QThread::msleep(300);
    display.xdotool({"key", "Escape"});
    QThread::msleep(300);
    EXPECT_FALSE(
        display.run("xdotool", {"search", "--onlyvisible", "--name", "Halcyra Settings"}).isEmpty())
        << "Escape closed the window instead of ending the recording";

    // The chip again (a few points over: a pointer that does not move never syncs), then
    // ⌃⌥9 typed into the window.
    display.clickAt(window.topLeft() + kToggleChip + QPoint(4, 0));
    QThread::msleep(300);
    display.xdotool({"key", "ctrl+alt+9"});
    ASSERT_TRUE(
        waitForLog(app, QStringLiteral("Shortcut for toggleHalcyra recorded: Ctrl+Alt+9"), 3000))
        << m_log.toStdString();
    // The file has it (bytes are kept base64-encoded there) within moments.
    auto storedToggleKey = [&] {
        const QJsonValue data =
            readSettings().value(ShortcutManager::storageKey).toObject().value("$data");
        const QJsonObject bindings =
            QJsonDocument::fromJson(QByteArray::fromBase64(data.toString().toLatin1())).object();
        return bindings.value("toggleHalcyra").toObject().value("keyCode").toInt();
    };
    QElapsedTimer waited;
    waited.start();
    while (storedToggleKey() != 25 && waited.elapsed() < 2000)
        QThread::msleep(20);
    EXPECT_EQ(storedToggleKey(), 25);

    // The window closed (Escape reaches it again), the new combination pressed from
    // outside switches the ramps; the old one no longer does.
    display.xdotool({"key", "Escape"});
    QThread::msleep(300);
    EXPECT_TRUE(display.run("xdotool", {"search", "--onlyvisible", "--name", "Halcyra Settings"})
                    .isEmpty());
    display.xdotool({"key", "ctrl+alt+0"});
    QThread::msleep(500);
    EXPECT_TRUE(isTint(ramps(), 3400)) << "the old combination still switched the tint";
    display.xdotool({"key", "ctrl+alt+9"});
    EXPECT_TRUE(waitForRamps(isIdentity, 3000)) << m_log.toStdString();
    display.xdotool({"key", "ctrl+alt+9"});
    EXPECT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 3400); }, 3000));
    killAndExpectDeathBy(app, SIGTERM);
}
