// The real binary: the popover's gear opens the settings window, a switch flipped with
// the pointer is written to the settings file, and an edit of the file shows in the
// open window.
#include "../app/ShellSession.h"

#include <QImage>
#include <QStandardPaths>

namespace {

using SettingsEndToEnd = ShellSession;

QString runOnDisplay(const QString& display, const QStringList& args, bool* ok = nullptr,
                     const QString& program = QStringLiteral("xdotool")) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    p.setProcessEnvironment(env);
    p.start(program, args);
    const bool finished = p.waitForFinished(5000);
    if (ok) *ok = finished && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

QRect frameOf(const QString& display, const QString& window) {
    QMap<QString, int> g;
    for (const QString& line :
         runOnDisplay(display, {"getwindowgeometry", "--shell", window}).split('\n')) {
        const QStringList kv = line.split('=');
        if (kv.size() == 2) g.insert(kv[0], kv[1].toInt());
    }
    return {g.value("X"), g.value("Y"), g.value("WIDTH"), g.value("HEIGHT")};
}

void clickAt(const QString& display, QPoint p) {
    runOnDisplay(display, {"mousemove", "--sync", QString::number(p.x()), QString::number(p.y()),
                           "click", "1"});
}

} // namespace

TEST_F(SettingsEndToEnd, TheGearOpensTheWindowWhoseSwitchesWriteAndFollowTheFile) {
    if (!m_tray) GTEST_SKIP() << "trayer is not installed";
    for (const char* tool : {"xdotool", "import"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            GTEST_SKIP() << tool << " is not installed";
    seedTint(3400);
    QProcess& app = launch();
    ASSERT_TRUE(waitForLog(app, QStringLiteral("launch succeeded"))) << m_log.toStdString();
    const QString display = m_server.display();
    const QString pid = QString::number(app.processId());
    auto visible = [&] {
        return runOnDisplay(display, {"search", "--onlyvisible", "--pid", pid})
            .split('\n', Qt::SkipEmptyParts);
    };
    QElapsedTimer waited;
    waited.start();
    while (visible().size() != 1 && waited.elapsed() < 5000)
        QThread::msleep(50);
    ASSERT_EQ(visible().size(), 1) << "the tray did not show the icon";
    const QString icon = visible().front();
    clickAt(display, frameOf(display, icon).center());
    QStringList windows;
    waited.restart();
    while ((windows = visible()).size() < 2 && waited.elapsed() < 3000)
        QThread::msleep(50);
    windows.removeAll(icon);
    ASSERT_EQ(windows.size(), 1) << "no popover window appeared";
    const QRect popover = frameOf(display, windows.front());
    QThread::msleep(300);

    // The gear sits at the footer's trailing end; the footer's height follows its quote.
    for (int dy = 30; dy <= 42 && !m_log.contains("Settings window shown"); dy += 4) {
        clickAt(display, QPoint(popover.right() - 31, popover.bottom() - dy));
        waitForLog(app, QStringLiteral("Settings window shown"), 800);
    }
    ASSERT_TRUE(m_log.contains(QStringLiteral("Settings window shown — Home")))
        << m_log.toStdString();
    QString settings;
    waited.restart();
    while (settings.isEmpty() && waited.elapsed() < 3000) {
        settings = runOnDisplay(display, {"search", "--onlyvisible", "--name", "Halcyra Settings"});
        QThread::msleep(50);
    }
    ASSERT_FALSE(settings.isEmpty()) << "no settings window on screen";
    const QRect window = frameOf(display, settings.split('\n').front());
    EXPECT_EQ(window.size(), QSize(724, 520));
    QThread::msleep(300);

    // Display, then its first switch (Flicker-Free Mode).
    clickAt(display, window.topLeft() + QPoint(60, 89));
    QThread::msleep(300);
    const QPoint flicker = window.topLeft() + QPoint(656, 92);
    clickAt(display, flicker);
    waited.restart();
    while (!readSettings().value(PrefKey::flickerFree).toBool() && waited.elapsed() < 2000)
        QThread::msleep(20);
    EXPECT_TRUE(readSettings().value(PrefKey::flickerFree).toBool()) << m_log.toStdString();

    // The file edited from outside: the switch moves back (its knob, white, returns left).
    auto trackLeft = [&] {
        const QString shot = QStringLiteral(HALCYRA_TEST_ARTIFACTS "/settings-e2e.png");
        QDir().mkpath(QStringLiteral(HALCYRA_TEST_ARTIFACTS));
        QFile::remove(shot);
        runOnDisplay(display, {"-window", "root", shot}, nullptr, QStringLiteral("import"));
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
