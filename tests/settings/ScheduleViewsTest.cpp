#include "popover/CueRecorder.h"
#include "warmth/ScheduleTestSupport.h"

#include "core/FrameTimer.h"
#include "core/NotificationCenter.h"
#include "core/NotificationNames.h"
#include "insights/ScheduleSettingsModel.h"
#include "popover/ToggleSwitch.h"
#include "settings/CircadianRingView.h"
#include "settings/DayPartZonesView.h"
#include "settings/FunFactCard.h"
#include "settings/SchedulePointListView.h"
#include "settings/ScheduleViewStyle.h"
#include "settings/SchedulingTabView.h"

#include "settings/SchedulingVisualizerView.h"
#include "settings/SpectrumWidget.h"
#include "support/WidgetInput.h"
#include <QTimer>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <cmath>
#include <gtest/gtest.h>

namespace L = ScheduleViewLogic;

namespace {

// The view at two pixels per point on the dark backdrop the settings window gives it,
// kept under the test artifacts for a person to look at.
QImage render(QWidget& w, const QString& name) {
    w.ensurePolished();
    QImage image(w.size() * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(QColor::fromRgbF(0.10f, 0.09f, 0.12f));
    w.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    QDir().mkpath(QStringLiteral(HALCYRA_TEST_ARTIFACTS));
    image.save(QStringLiteral(HALCYRA_TEST_ARTIFACTS "/") + name + QStringLiteral(".png"));
    return image;
}

QColor pixel(const QImage& image, QPointF at) {
    return image.pixelColor((at * 2).toPoint());
}

bool warmish(const QColor& c) {
    return c.redF() > c.blueF() + 0.2;
}

// Moves here happen with the button down: they are drags.
void mouse(QWidget* w, QEvent::Type type, QPointF pos) {
    sendMouse(w, type, pos, type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton);
}

// Evening points of a custom schedule over the fixture's store, the clock at noon.
struct ViewsRig : ScheduleFixture {
    ViewsRig() {
        useSchedule(points({{7, 6500}, {18, 6500}, {20, 2700}, {22.5, 1800}}));
        store.defaults().setDouble(PrefKey::temperature, 2700);
        model = std::make_unique<ScheduleSettingsModel>();
    }
    const SchedulePoint& point(int i) const { return model->schedulePoints()[i]; }
    std::unique_ptr<ScheduleSettingsModel> model;
};

} // namespace

TEST(CircadianRingView, DrawsTodaysPlanAndRefreshesWhenShown) {
    ViewsRig rig;
    CircadianRingView ring(true, rig.engine);
    ring.resize(224, 224);
    ring.show();
    ASSERT_EQ(ring.samples().size(), 288u);
    EXPECT_DOUBLE_EQ(ring.samples()[12 * 12], 0); // noon is cool
    EXPECT_GT(ring.samples()[23 * 12], 0.9);      // late evening is deep
    EXPECT_DOUBLE_EQ(ring.centreKelvin(), 6500);

    const QImage image = render(ring, QStringLiteral("circadian-ring"));
    const QPointF c(112, 112);
    const double mid = (224 - 2 * CircadianRingView::labelMargin) / 2 - 2 - 7;
    auto segmentAt = [&](double hour) {
        const double a = L::ringAngle(hour);
        return pixel(image, c + QPointF(mid * std::cos(a), mid * std::sin(a)));
    };
    EXPECT_TRUE(warmish(segmentAt(23.2)));
    EXPECT_FALSE(warmish(segmentAt(10)));

    // Hidden, the minute tick leaves it be; shown again, it catches up at once.
    ring.setWindowVisible(false);
    rig.clock.setNow(rig.at(QTime(22, 30)));
    ring.setWindowVisible(true);
    EXPECT_NEAR(ring.currentFractionalHour(), 22.5, 1e-9);
    EXPECT_DOUBLE_EQ(ring.centreKelvin(), 2700);
}

TEST(DayPartZonesView, AveragesEachPartAndFollowsTheSettings) {
    ViewsRig rig;
    rig.store.defaults().setBool(PrefKey::useSchedule, false);
    rig.model->refreshFromPreferences();
    DayPartZonesView zones(*rig.model, rig.engine);
    zones.resize(504, zones.heightForWidth(504));
    zones.show();
    for (const auto& part : L::dayParts())
        EXPECT_DOUBLE_EQ(zones.zoneWarmth(part.id).avg, 6500) << part.id.toStdString();
    EXPECT_TRUE(zones.modeCaption().startsWith("Manual mode"));
    EXPECT_TRUE(zones.isCurrentZone(L::dayParts()[1])); // noon: afternoon

    // The switch alone, with no later notice of changed settings: the zones follow in
    // the same turn of the event loop, not at the next minute.
    rig.model->setUseSchedule(true);
    QCoreApplication::processEvents();
    EXPECT_LT(zones.zoneWarmth(QStringLiteral("night")).avg, 4000);
    EXPECT_DOUBLE_EQ(zones.zoneWarmth(QStringLiteral("afternoon")).avg, 6500);
    EXPECT_TRUE(zones.modeCaption().startsWith("Custom schedule active"));
    render(zones, QStringLiteral("day-part-zones"));
}

TEST(SchedulePointListView, AddsAndRemovesWithinTheLimits) {
    ViewsRig rig;
    rig.model->setSchedulePoints(ScheduleFixture::points({{7, 6500}, {12, 3000}}));
    int changed = 0;
    SchedulePointListView list(
        *rig.model, [&] { ++changed; }, Qt::red);
    list.resize(400, list.sizeHint().height());
    list.show();
    EXPECT_TRUE(list.removeButtons().isEmpty());

    list.addButton()->click();
    ASSERT_EQ(rig.model->schedulePoints().size(), 3);
    EXPECT_EQ(rig.point(2).hour, 12.0); // after the existing noon point
    EXPECT_EQ(rig.point(2).kelvin, 4500.0);
    EXPECT_EQ(SchedulePoint::stored(Preferences::shared()), rig.model->schedulePoints());
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(list.removeButtons().size(), 3);

    list.addButton()->click();
    list.addButton()->click();
    list.addButton()->click();
    EXPECT_EQ(rig.model->schedulePoints().size(), 6);
    EXPECT_TRUE(list.addButton()->isHidden());
    list.resize(400, list.sizeHint().height());
    render(list, QStringLiteral("schedule-point-list"));

    list.removeButtons().first()->click();
    QApplication::processEvents();
    EXPECT_EQ(rig.model->schedulePoints().size(), 5);
    EXPECT_EQ(rig.point(0).hour, 12.0);
    EXPECT_FALSE(list.addButton()->isHidden());
    EXPECT_EQ(changed, 5);
}

TEST(SchedulingTabView, ModesAreExclusiveAndThePanelHoldsTheVisualiser) {
    ViewsRig rig;
    rig.store.defaults().setBool(PrefKey::useSchedule, false);
    rig.model->refreshFromPreferences();
    CueRecorder cues;
    rig.clock.setNow(rig.at(QTime(21, 0)));
    SchedulingTabView tab(*rig.model, QColor::fromRgbF(1, 0.55f, 0.15f), rig.engine, *cues.engine);
    tab.resize(560, tab.heightForWidth(560));
    tab.show();
    EXPECT_EQ(tab.customSubtitle(), "Define your own warmth curve");
    EXPECT_TRUE(!tab.pointList()->isVisibleTo(&tab));

    tab.customSwitch()->click();
    EXPECT_TRUE(rig.model->useSchedule());
    EXPECT_FALSE(!tab.pointList()->isVisibleTo(&tab));
    EXPECT_EQ(tab.customSubtitle(), "Active — Deep warmth now · next shift at 10:30 PM");

    tab.setShowFineTuneCurve(true);
    ASSERT_NE(tab.visualizer(), nullptr);
    tab.resize(560, tab.heightForWidth(560));
    QApplication::processEvents();
    const QImage image = render(tab, QStringLiteral("scheduling-section"));
    EXPECT_EQ(image.width(), 1120);

    tab.sunSwitch()->click();
    EXPECT_TRUE(rig.model->autoSunset());
    EXPECT_FALSE(rig.model->useSchedule());
    EXPECT_TRUE(!tab.pointList()->isVisibleTo(&tab));
    EXPECT_EQ(cues.count(SoundCue::toggleOn), 2);
    EXPECT_EQ(cues.count(SoundCue::toggleOff), 0);

    tab.fineTuneButton()->click();
    EXPECT_EQ(tab.visualizer(), nullptr);
    EXPECT_FALSE(tab.fineTuneButton()->isChecked());
}

// The pixels two images differ in by more than a level.
int differingPixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return -1;
    int differing = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            if (std::abs(qRed(p) - qRed(q)) > 1 || std::abs(qGreen(p) - qGreen(q)) > 1 ||
                std::abs(qBlue(p) - qBlue(q)) > 1 || std::abs(qAlpha(p) - qAlpha(q)) > 1)
                ++differing;
        }
    return differing;
}

