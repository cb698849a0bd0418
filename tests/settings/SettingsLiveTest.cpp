// The settings window on a private Xorg, opened from the popover's gear, with and
// without a compositor and a window manager: grabbed once settled, moved by a drag on
// its sidebar, its insights of a seeded week and the testimonial editor opened and
// cancelled, and its general section's footer read from the pixels.
#include "../app/LiveSession.h"
#include "SettingsSession.h"
#include "insights/InsightsLogic.h"

#include <sys/stat.h>

namespace {

// Whether a pixel clearly stands off `ground`: lighter by `by`, or strongly coloured.
bool standsOff(QRgb p, QRgb ground, int by = 25) {
    const int spread =
        std::max({qRed(p), qGreen(p), qBlue(p)}) - std::min({qRed(p), qGreen(p), qBlue(p)});
    return qGray(p) > qGray(ground) + by || spread > 60;
}

// The runs of at least `minRun` pixels of row `y` inside [left, right] that stand off
// the ground at the row's left end.
QList<std::pair<int, int>> runs(const QImage& image, int y, int left, int right, int minRun) {
    QList<std::pair<int, int>> found; // first x, width
    const QRgb ground = image.pixel(left, y);
    for (int x = left; x <= right;) {
        int end = x;
        while (end <= right && standsOff(image.pixel(end, y), ground))
            ++end;
        if (end - x >= minRun) found.append({x, end - x});
        x = std::max(end, x + 1);
    }
    return found;
}

// The bounding box of the strongly coloured pixels of `area`.
QRect colouredBounds(const QImage& image, const QRect& area) {
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (std::max({qRed(p), qGreen(p), qBlue(p)}) -
                    std::min({qRed(p), qGreen(p), qBlue(p)}) >
                80)
                box |= QRect(x, y, 1, 1);
        }
    return box;
}

// The last row, going down column `x` from `top`, of the card that covers (x, top): the
// card's glass is set off from the ground below it by a few levels, its shadow hardly.
int cardBottom(const QImage& image, int x, int top, QRgb ground) {
    auto isGround = [ground](QRgb p) {
        return std::max({std::abs(qRed(p) - qRed(ground)), std::abs(qGreen(p) - qGreen(ground)),
                         std::abs(qBlue(p) - qBlue(ground))}) <= 5;
    };
    int last = top;
    for (int y = top; y < image.height() && y < last + 8; ++y)
        if (!isGround(image.pixel(x, y))) last = y;
    return last;
}

// The rows of the accent-tinted pixels (Submit) of `area`; -1 and -1 when there are none.
std::pair<int, int> accentRows(const QImage& image, const QRect& area) {
    int top = -1, bottom = -1;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) > qBlue(p) + 25) {
                if (top < 0) top = y;
                bottom = y;
            }
        }
    return {top, bottom};
}

} // namespace

class SettingsLive : public LiveSession<SettingsSession> {
protected:
    QString name(const char* step) const {
        return QStringLiteral("settings-%1-%2").arg(QLatin1String(step), m_desk->label());
    }
    QString settingsWindow(QProcess& app) const {
        return m_desk->waitForWindow(QStringLiteral("Halcyra Settings"), app.processId());
    }
    // A week of protected evenings ending today, the fourth day the busiest, as the
    // insight store keeps it.
    void seedWeek() {
        const double hours[7] = {2.5, 4, 0, 6, 3, 5.5, 1.2};
        QList<DailyInsight> days;
        for (int i = 0; i < 7; ++i) {
            DailyInsight day =
                DailyInsight::zero(InsightsLogic::dayKey(QDate::currentDate().addDays(i - 6)));
            day.protectedSeconds = day.scheduledSeconds = hours[i] * 3600;
            days << day;
        }
        QJsonObject s = readSettings();
        s.insert(PrefKey::insightsDailyRecords,
                 QJsonObject{{QStringLiteral("$data"),
                              QString::fromLatin1(InsightsLogic::encode(days).toBase64())}});
        writeSettings(s);
    }
};

