#pragma once

// The real application started under a benchmark's X server in its own temporary
// settings and state folders, and what the kernel counts of it.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QThread>
#include <memory>

namespace BenchProcess {

struct Usage {
    long long cpuNs = 0;    // time on a processor
    long long switches = 0; // voluntary context switches: wake-ups
};

// Summed over every thread of the process, from the scheduler's own accounting (far
// finer than the clock ticks of /proc/<pid>/stat).
inline Usage usage(qint64 pid) {
    Usage u;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& tid : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks + QLatin1Char('/') + tid + QStringLiteral("/schedstat"));
        if (stat.open(QIODevice::ReadOnly))
            u.cpuNs += stat.readAll().split(' ').first().toLongLong();
        QFile status(tasks + QLatin1Char('/') + tid + QStringLiteral("/status"));
        if (!status.open(QIODevice::ReadOnly)) continue;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("voluntary_ctxt_switches:"))
                u.switches += line.mid(24).trimmed().toLongLong();
    }
    return u;
}

// The machine's one-minute load average, as the figures' context.
inline QString loadAverage() {
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly)) return QStringLiteral("?");
    return QString::fromLatin1(f.readAll().split(' ').first());
}

inline long long cpuNanoseconds(qint64 pid) {
    return usage(pid).cpuNs;
}

// settings.json under `configDir`, as the application reads it.
inline void writeSettings(const QString& configDir, const QByteArray& json) {
    QDir().mkpath(configDir + QStringLiteral("/halcyra"));
    QFile f(configDir + QStringLiteral("/halcyra/settings.json"));
    if (f.open(QIODevice::WriteOnly)) f.write(json);
}

// The application on `display` with its folders under `configDir` and `stateDir`, on
// no session bus; `extra` is added to its environment. Its log is dropped unless
// `keepLog`. `program` and `arguments` start another build of it (or a floor) instead.
inline std::unique_ptr<QProcess> launch(const QString& display, const QString& configDir,
                                        const QString& stateDir,
                                        const QProcessEnvironment& extra = {}, bool keepLog = false,
                                        const QString& program = QStringLiteral(HALCYRA_BINARY),
                                        const QStringList& arguments = {}) {
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("HALCYRA_PLATFORM"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configDir);
    env.insert(QStringLiteral("XDG_STATE_HOME"), stateDir);
    // The onboarding marker lives here, never in the real home.
    env.insert(QStringLiteral("XDG_DATA_HOME"), stateDir + QStringLiteral("/data"));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
               QStringLiteral("unix:path=") + stateDir + QStringLiteral("/no-bus"));
    for (const QString& key : extra.keys())
        env.insert(key, extra.value(key));
    p->setProcessEnvironment(env);
    if (!keepLog) p->setStandardErrorFile(QProcess::nullDevice());
    p->start(program, arguments);
    p->waitForStarted(5000);
    return p;
}

// A tray host on `display` for the status item, as a desktop has one; null without
// trayer installed.
inline std::unique_ptr<QProcess> startTray(const QString& display) {
    if (QStandardPaths::findExecutable(QStringLiteral("trayer")).isEmpty()) return nullptr;
    auto tray = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    tray->setProcessEnvironment(env);
    tray->setStandardErrorFile(QProcess::nullDevice());
    tray->start(QStringLiteral("trayer"), {QStringLiteral("--edge"), QStringLiteral("top")});
    tray->waitForStarted(3000);
    QThread::msleep(300);
    return tray;
}

// Asks the process to end, and kills it when it does not within 3 s.
inline void stop(QProcess& p) {
    p.terminate();
    if (!p.waitForFinished(3000)) {
        p.kill();
        p.waitForFinished(2000);
    }
}

} // namespace BenchProcess
