// Idle cost of the room-light poll: processor use and wake-ups per second of the
// real application with the 5 s light poll running (a constant room read from the
// test override) against the same application without a light source (no poll), and
// whether a constant room makes any brightness or warmth write.
//
// PERIPHERALS_BENCH_SECONDS sets each idle stretch (default 60 s).
#include "support/XorgServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

namespace {

struct Sample {
    long long cpuNs = 0;
    long long switches = 0;
};

// Processor time and context switches (each a wake-up or a preemption) of every
// thread of the process.
Sample sample(qint64 pid) {
    Sample s;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& tid : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks + QLatin1Char('/') + tid + QStringLiteral("/schedstat"));
        if (stat.open(QIODevice::ReadOnly))
            s.cpuNs += stat.readAll().split(' ').first().toLongLong();
        QFile status(tasks + QLatin1Char('/') + tid + QStringLiteral("/status"));
        if (!status.open(QIODevice::ReadOnly)) continue;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("voluntary_ctxt_switches:"))
                s.switches += line.mid(24).trimmed().toLongLong();
    }
    return s;
}

struct Result {
    double cpuPercent;
    double wakeupsPerSecond;
    int writes;
};

Result idleRun(const XorgServer& server, bool withPoll, int seconds) {
    QTemporaryDir config, state;
    QDir().mkpath(config.path() + QStringLiteral("/halcyra"));
    QFile settings(config.path() + QStringLiteral("/halcyra/settings.json"));
    settings.open(QIODevice::WriteOnly);
    settings.write(R"({"halcyra.enabled": true, "halcyra.temperature": 3400, "halcyra.intensity": 4,
                       "halcyra.brightness": 1, "halcyra.welcomeShown": true,
                       "halcyra.menuBarHiddenHintShown": true, "halcyra.ambientDimming": true,
                       "halcyra.adaptToRoomLighting": true})");
    settings.close();
    QFile lux(state.path() + QStringLiteral("/lux"));
    lux.open(QIODevice::WriteOnly);
    lux.write("30\n");
    lux.close();

    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("HALCYRA_PLATFORM"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("DISPLAY"), server.display());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    env.insert(QStringLiteral("XDG_STATE_HOME"), state.path());
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
               QStringLiteral("unix:path=") + state.path() + QStringLiteral("/no-bus"));
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"),
               QStringLiteral("unix:path=") + state.path() + QStringLiteral("/no-bus"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"),
               QStringLiteral("com.halcyra.app.ambient.debug=true"));
    if (withPoll)
        env.insert(QStringLiteral("HALCYRA_FAKE_LUX_FILE"), state.path() + QStringLiteral("/lux"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(HALCYRA_BINARY), {});
    p.waitForStarted(5000);
    // Settle: start-up, and the room's first adjustment (one dim and one warm glide).
    QThread::sleep(15);
    while (p.waitForReadyRead(100))
        p.readAllStandardError();
    const Sample before = sample(p.processId());
    QElapsedTimer t;
    t.start();
    QThread::sleep(unsigned(seconds));
    const Sample after = sample(p.processId());
    const double s = t.nsecsElapsed() / 1e9;
    QString log;
    while (p.waitForReadyRead(100))
        log += QString::fromUtf8(p.readAllStandardError());
    p.terminate();
    p.waitForFinished(3000);
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
    std::printf("  idle over %d s without a light source: %.4f %% of one core, %.2f wake-ups/s\n",
                seconds, without.cpuPercent, without.wakeupsPerSecond);
    std::printf("  idle over %d s with the 5 s poll:      %.4f %% of one core, %.2f wake-ups/s\n",
                seconds, with.cpuPercent, with.wakeupsPerSecond);
    std::printf("  brightness or warmth writes in a constant room: %d\n", with.writes);
    return 0;
}
