// Render time of each schedule view at its natural size and of the whole scheduling
// section with the fine-tune panel open, and the cost of one drag step end to end: the
// point written through the store, every open view re-reading the preview, the engine
// re-evaluated and one gamma push. A frame must stay under 8 ms for 120 Hz dragging.

#include "core/FrameTimer.h"
#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "insights/CircadianFact.h"
#include "insights/ScheduleSettingsModel.h"
#include "platform/Platform.h"
#include "platform/simulated/SimulatedLocationService.h"
#include "settings/CircadianRingView.h"
#include "settings/DayPartZonesView.h"
#include "settings/FunFactCard.h"
#include "settings/SchedulingTabView.h"
#include "settings/SchedulingVisualizerView.h"
#include "settings/SpectrumWidget.h"
#include "sound/SoundCueEngine.h"
#include "warmth/OverlayWindowController.h"
#include "warmth/SunsetScheduler.h"

#include <QApplication>
#include <QImage>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

struct Setup {
    Setup()
        : clock(QDateTime(QDate(2024, 6, 21), QTime(21, 0), QTimeZone("Europe/Berlin"))),
          engine(location, clock) {
        UserDefaults& store =
            UserDefaults::resetStandard(dir.path() + QStringLiteral("/settings.json"));
        store.setDouble(PrefKey::temperature, 2700);
        store.setBool(PrefKey::useSchedule, true);
        QList<SchedulePoint> points = SchedulePoint::defaults();
        points.append({QUuid::createUuid(), 13.25, 5200});
        SchedulePoint::store(points, Preferences::shared());
        model = std::make_unique<ScheduleSettingsModel>();
    }
    QTemporaryDir dir;
    ManualClock clock;
    SimulatedLocationService location;
    SunsetScheduler engine;
    std::unique_ptr<ScheduleSettingsModel> model;
};

void renderEach(benchmark::State& state, QWidget& w, int width) {
    w.resize(width, w.hasHeightForWidth() ? w.heightForWidth(width) : w.sizeHint().height());
    w.setAttribute(Qt::WA_DontShowOnScreen);
    w.show();
    QImage image(w.size() * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    w.render(&image); // first frame fills the caches a live view keeps
    for (auto _ : state) {
        // The benchmark's own clear is no part of the view's frame.
        state.PauseTiming();
        image.fill(Qt::black);
        state.ResumeTiming();
        w.render(&image);
    }
    state.counters["px"] = double(w.width()) * w.height();
    state.SetLabel("target <= 8 ms");
}

void BM_CircadianRing(benchmark::State& state) {
    Setup s;
    CircadianRingView view(true, s.engine);
    renderEach(state, view, 224);
}

void BM_DayPartZones(benchmark::State& state) {
    Setup s;
    DayPartZonesView view(*s.model, s.engine);
    renderEach(state, view, 504);
}

void BM_FunFactCard(benchmark::State& state) {
    FunFactCard card(CircadianFact::allFacts()[7]);
    renderEach(state, card, 420);
}

void BM_SpectrumWidget(benchmark::State& state) {
    SpectrumWidget w(2700, true);
    renderEach(state, w, 300);
}

void BM_ScheduleVisualiser(benchmark::State& state) {
    Setup s;
    SchedulingVisualizerView view(*s.model, s.engine, std::make_unique<ManualFrameTimer>());
    renderEach(state, view, 504);
}

void BM_SchedulingSection(benchmark::State& state) {
    Setup s;
    SchedulingTabView tab(*s.model, QColor::fromRgbF(1, 0.55f, 0.15f), s.engine,
                          SoundCueEngine::shared());
    tab.setShowFineTuneCurve(true);
    renderEach(state, tab, 560);
}

// One pointer step of a drag in the open section, through to the screen: the point
// written through the store, every open view re-reading the preview, the engine
// re-evaluated with its gamma push, and the window's repaint of what the step changed
// (the section shown in a window of its own, painted by the toolkit as on screen).
void BM_DragStepEndToEnd(benchmark::State& state) {
    Setup s;
    Platform::setInstance(Platform::makeSimulated());
    OverlayWindowController overlay(s.clock);
    s.model->onScheduleChanged = [&] { s.engine.assertDesiredState(s.clock.now()); };
    s.engine.onStateChange = [&](const WarmthState& w) {
        overlay.applyGamma(w.kelvin, w.isWarm() ? w.intensity * 4 : 0, 1.0);
    };
    SchedulingTabView tab(*s.model, QColor::fromRgbF(1, 0.55f, 0.15f), s.engine,
                          SoundCueEngine::shared());
    tab.setShowFineTuneCurve(true);
    tab.resize(560, tab.heightForWidth(560));
    tab.show();
    SchedulingVisualizerView& view = *tab.visualizer();
    // Counts the widgets painted, so the figure is known to include the repaint.
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Paint) ++paints;
            return false;
        }
    } counter;
    view.installEventFilter(&counter);
    for (int i = 0; i < 20; ++i)
        QApplication::processEvents();                // shown, laid out and painted once
    const QUuid id = s.model->schedulePoints()[1].id; // 19:00
    const auto g = view.geometry();
    int step = 0;
    counter.paints = 0;
    for (auto _ : state) {
        // Sweep the point between 20:00 and 22:00 across the band, one 5-minute step
        // at a time; every step is a new value, so nothing is skipped.
        const double hour = 20 + (step % 24) / 12.0;
        const double kelvin = 2000 + 100 * (step % 30);
        ++step;
        view.dragChanged(id, g.handle(hour, kelvin));
        s.engine.assertDesiredState(s.clock.now());
        QApplication::sendPostedEvents();
        QApplication::processEvents();
    }
    view.dragEnded();
    state.counters["visualiser paints/step"] = double(counter.paints) / std::max(1, step);
    state.SetLabel("target <= 8 ms");
}

} // namespace

BENCHMARK(BM_CircadianRing)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DayPartZones)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FunFactCard)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SpectrumWidget)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScheduleVisualiser)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SchedulingSection)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DragStepEndToEnd)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The windows' own pixels at twice the size, as the rendered views are drawn.
    qputenv("QT_SCALE_FACTOR", "2");
    QLoggingCategory::setFilterRules(QStringLiteral("*.info=false\n*.debug=false"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
