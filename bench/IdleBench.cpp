// Wake-ups of the real application left alone with the tint on, under a private X
// server with a tray: voluntary context switches (each one a sleep the process chose
// to end) over a minute, counted by the kernel for every thread.
//
// IDLE_BENCH_SECONDS sets the stretch (default 60 s); it is counted in three equal
// windows so the spread shows.
#include "BenchProcess.h"
#include "support/XorgServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::printf("IdleBench: wake-ups of the idle application (load %s)\n",
                qPrintable(BenchProcess::loadAverage()));
    const std::unique_ptr<XorgServer> started = XorgServer::startForBenchmark();
    if (!started) return 0;
    XorgServer& server = *started;
    const std::unique_ptr<QProcess> tray = BenchProcess::startTray(server.display());
    QTemporaryDir config, state;
    BenchProcess::writeSettings(
        config.path(),
        R"({"halcyra.enabled": true, "halcyra.temperature": 3400, "halcyra.intensity": 4,
            "halcyra.brightness": 1, "halcyra.welcomeShown": true,
            "halcyra.menuBarHiddenHintShown": true})");
    const std::unique_ptr<QProcess> p =
        BenchProcess::launch(server.display(), config.path(), state.path());
    const qint64 pid = p->processId();
    QThread::sleep(5); // started, tinted, settled

    const int seconds = qEnvironmentVariableIsSet("IDLE_BENCH_SECONDS")
                            ? std::max(3, qEnvironmentVariableIntValue("IDLE_BENCH_SECONDS"))
                            : 60;
    const double window = seconds / 3.0;
    std::vector<double> perMinute;
    long long total = 0;
    double busy = 0;
    for (int i = 0; i < 3; ++i) {
        const BenchProcess::Usage before = BenchProcess::usage(pid);
        QElapsedTimer t;
        t.start();
        QThread::msleep(static_cast<unsigned long>(window * 1000));
        const BenchProcess::Usage after = BenchProcess::usage(pid);
        const double s = t.nsecsElapsed() / 1e9;
        total += after.switches - before.switches;
        busy += (after.cpuNs - before.cpuNs) / 1e9;
        perMinute.push_back((after.switches - before.switches) * 60.0 / s);
    }
    std::sort(perMinute.begin(), perMinute.end());
    std::printf("  wake-ups over %d s idle: %lld; a minute: min %.0f, median %.0f, max %.0f "
                "(target <= 10)\n",
                seconds, total, perMinute.front(), perMinute[1], perMinute.back());
    std::printf("  processor use idle: %.4f %% of one core (target < 0.1 %%)\n",
                100.0 * busy / seconds);
    std::printf("  load after: %s\n", qPrintable(BenchProcess::loadAverage()));
    BenchProcess::stop(*p);
    if (tray) BenchProcess::stop(*tray);
    return 0;
}
