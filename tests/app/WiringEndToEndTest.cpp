// The real binary with its subsystems wired: the schedule on the ramps, and the popover
// opened from the tray icon.
#include "ShellSession.h"

#include "warmth/SchedulePoint.h"

#include <QDateTime>
#include <QImage>
#include <QSet>
#include <QStandardPaths>
#include <cmath>

namespace {

using WiringEndToEnd = ShellSession;

constexpr double kScheduledKelvin = 2700;
const double kScheduledIntensity = 4.0 * (6500 - kScheduledKelvin) / 4700;

double wrapHour(double h) {
    return std::fmod(h + 24.0, 24.0);
}

std::string tops(const Ramps& r) {
    if (r.red.empty()) return "no ramps";
    return QStringLiteral("ramp tops %1 %2 %3")
        .arg(r.red.back() / 65535.0)
        .arg(r.green.back() / 65535.0)
        .arg(r.blue.back() / 65535.0)
        .toStdString();
}

// Runs a helper program against the test's X server; its standard output, trimmed.
QString runOnDisplay(const QString& display, const QString& program, const QStringList& args,
                     bool* ok = nullptr) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    p.setProcessEnvironment(env);
    p.start(program, args);
    const bool finished = p.waitForFinished(5000);
    if (ok) *ok = finished && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// A window's frame on the root window, from xdotool.
QRect windowFrame(const QString& display, const QString& window) {
    bool ok = false;
    const QString text =
        runOnDisplay(display, QStringLiteral("xdotool"),
                     {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window}, &ok);
    QMap<QString, int> g;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QStringList kv = line.split(QLatin1Char('='));
        if (kv.size() == 2) g.insert(kv[0], kv[1].toInt());
    }
    if (!ok) return {};
    return {g.value(QStringLiteral("X")), g.value(QStringLiteral("Y")),
            g.value(QStringLiteral("WIDTH")), g.value(QStringLiteral("HEIGHT"))};
}

} // namespace

TEST_F(WiringEndToEnd, ScheduledWarmthHoldsThroughABrightnessReload) {
    // A flat warm stretch around the current wall-clock time, cool well away from it.
    const QTime t = QTime::currentTime();
    const double hour = t.hour() + t.minute() / 60.0;
    const QList<SchedulePoint> points{{QUuid::createUuid(), wrapHour(hour - 2), kScheduledKelvin},
                                      {QUuid::createUuid(), wrapHour(hour + 2), kScheduledKelvin},
                                      {QUuid::createUuid(), wrapHour(hour + 8), 6500}};
    seedTint(5000); // the stored warmth, which must not show while the schedule governs
    QJsonObject s = readSettings();
    s.insert(PrefKey::useSchedule, true);
    s.insert(PrefKey::schedulePoints,
             QJsonObject{{QStringLiteral("$data"),
                          QString::fromLatin1(SchedulePoint::encode(points)->toBase64())}});
    writeSettings(s);

    QProcess& app = launch();
    ASSERT_TRUE(waitForLog(app, QStringLiteral("launch succeeded"))) << m_log.toStdString();
    ASSERT_TRUE(waitForRamps(
        [](const Ramps& r) { return isTint(r, kScheduledKelvin, kScheduledIntensity); }, 3000))
        << m_log.toStdString();

    s = readSettings();
    EXPECT_EQ(s.value(PrefKey::temperature).toDouble(), 5000); // stored warmth untouched
    s.insert(PrefKey::brightness, 0.6);
    writeSettings(s);
    ::kill(pid_t(app.processId()), SIGUSR1);
    ASSERT_TRUE(waitForLog(app, QStringLiteral("SIGUSR1 received — reloading preferences")));
    EXPECT_TRUE(waitForRamps(
        [](const Ramps& r) { return isTint(r, kScheduledKelvin, kScheduledIntensity, 0.6); }, 3000))
        << tops(ramps()) << "\n"
        << m_log.toStdString();
    QThread::msleep(150); // nothing later jumps back to the stored warmth
    EXPECT_TRUE(isTint(ramps(), kScheduledKelvin, kScheduledIntensity, 0.6));
    killAndExpectDeathBy(app, SIGTERM);
}

