// The schedule's two look-around questions over a full day: the look-back probes every
// minute of the past 24 hours, the onset search every five minutes of the next 24.
// Each runs on the main thread inside an announcement and must stay well under 10 ms.

#include "core/Clock.h"
#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "platform/simulated/SimulatedLocationService.h"
#include "warmth/ColorTemperature.h"
#include "warmth/SunsetScheduler.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

struct Setup {
    enum class Kind { points, sunAtPlace, polarNight, sunFallback };

    explicit Setup(Kind kind)
        : clock(QDateTime(kind == Kind::polarNight ? QDate(2024, 12, 21) : QDate(2024, 6, 21),
                          QTime(23, 30), QTimeZone("Europe/Berlin"))),
          engine(location, clock) {
        UserDefaults& store =
            UserDefaults::resetStandard(dir.path() + QStringLiteral("/settings.json"));
        store.setDouble(PrefKey::temperature, 3400);
        if (kind == Kind::points) {
            store.setBool(PrefKey::useSchedule, true);
            QList<SchedulePoint> points = SchedulePoint::defaults();
            points.append({QUuid::createUuid(), 13.25, 5200});
            points.append({QUuid::createUuid(), 2.5, 2100});
            SchedulePoint::store(points, Preferences::shared());
        } else {
            store.setBool(PrefKey::autoSunset, true);
        }
        if (kind == Kind::sunAtPlace) location.deliver({LocationFix{52.52, 13.405, 1000, {}}});
        // No sunrise that day: every probe computes the sun's elevation, and the
        // schedule stays warm through the whole day.
        if (kind == Kind::polarNight) location.deliver({LocationFix{78.2232, 15.6267, 1000, {}}});
    }

    QTemporaryDir dir;
    ManualClock clock;
    SimulatedLocationService location;
    SunsetScheduler engine;
};

// A screen warmer than anything the schedule reaches: the look-back walks the whole
// warm stretch before it gives up, the worst case.
void lookBack(benchmark::State& state, Setup::Kind kind) {
    Setup s(kind);
    const DisplayTint screen = ColorTemperature::blendedTint(1000, 4.0);
    const QDateTime now = s.clock.now();
    state.SetLabel("target < 10 ms");
    for (auto _ : state)
        benchmark::DoNotOptimize(s.engine.hasBeenAtLeastAsWarm(screen, now));
}

void onset(benchmark::State& state, Setup::Kind kind) {
    Setup s(kind);
    const QDateTime morning = s.clock.now().addSecs(-16 * 3600); // 07:30, cool
    state.SetLabel("target < 10 ms");
    for (auto _ : state)
        benchmark::DoNotOptimize(s.engine.nextWarmOnset(morning, 86400));
}

} // namespace

BENCHMARK_CAPTURE(lookBack, points, Setup::Kind::points)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(lookBack, sunAtPlace, Setup::Kind::sunAtPlace)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(lookBack, polarNight, Setup::Kind::polarNight)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(lookBack, sunFallback, Setup::Kind::sunFallback)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(onset, points, Setup::Kind::points)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(onset, sunAtPlace, Setup::Kind::sunAtPlace)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(onset, polarNight, Setup::Kind::polarNight)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("com.halcyra.*=false"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
