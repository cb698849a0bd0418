// Idle cost of the room-light poll: processor use and wake-ups per second of the
// real application with the 5 s light poll running (a constant room read from the
// test override) against the same application without a light source (no poll), and
// whether a constant room makes any brightness or warmth write.
//
// PERIPHERALS_BENCH_SECONDS sets each idle stretch (default 60 s).
#include "BenchProcess.h"
#include "support/XorgServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

namespace {

struct Result {
    double cpuPercent;
    double wakeupsPerSecond;
    int writes;
};

Result idleRun(const XorgServer& server, bool withPoll, int seconds) {
    QTemporaryDir config, state;
    BenchProcess::writeSettings(
        config.path(),
        R"({"halcyra.enabled": true, "halcyra.temperature": 3400, "halcyra.intensity": 4,
            "halcyra.brightness": 1, "halcyra.welcomeShown": true,
            "halcyra.menuBarHiddenHintShown": true, "halcyra.ambientDimming": true,
            "halcyra.adaptToRoomLighting": true})");
    QFile lux(state.path() + QStringLiteral("/lux"));
    lux.open(QIODevice::WriteOnly);
    lux.write("30\n");
    lux.close();

    QProcessEnvironment env;
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"),
               QStringLiteral("unix:path=") + state.path() + QStringLiteral("/no-bus"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"),
               QStringLiteral("com.halcyra.app.ambient.debug=true"));
    if (withPoll)
        env.insert(QStringLiteral("HALCYRA_FAKE_LUX_FILE"), state.path() + QStringLiteral("/lux"));
    const std::unique_ptr<QProcess> app =
        BenchProcess::launch(server.display(), config.path(), state.path(), env, true);
    QProcess& p = *app;
    // Settle: start-up, and the room's first adjustment (one dim and one warm glide).
    QThread::sleep(15);
    while (p.waitForReadyRead(100))
        p.readAllStandardError();
    const BenchProcess::Usage before = BenchProcess::usage(p.processId());
    QElapsedTimer t;
    t.start();
    QThread::sleep(unsigned(seconds));
    const BenchProcess::Usage after = BenchProcess::usage(p.processId());
    const double s = t.nsecsElapsed() / 1e9;
    QString log;
    while (p.waitForReadyRead(100))
        log += QString::fromUtf8(p.readAllStandardError());
    BenchProcess::stop(p);
    return {100.0 * double(after.cpuNs - before.cpuNs) / 1e9 / s,
            double(after.switches - before.switches) / s,
            int(log.count(QStringLiteral("adjust:")))};
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::printf("PeripheralsBench: idle cost of the room-light poll\n");
    const std::unique_ptr<XorgServer> started = XorgServer::startForBenchmark();
    if (!started) return 0;
    const int seconds = qEnvironmentVariableIsSet("PERIPHERALS_BENCH_SECONDS")
                            ? qEnvironmentVariableIntValue("PERIPHERALS_BENCH_SECONDS")
                            : 60;
    const Result without = idleRun(*started, false, seconds);
    const Result with = idleRun(*started, true, seconds);
    std::printf("  idle over %d s without a light source: %.4f %% of one core, %.2f wake-ups/s "
                "(targets < 0.1 %%, <= 0.17/s: ten a minute)\n",
                seconds, without.cpuPercent, without.wakeupsPerSecond);
    std::printf("  idle over %d s with the 5 s poll:      %.4f %% of one core, %.2f wake-ups/s "
                "(targets < 0.1 %%, <= 0.2/s above the figure without)\n",
                seconds, with.cpuPercent, with.wakeupsPerSecond);
    std::printf("  brightness or warmth writes in a constant room: %d (target 0)\n", with.writes);
    return 0;
}