TEST_P(SettingsLive, OpensFromTheGearAndMovesByItsSidebar) {
    seedWeek();
    QProcess* started = nullptr;
    DisplayDriver::Popover opened;
    launchAndOpenPopover(started, opened);
    if (IsSkipped() || HasFatalFailure()) return;
    QProcess& app = *started;
    const QRect frame = openSettingsFromTheGear(app, opened.frame);
    ASSERT_FALSE(frame.isEmpty());
    const QString id = settingsWindow(app);
    const LiveDesktop::Shot home = m_desk->grabSettled(id, name("home"));
    ASSERT_FALSE(home.isNull());
    EXPECT_EQ(home.window.size(), QSize(724, 520));
    // The sidebar's section names and the page's greeting are drawn.
    EXPECT_TRUE(LiveDesktop::hasDetail(
        home.image, QRect(home.window.topLeft() + QPoint(20, 40), QSize(170, 200))));
    EXPECT_TRUE(LiveDesktop::hasDetail(
        home.image, QRect(home.window.topLeft() + QPoint(230, 20), QSize(300, 60))));

    // A drag on the sidebar's empty middle moves the window by as much.
    const DisplayDriver x = m_desk->driver();
    const QPoint from = frame.topLeft() + QPoint(100, 330);
    x.xdotool({"mousemove", "--sync", QString::number(from.x()), QString::number(from.y())});
    x.xdotool({"mousedown", "1"});
    // As a hand would: the window manager takes the move over from the press before the
    // pointer goes anywhere, rather than racing a motion sent within the same millisecond.
    QThread::msleep(150);
    for (int step = 1; step <= 10; ++step) {
        x.xdotool({"mousemove", "--sync", QString::number(from.x() + 12 * step),
                   QString::number(from.y() + 8 * step)});
        QThread::msleep(20);
    }
    x.xdotool({"mouseup", "1"});
    QThread::msleep(400);
    const QRect moved = m_desk->frameOf(id);
    EXPECT_NEAR(moved.x() - frame.x(), 120, 6) << "the window did not follow the drag";
    EXPECT_NEAR(moved.y() - frame.y(), 80, 6) << "the window did not follow the drag";
    m_desk->grabSettled(id, name("moved"));

    // The scheduling and insights pages from the sidebar: their cards, ring and bars
    // drawn as the window shows them (kept for a person to look at).
    LiveDesktop::Shot insights;
    for (const auto& [row, page] : {std::pair{123, "scheduling"}, std::pair{219, "insights"}}) {
        x.clickAt(moved.topLeft() + QPoint(60, row));
        QThread::msleep(500);
        const LiveDesktop::Shot shot = m_desk->grabSettled(id, name(page));
        ASSERT_FALSE(shot.isNull());
        EXPECT_TRUE(LiveDesktop::hasDetail(
            shot.image, QRect(shot.window.topLeft() + QPoint(240, 100), QSize(460, 380))))
            << page << ": nothing drawn, see " << shot.path.toStdString();
        insights = shot;
    }

    // The insights of the seeded week: the gauge's stroke is centred on its 84-point
    // frame's circle, so the ring spans 90 pixels whole; each day's bar fills its column.
    const QPoint at = insights.window.topLeft();
    const QRect ring = colouredBounds(insights.image, QRect(at + QPoint(230, 76), QSize(130, 130)));
    EXPECT_NEAR(ring.height(), 90, 2) << insights.path.toStdString();
    EXPECT_NEAR(ring.width(), 90, 3) << insights.path.toStdString();
    // Beside it the card's title stands over its caption, the two centred on the ring.
    QList<int> lines;
    for (int y = ring.top() - 8; y <= ring.bottom() + 8; ++y)
        for (int x = ring.right() + 12; x < at.x() + 690; ++x)
            if (qGray(insights.image.pixel(x, y)) > 100) {
                lines << y;
                break;
            }
    ASSERT_GT(lines.size(), 20) << insights.path.toStdString();
    int widest = 0;
    for (qsizetype i = 1; i < lines.size(); ++i)
        widest = std::max(widest, lines[i] - lines[i - 1]);
    EXPECT_LE(widest, 12) << "the title stands apart from its caption, see "
                          << insights.path.toStdString();
    EXPECT_NEAR((lines.front() + lines.back()) / 2.0, ring.center().y(), 6)
        << insights.path.toStdString();
    // Across the bars' feet every day with hours has its bar.
    QList<std::pair<int, int>> bars;
    int baseline = 0;
    for (int y = at.y() + 230; y < at.y() + 350; ++y) {
        const auto row = runs(insights.image, y, at.x() + 236, at.x() + 700, 12);
        // The widest of the rows that cross them all: clear of the rounded corners.
        auto span = [](const QList<std::pair<int, int>>& r) {
            int sum = 0;
            for (const auto& run : r)
                sum += run.second;
            return sum;
        };
        if (row.size() > bars.size() || (row.size() == bars.size() && span(row) > span(bars)))
            std::tie(bars, baseline) = std::pair{row, y};
    }
    ASSERT_EQ(bars.size(), 6) << insights.path.toStdString(); // one day had none
    int pitch = insights.window.width();
    for (qsizetype i = 1; i < bars.size(); ++i)
        pitch = std::min(pitch, bars[i].first - bars[i - 1].first);
    for (const auto& [left, width] : bars)
        EXPECT_GE(width, 0.8 * pitch) << "a bar of " << width << " in a column share of " << pitch
                                      << ", see " << insights.path.toStdString();
    // Today's, the last, in the accent.
    const QRgb today = insights.image.pixel(bars.back().first + bars.back().second / 2, baseline);
    EXPECT_GT(qRed(today), qBlue(today) + 80) << insights.path.toStdString();

    // Home, its testimonial card opened and, once eased, cancelled: each face stands
    // wholly inside the card.
    x.clickAt(moved.topLeft() + QPoint(60, 59));
    QThread::msleep(500);
    const LiveDesktop::Shot invited = m_desk->grabSettled(id, name("home-again"));
    ASSERT_FALSE(invited.isNull());
    const QPoint home0 = invited.window.topLeft();
    const QRgb ground = invited.image.pixel(home0 + QPoint(470, 505));
    const int cardTop = home0.y() + 310, column = home0.x() + 584;
    const int closed = cardBottom(invited.image, column, cardTop, ground);
    x.clickAt(moved.topLeft() + QPoint(400, 333));
    QThread::msleep(400);
    const LiveDesktop::Shot editing = m_desk->grabSettled(id, name("testimonial"));
    ASSERT_FALSE(editing.isNull());
    const int open = cardBottom(editing.image, column, cardTop, ground);
    const QRect footer(home0.x() + 590, cardTop, 120, editing.image.height() - cardTop - 1);
    const auto [submitTop, submit] = accentRows(editing.image, footer);
    EXPECT_GT(open, closed + 60) << editing.path.toStdString();
    EXPECT_GT(submitTop, cardTop + 80) << "no Submit, see " << editing.path.toStdString();
    // Submit whole (its text and 6 points either side), the card's padding under it.
    EXPECT_GE(submit - submitTop, 20) << editing.path.toStdString();
    EXPECT_GE(open - submit, 8) << "the editor's footer is cut, see " << editing.path.toStdString();
    // The text box's lower border, going up from the card's padding, clear of the buttons.
    const int box = home0.x() + 400;
    int boxBottom = open - 3;
    while (boxBottom > cardTop && qGray(editing.image.pixel(box, boxBottom)) <
                                      qGray(editing.image.pixel(box, open - 3)) + 15)
        --boxBottom;
    EXPECT_GE(submitTop - boxBottom, 6)
        << "the text box runs into its buttons, see " << editing.path.toStdString();
    x.clickAt(moved.topLeft() + QPoint(266, (submitTop + submit) / 2 - home0.y()));
    QThread::msleep(400);
    const LiveDesktop::Shot cancelled = m_desk->grabSettled(id, name("testimonial-cancelled"));
    ASSERT_FALSE(cancelled.isNull());
    EXPECT_NEAR(cardBottom(cancelled.image, column, cardTop, ground), closed, 2)
        << cancelled.path.toStdString();
    EXPECT_EQ(accentRows(cancelled.image, footer).first, -1) << cancelled.path.toStdString();
    killAndExpectDeathBy(app, SIGTERM);
}