// On screen a drag step repaints only the zone cards, the rows and the stretch of curve
// it changes: what the window then shows is what it shows painted whole.
TEST(SchedulingTabView, AfterADragTheWindowShowsWhatItShowsPaintedWhole) {
    ViewsRig rig;
    rig.clock.setNow(rig.at(QTime(21, 0)));
    CueRecorder cues;
    // In a window of its own over the settings window's dark backdrop.
    QWidget window;
    QPalette dark = window.palette();
    dark.setColor(QPalette::Window, QColor::fromRgbF(0.10f, 0.09f, 0.12f));
    window.setPalette(dark);
    window.setAutoFillBackground(true);
    SchedulingTabView tab(*rig.model, QColor::fromRgbF(1, 0.55f, 0.15f), rig.engine, *cues.engine,
                          &window);
    tab.setShowFineTuneCurve(true);
    tab.resize(560, tab.heightForWidth(560));
    window.resize(tab.size());
    window.show();
    for (int i = 0; i < 20; ++i)
        QApplication::processEvents();
    auto shown = [&window] {
        return window.screen()
            ->grabWindow(window.winId())
            .toImage()
            .convertToFormat(QImage::Format_ARGB32);
    };
    const QImage before = shown();
    SchedulingVisualizerView& view = *tab.visualizer();
    const auto g = view.geometry();
    const QUuid id = rig.point(2).id;
    for (int step = 0; step < 6; ++step) {
        view.dragChanged(id, g.handle(20.5 + step / 12.0, 2000 + 150 * step));
        QApplication::processEvents();
    }
    view.dragEnded();
    QApplication::processEvents();
    const QImage dragged = shown();
    window.repaint();
    const QImage whole = shown();
    dragged.save(QStringLiteral(HALCYRA_TEST_ARTIFACTS "/scheduling-section-dragged.png"));
    EXPECT_EQ(differingPixels(dragged, whole), 0);
    EXPECT_GT(differingPixels(dragged, before), 0); // the zones, rows and curve did move
}