TEST_F(WiringEndToEnd, ClickingTheTrayIconOpensThePopover) {
    if (!m_tray) GTEST_SKIP() << "trayer is not installed";
    for (const char* tool : {"xdotool", "import"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            GTEST_SKIP() << tool << " is not installed";
    seedTint(3400);
    QProcess& app = launch();
    ASSERT_TRUE(waitForLog(app, QStringLiteral("launch succeeded"))) << m_log.toStdString();
    const QString display = m_server.display();

    // The icon is the application's one visible window until the popover opens.
    auto visibleWindows = [&] {
        return runOnDisplay(display, QStringLiteral("xdotool"),
                            {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                             QStringLiteral("--pid"), QString::number(app.processId())})
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    };
    QStringList windows;
    QElapsedTimer waited;
    waited.start();
    while ((windows = visibleWindows()).size() != 1 && waited.elapsed() < 5000)
        QThread::msleep(50);
    ASSERT_EQ(windows.size(), 1) << "the tray did not show the icon";
    const QString icon = windows.front();

    const QRect iconFrame = windowFrame(display, icon);
    ASSERT_FALSE(iconFrame.isEmpty());
    bool ok = false;
    runOnDisplay(display, QStringLiteral("xdotool"),
                 {QStringLiteral("mousemove"), QStringLiteral("--sync"),
                  QString::number(iconFrame.center().x()), QString::number(iconFrame.center().y()),
                  QStringLiteral("click"), QStringLiteral("1")},
                 &ok);
    ASSERT_TRUE(ok);
    ASSERT_TRUE(waitForLog(app, QStringLiteral("statusItemClicked event=1")))
        << m_log.toStdString();

    waited.restart();
    while ((windows = visibleWindows()).size() < 2 && waited.elapsed() < 3000)
        QThread::msleep(50);
    windows.removeAll(icon);
    ASSERT_EQ(windows.size(), 1) << "no popover window appeared";
    const QRect popover = windowFrame(display, windows.front());
    // Under the icon, at the top right where the tray is.
    EXPECT_GE(popover.top(), iconFrame.bottom()) << popover.y();
    EXPECT_GE(popover.right(), iconFrame.center().x() - 40);
    QThread::msleep(300); // let the popover paint

    QDir().mkpath(QStringLiteral(HALCYRA_TEST_ARTIFACTS));
    const QString shot =
        QStringLiteral(HALCYRA_TEST_ARTIFACTS) + QStringLiteral("/popover-open.png");
    QFile::remove(shot);
    runOnDisplay(display, QStringLiteral("import"),
                 {QStringLiteral("-window"), QStringLiteral("root"), shot}, &ok);
    EXPECT_TRUE(ok);
    // The dark glass card with coloured sliders and chips: dark on average, but neither
    // the black root window nor one flat colour.
    const QImage image(shot);
    ASSERT_FALSE(image.isNull());
    const QRect card = popover.adjusted(16, 16, -16, -16).intersected(image.rect());
    ASSERT_FALSE(card.isEmpty());
    double luminance = 0;
    QSet<QRgb> colours;
    for (int y = card.top(); y <= card.bottom(); ++y)
        for (int x = card.left(); x <= card.right(); ++x) {
            const QRgb px = image.pixel(x, y);
            luminance += qGray(px);
            colours.insert(px);
        }
    luminance /= double(card.width()) * card.height();
    EXPECT_GT(luminance, 12);
    EXPECT_LT(luminance, 90);
    EXPECT_GT(colours.size(), 200);
    EXPECT_EQ(app.state(), QProcess::Running);
    killAndExpectDeathBy(app, SIGTERM);
}