TEST_P(SettingsLive, TheGeneralPageSaysWhileTheSettingsCannotBeSaved) {
    if (!m_tray) GTEST_SKIP() << "trayer is not installed";
    seedTint(3400);
    ASSERT_EQ(::chmod(QFile::encodeName(settingsPath()).constData(), 0444), 0);
    QProcess& app = launch();
    ASSERT_TRUE(waitForLog(app, QStringLiteral("launch succeeded"))) << m_log.toStdString();
    const DisplayDriver::Popover opened = display().openPopoverFromTray(app.processId());
    ASSERT_TRUE(opened.failure.isEmpty()) << opened.failure.toStdString();
    const QRect frame = openSettingsFromTheGear(app, opened.frame);
    ASSERT_FALSE(frame.isEmpty());
    // The last item of the sidebar, above the version at its foot.
    display().clickAt(frame.topLeft() + QPoint(60, frame.height() - 74));
    const LiveDesktop::Shot shot = m_desk->grabSettled(settingsWindow(app), name("unsaved"));
    ASSERT_FALSE(shot.isNull());
    // The line under the page's title, in the warning yellow.
    int yellow = 0;
    const QRect line(shot.window.topLeft() + QPoint(220, 40), QSize(480, 80));
    for (int y = line.top(); y <= line.bottom(); ++y)
        for (int x = line.left(); x <= line.right(); ++x) {
            const QColor c = shot.image.pixelColor(x, y);
            if (c.red() > 200 && c.green() > 150 && c.green() < 225 && c.blue() < 90) ++yellow;
        }
    EXPECT_GT(yellow, 40) << shot.path.toStdString();

    // The page scrolled to its about block, then a check that cannot reach anything,
    // asked for from the sidebar's foot: both say so whole while it shows (4 s).
    const QPoint page = frame.topLeft() + QPoint(470, 300);
    display().xdotool(
        {"mousemove", "--sync", QString::number(page.x()), QString::number(page.y())});
    for (int notch = 0; notch < 40; ++notch)
        display().xdotool({"click", "5"});
    QThread::msleep(300);
    display().clickAt(frame.topLeft() + QPoint(127, frame.height() - 36));
    QThread::msleep(600);
    const LiveDesktop::Shot about = m_desk->grabSettled(settingsWindow(app), name("about"));
    ASSERT_FALSE(about.isNull());
    // The about block's status line, under its name and version: its text spans more
    // than the 140 px that cut it to "update".
    const QRect status(about.window.topLeft() + QPoint(240, about.window.height() - 166),
                       QSize(470, 18));
    const QColor ground = about.image.pixelColor(status.topLeft());
    int left = status.right(), right = status.left();
    for (int y = status.top(); y <= status.bottom(); ++y)
        for (int x = status.left(); x <= status.right(); ++x)
            if (qGray(about.image.pixel(x, y)) > qGray(ground.rgb()) + 30) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    EXPECT_GT(right - left, 140) << about.path.toStdString();
    killAndExpectDeathBy(app, SIGTERM);
    ASSERT_EQ(::chmod(QFile::encodeName(settingsPath()).constData(), 0600), 0);
}

INSTANTIATE_TEST_SUITE_P(Desks, SettingsLive, ::testing::ValuesIn(LiveDesktop::desks()),
                         [](const auto& info) { return LiveDesktop::deskName(info.param); });