TEST(SchedulingTabView, TheSubtitleFollowsTheClockWhenShownAgainAndEachMinuteItIsSeen) {
    ViewsRig rig;
    rig.store.defaults().setBool(PrefKey::useSchedule, true);
    rig.model->refreshFromPreferences();
    CueRecorder cues;
    rig.clock.setNow(rig.at(QTime(21, 0)));
    SchedulingTabView tab(*rig.model, QColor::fromRgbF(1, 0.55f, 0.15f), rig.engine, *cues.engine);
    tab.show();
    const QString at21 = tab.customSubtitle();
    EXPECT_EQ(at21, "Active — Deep warmth now · next shift at 10:30 PM");

    // Hidden, two hours pass; shown again it speaks of now.
    tab.hide();
    rig.clock.setNow(rig.at(QTime(23, 0)));
    tab.show();
    EXPECT_NE(tab.customSubtitle(), at21);
    EXPECT_EQ(tab.customSubtitle(), tab.scheduleStatusLine());

    // While seen, the minute tick reads the clock again; hidden, it stops.
    auto* minute = tab.findChild<QTimer*>(QStringLiteral("statusMinuteTimer"));
    ASSERT_NE(minute, nullptr);
    EXPECT_TRUE(minute->isActive());
    rig.clock.setNow(rig.at(QTime(21, 0)));
    minute->setInterval(1);
    for (int i = 0; i < 100 && tab.customSubtitle() != at21; ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(tab.customSubtitle(), at21);
    tab.hide();
    EXPECT_FALSE(minute->isActive());
}

TEST(SchedulingVisualizerView, DraggingStoresThePointAndTheEngineFollows) {
    ViewsRig rig;
    rig.clock.setNow(rig.at(QTime(21, 0)));
    auto frames = std::make_unique<ManualFrameTimer>();
    ManualFrameTimer* pulse = frames.get();
    SchedulingVisualizerView view(*rig.model, rig.engine, std::move(frames));
    view.resize(532, view.heightForWidth(532));
    view.show();
    rig.model->onScheduleChanged = [&] { rig.engine.assertDesiredState(rig.clock.now()); };

    const QRectF area = view.drawingArea();
    const auto g = view.geometry();
    const QImage before = render(view, QStringLiteral("schedule-visualiser"));
    // Each handle wears its point's colour; the warm evening reaches the curve.
    for (const SchedulePoint& p : rig.model->schedulePoints()) {
        const QColor want = ScheduleViewStyle::colour(L::colorForKelvin(p.kelvin));
        const QColor got = pixel(before, area.topLeft() + g.handle(p.hour, p.kelvin));
        if (want.alphaF() < 1) continue; // the faint cool handle blends with the card
        EXPECT_NEAR(got.redF(), want.redF(), 0.08);
        EXPECT_NEAR(got.greenF(), want.greenF(), 0.08);
    }

    // Drag the 20:00 point to 21:00 and above the band (1800 K).
    const QUuid id = rig.point(2).id;
    const QPointF from = area.topLeft() + g.handle(20, 2700);
    mouse(&view, QEvent::MouseButtonPress, from);
    mouse(&view, QEvent::MouseMove, from + QPointF(4, 0)); // under the threshold
    EXPECT_FALSE(view.draggingPointId());
    mouse(&view, QEvent::MouseMove, from + QPointF(12, -30));
    EXPECT_EQ(view.draggingPointId(), id);
    const QPointF to = area.topLeft() + QPointF(g.x(21), area.height() * 0.2);
    mouse(&view, QEvent::MouseMove, to);
    mouse(&view, QEvent::MouseButtonRelease, to);
    EXPECT_FALSE(view.draggingPointId());

    // On disk, as a fresh reader of the settings file sees it.
    ASSERT_TRUE(rig.store.defaults().synchronize());
    UserDefaults reread(rig.store.path());
    const QList<SchedulePoint> stored = SchedulePoint::stored(Preferences(&reread));
    ASSERT_EQ(stored.size(), 4);
    EXPECT_EQ(stored[2].id, id);
    EXPECT_DOUBLE_EQ(stored[2].hour, 21.0);
    EXPECT_DOUBLE_EQ(stored[2].kelvin, 1800);
    ASSERT_FALSE(rig.announced.empty());
    EXPECT_TRUE(rig.announced.back().isWarm());
    EXPECT_NEAR(rig.announced.back().kelvin, 1800, 1);
    EXPECT_NEAR(view.currentIntensity(), 1.0, 1e-9);

    // A click selects a handle; the arrow keys move it five minutes or 100 K.
    const QPointF at = area.topLeft() + g.handle(7, 6500);
    mouse(&view, QEvent::MouseButtonPress, at);
    mouse(&view, QEvent::MouseButtonRelease, at);
    EXPECT_DOUBLE_EQ(rig.point(0).hour, 7.0);
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(&view, &right);
    QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
    QApplication::sendEvent(&view, &up);
    EXPECT_DOUBLE_EQ(rig.point(0).hour, 7 + 5 / 60.0);
    EXPECT_NEAR(rig.point(0).kelvin, 6400, 1e-6);

    // The marker breathes on the frame timer while the window is visible and settles
    // when it is not.
    ASSERT_TRUE(pulse->isActive());
    for (int i = 0; i < 36; ++i)
        pulse->fire();
    EXPECT_NEAR(view.pulse(), 0.5, 0.05);
    rig.model->setWindowVisible(false);
    pulse->fireUntilStopped(100);
    EXPECT_FALSE(pulse->isActive());
    EXPECT_DOUBLE_EQ(view.pulse(), 0);
}

// A drag step redraws only what moves, from the step's own schedule: after several
// steps the view shows what a view made afresh over the same schedule shows (its
// preview and the "Now" figure included, not those of the step before), to the level:
// the stretch of curve stroked again joins the rest without a seam or a leftover edge.
TEST(SchedulingVisualizerView, AfterADragTheViewDrawsAsAFreshOne) {
    ViewsRig rig;
    rig.clock.setNow(rig.at(QTime(21, 0)));
    SchedulingVisualizerView view(*rig.model, rig.engine, std::make_unique<ManualFrameTimer>());
    view.resize(532, view.heightForWidth(532));
    view.show();
    const auto g = view.geometry();
    const QImage before = render(view, QStringLiteral("schedule-visualiser-before-drag"));
    const QUuid id = rig.point(2).id;
    for (int step = 0; step < 6; ++step) {
        view.dragChanged(id, g.handle(20.5 + step / 12.0, 2000 + 150 * step));
        render(view, QStringLiteral("schedule-visualiser-dragging"));
    }
    view.dragEnded();
    const QImage dragged = render(view, QStringLiteral("schedule-visualiser-dragged"));

    SchedulingVisualizerView fresh(*rig.model, rig.engine, std::make_unique<ManualFrameTimer>());
    fresh.resize(view.size());
    fresh.show();
    const QImage expected = render(fresh, QStringLiteral("schedule-visualiser-fresh"));
    ASSERT_EQ(dragged.size(), expected.size());
    int differing = 0;
    for (int y = 0; y < dragged.height(); ++y)
        for (int x = 0; x < dragged.width(); ++x) {
            const QRgb a = dragged.pixel(x, y), b = expected.pixel(x, y);
            if (std::abs(qRed(a) - qRed(b)) > 1 || std::abs(qGreen(a) - qGreen(b)) > 1 ||
                std::abs(qBlue(a) - qBlue(b)) > 1)
                ++differing;
        }
    EXPECT_EQ(differing, 0);
    EXPECT_NE(dragged, before); // the curve and the handle did move
}

TEST(SchedulingVisualizerView, ManualDragTurnsTheScheduleOnAndTheSunHidesHandles) {
    ViewsRig rig;
    rig.store.defaults().setBool(PrefKey::useSchedule, false);
    rig.model->refreshFromPreferences();
    SchedulingVisualizerView view(*rig.model, rig.engine, std::make_unique<ManualFrameTimer>());
    view.resize(400, view.heightForWidth(400));
    view.show();
    EXPECT_FLOAT_EQ(view.samples().back().intensity, 0); // manual: flat on the base

    view.dragChanged(rig.point(2).id, QPointF(-30, -30));
    view.dragEnded();
    EXPECT_TRUE(rig.model->useSchedule());
    EXPECT_FALSE(rig.model->autoSunset());
    EXPECT_DOUBLE_EQ(rig.point(2).hour, 0);
    EXPECT_DOUBLE_EQ(rig.point(2).kelvin, 1800);

    // A point that went away makes a drag step do nothing.
    const QList<SchedulePoint> before = rig.model->schedulePoints();
    view.dragChanged(QUuid::createUuid(), QPointF(10, 10));
    view.dragEnded();
    EXPECT_EQ(rig.model->schedulePoints(), before);

    rig.model->setAutoSunset(true);
    const QPointF handle = view.drawingArea().topLeft() + view.geometry().handle(7, 6500);
    mouse(&view, QEvent::MouseButtonPress, handle);
    mouse(&view, QEvent::MouseMove, handle + QPointF(40, 0));
    EXPECT_FALSE(view.draggingPointId());
    EXPECT_TRUE(view.statusSentenceText().startsWith("No location"));
    // The long sentence keeps to one line: the card is as tall at a narrow width.
    EXPECT_EQ(view.heightForWidth(400), view.heightForWidth(4000));
    render(view, QStringLiteral("schedule-visualiser-no-location"));
}

TEST(SchedulingVisualizerView, WithoutSunTimesDrawsSixToEightAndTheCurvePassesOverTheMarker) {
    ViewsRig rig;
    rig.store.defaults().setBool(PrefKey::useSchedule, false);
    rig.model->refreshFromPreferences();
    rig.clock.setNow(rig.at(QTime(1, 0))); // the middle of a 20:00–06:00 night
    SchedulingVisualizerView view(*rig.model, rig.engine, std::make_unique<ManualFrameTimer>());
    view.resize(400, view.heightForWidth(400));
    view.show();
    ASSERT_FALSE(rig.engine.todaySunrise());
    EXPECT_DOUBLE_EQ(view.sunHours().sunrise, 6.0);
    EXPECT_DOUBLE_EQ(view.sunHours().sunset, 20.0);
    EXPECT_FALSE(view.sunHours().sunsetTime);

    // At the night's lowest point the marker sits on the flat manual curve; the curve is
    // drawn after it, so its deep red shows where they meet, not the marker's pale yellow.
    const QImage image = render(view, QStringLiteral("schedule-visualiser-no-sun"));
    const auto g = view.geometry();
    const QPointF marker = view.drawingArea().topLeft() + QPointF(g.x(1), g.bandBase());
    EXPECT_NEAR(g.sunY(L::sunElevation(1, 6, 20)), g.bandBase(), 1e-9);
    const QColor c = pixel(image, marker);
    EXPECT_GT(c.redF(), 0.7);
    EXPECT_LT(c.greenF(), 0.6) << c.name().toStdString();
    // Beside the curve the marker is there.
    const QColor above = pixel(image, marker - QPointF(0, 3.5));
    EXPECT_GT(above.greenF(), 0.75) << above.name().toStdString();

    // The sunrise and sunset ticks are dashed 3 on, 3 off as the screen shows them.
    for (const int scale : {1, 2}) {
        QImage tick(QSize(4, 40) * scale, QImage::Format_ARGB32_Premultiplied);
        tick.setDevicePixelRatio(scale);
        tick.fill(Qt::transparent);
        QPainter p(&tick);
        p.setRenderHint(QPainter::Antialiasing); // as the view paints
        ScheduleViewStyle::paintDashedTick(p, QPointF(2, 0), QPointF(2, 36));
        p.end();
        QList<int> runs; // lengths of the lit and dark stretches, top down, in points
        bool lit = true;
        int run = 0;
        for (int y = 0; y < 36 * scale; ++y) {
            bool on = false;
            for (int x = 0; x < tick.width(); ++x)
                on = on || qAlpha(tick.pixel(x, y)) > 0;
            if (on != lit) {
                runs << run / scale;
                lit = on;
                run = 0;
            }
            ++run;
        }
        EXPECT_EQ(runs.mid(0, 4), (QList<int>{3, 3, 3, 3})) << "at " << scale << "x";
    }
}

TEST(FunFactCard, BodiesWrapToThreeLinesAtMost) {
    for (const CircadianFact& fact : CircadianFact::allFacts()) {
        FunFactCard card(fact);
        EXPECT_LE(card.bodyLines(300).size(), FunFactCard::maxBodyLines);
        EXPECT_GE(card.heightForWidth(344), 32);
    }
    FunFactCard narrow(CircadianFact::allFacts()[7]);
    const QStringList lines = narrow.bodyLines(110);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines.last().endsWith(QChar(0x2026)));

    FunFactCard card(CircadianFact::allFacts()[0]);
    card.resize(420, card.heightForWidth(420));
    const QImage image = render(card, QStringLiteral("fun-fact-card"));
    EXPECT_TRUE(warmish(pixel(image, {16, card.height() / 2.0})));
}

TEST(SpectrumWidget, MarkerStaysOnTheBarAndFadesWhenOff) {
    SpectrumWidget cold(7000, true), hot(500, false), mid(3750, true);
    for (SpectrumWidget* w : {&cold, &hot, &mid})
        w->resize(210, SpectrumWidget::barHeight);
    EXPECT_DOUBLE_EQ(cold.markerRect().left(), 0);
    EXPECT_DOUBLE_EQ(hot.markerRect().right(), 210);
    EXPECT_DOUBLE_EQ(mid.markerRect().left(), 100);
    const QImage on = render(mid, QStringLiteral("spectrum-on"));
    const QImage off = render(hot, QStringLiteral("spectrum-off"));
    // The bar's cool end is bright blue when on, barely there when off.
    EXPECT_GT(pixel(on, {3, 5}).blueF(), 0.7);
    EXPECT_LT(pixel(off, {3, 5}).blueF(), 0.45);
    EXPECT_GT(pixel(on, mid.markerRect().center()).lightnessF(), 0.9);
}
