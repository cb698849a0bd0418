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
    QProcess* started = nullptr;
    DisplayDriver::Popover opened;
    launchAndOpenPopover(started, opened);
    if (IsSkipped() || HasFatalFailure()) return;
    QProcess& app = *started;
    const DisplayDriver display = this->display();
    ASSERT_TRUE(waitForLog(app, QStringLiteral("statusItemClicked event=1")))
        << m_log.toStdString();
    const QRect& popover = opened.frame;
    // Under the icon, at the top right where the tray is.
    EXPECT_GE(popover.top(), opened.iconFrame.bottom()) << popover.y();
    EXPECT_GE(popover.right(), opened.iconFrame.center().x() - 40);
    QThread::msleep(300); // let the popover paint

    QDir().mkpath(QStringLiteral(HALCYRA_TEST_ARTIFACTS));
    const QString shot =
        QStringLiteral(HALCYRA_TEST_ARTIFACTS) + QStringLiteral("/popover-open.png");
    QFile::remove(shot);
    bool ok = false;
    display.run(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), shot},
                &ok);
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
