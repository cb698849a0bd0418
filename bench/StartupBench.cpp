// Start-up and idle cost of the real application under a private X server, each held
// against a floor measured in the same run: a bare Qt tray application
// (BareTrayFloor) that pushes one gamma table once its toolkit is up. The figures are
// the time from process start to the tint on screen (runs of the contenders
// interleaved), and resident memory, private dirty memory and threads after 10 s idle
// with the popover closed, then processor use over an idle stretch.
//
// STARTUP_BENCH_RUNS sets the cold starts per contender (default 11);
// STARTUP_BENCH_BEFORE names another build of the application (main's, say) to run
// beside this one; STARTUP_BENCH_IDLE_SECONDS sets the idle stretch measured for
// processor use (default 20 s; the target is stated for 60 s).
#include "BenchProcess.h"
#include "support/XorgServer.h"
#include "warmth/ColorTemperature.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Session {
    QTemporaryDir config;
    QTemporaryDir state;
};

void seed(const Session& s) {
    BenchProcess::writeSettings(
        s.config.path(),
        R"({"halcyra.enabled": true, "halcyra.temperature": 3400, "halcyra.intensity": 4,
            "halcyra.brightness": 1, "halcyra.welcomeShown": true,
            "halcyra.menuBarHiddenHintShown": true})");
}

struct Contender {
    QString name;
    QString program;
    QStringList arguments;
    std::vector<double> startMs;
};

std::unique_ptr<QProcess> launch(const XorgServer& server, const Session& s, const Contender& who) {
    return BenchProcess::launch(server.display(), s.config.path(), s.state.path(), {}, false,
                                who.program, who.arguments);
}

// The top of the CRTC's blue ramp as the server holds it, 0-1; below 0 when unreadable.
// One connection, opened once: a connection made for every look would load the server
// the application is starting on with a stream of connects.
class RampWatch {
public:
    explicit RampWatch(const QString& display);
    ~RampWatch();
    double blueTop(unsigned long crtc) const;

private:
    void* m_display = nullptr;
};

bool tinted(const RampWatch& watch, unsigned long crtc) {
    const double top = watch.blueTop(crtc);
    const double expected = ColorTemperature::blendedTint(3400, 4).b;
    return top >= 0 && std::abs(top - expected) < 0.02;
}

// A field of /proc/<pid>/<file> in kB (or a plain count), -1 when unreadable.
long procField(qint64 pid, const char* file, const QByteArray& field) {
    QFile f(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(file)));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').first().toLong();
    return -1;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::printf("StartupBench: application start-up and idle cost (load %s)\n",
                qPrintable(BenchProcess::loadAverage()));
    const std::unique_ptr<XorgServer> started = XorgServer::startForBenchmark();
    if (!started) return 0;
    XorgServer& server = *started;
    const auto crtcs = server.activeCrtcs();
    const unsigned long crtc = crtcs.front().id;
    const std::unique_ptr<QProcess> tray = BenchProcess::startTray(server.display());
    const RampWatch watch(server.display());

    const DisplayTint tint = ColorTemperature::blendedTint(3400, 4);
    std::vector<Contender> contenders;
    contenders.push_back(
        {QStringLiteral("bare Qt tray app (floor)"),
         QCoreApplication::applicationDirPath() + QStringLiteral("/BareTrayFloor"),
         {QString::number(tint.r), QString::number(tint.g), QString::number(tint.b)},
         {}});
    contenders.push_back({QStringLiteral("Halcyra"), QStringLiteral(HALCYRA_BINARY), {}, {}});
    if (const QString before = qEnvironmentVariable("STARTUP_BENCH_BEFORE"); !before.isEmpty())
        contenders.push_back({QStringLiteral("Halcyra before"), before, {}, {}});

    // 1. Process start to the tint on screen, cold starts of every contender in turn
    // (the order turned each round, so none always follows the same one).
    const int runs = qEnvironmentVariableIsSet("STARTUP_BENCH_RUNS")
                         ? std::max(3, qEnvironmentVariableIntValue("STARTUP_BENCH_RUNS"))
                         : 11;
    for (int run = 0; run < runs; ++run) {
        for (size_t k = 0; k < contenders.size(); ++k) {
            Contender& who = contenders[(run + k) % contenders.size()];
            server.setCrtcRamps(crtc, XorgServer::identityRamps(crtcs.front().gammaSize));
            Session s;
            seed(s);
            QElapsedTimer t;
            t.start();
            auto p = launch(server, s, who);
            while (!tinted(watch, crtc) && t.elapsed() < 5000)
                QThread::usleep(500);
            const double ms = t.nsecsElapsed() / 1e6;
            if (ms < 5000) who.startMs.push_back(ms);
            BenchProcess::stop(*p);
        }
    }
    const double floorMs = median(contenders.front().startMs);
    std::printf("  start to tint on screen (%d interleaved runs each):\n", runs);
    for (Contender& who : contenders) {
        std::sort(who.startMs.begin(), who.startMs.end());
        if (who.startMs.empty()) {
            std::printf("    %-26s no push seen within 5 s\n", qPrintable(who.name));
            continue;
        }
        std::printf("    %-26s min %6.1f  median %6.1f  max %6.1f ms  = %.2fx floor "
                    "(target <= 1.5x)\n",
                    qPrintable(who.name), who.startMs.front(), median(who.startMs),
                    who.startMs.back(), floorMs > 0 ? median(who.startMs) / floorMs : 0.0);
    }

    // 2. Memory and threads after 10 s idle, every contender running side by side.
    std::vector<std::unique_ptr<Session>> sessions;
    std::vector<std::unique_ptr<QProcess>> idle;
    for (const Contender& who : contenders) {
        sessions.push_back(std::make_unique<Session>());
        seed(*sessions.back());
        idle.push_back(launch(server, *sessions.back(), who));
    }
    QThread::sleep(10);
    const long floorRss = procField(idle.front()->processId(), "status", "VmRSS:");
    std::printf("  after 10 s idle, popover closed:\n");
    for (size_t k = 0; k < contenders.size(); ++k) {
        const qint64 pid = idle[k]->processId();
        const long rss = procField(pid, "status", "VmRSS:");
        std::printf("    %-26s resident %5.1f MB (%.2fx floor; target <= 1.3x), private dirty "
                    "%4.1f MB, %ld threads (target <= 4)\n",
                    qPrintable(contenders[k].name), rss / 1024.0,
                    floorRss > 0 ? double(rss) / floorRss : 0.0,
                    procField(pid, "smaps_rollup", "Private_Dirty:") / 1024.0,
                    procField(pid, "status", "Threads:"));
    }

    // 3. Processor use of this build over an idle stretch.
    const int idleSeconds = qEnvironmentVariableIsSet("STARTUP_BENCH_IDLE_SECONDS")
                                ? qEnvironmentVariableIntValue("STARTUP_BENCH_IDLE_SECONDS")
                                : 20;
    const qint64 pid = idle[1]->processId();
    const long long before = BenchProcess::cpuNanoseconds(pid);
    QElapsedTimer stretch;
    stretch.start();
    QThread::sleep(unsigned(std::max(1, idleSeconds)));
    const long long after = BenchProcess::cpuNanoseconds(pid);
    const double seconds = stretch.nsecsElapsed() / 1e9;
    const double busy = double(after - before) / 1e9;
    std::printf(
        "  processor use over %.1f s idle: %.4f %% of one core (%.1f ms busy; target < 0.1 %%)\n",
        seconds, 100.0 * busy / seconds, busy * 1000.0);
    std::printf("  load after: %s\n", qPrintable(BenchProcess::loadAverage()));
    for (auto& p : idle)
        BenchProcess::stop(*p);
    if (tray) BenchProcess::stop(*tray);
    return 0;
}

// Kept last: Xlib defines macros (None, Bool, Status...) that Qt headers also use.
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

namespace {
RampWatch::RampWatch(const QString& display) {
    m_display = XOpenDisplay(display.toLocal8Bit().constData());
}

RampWatch::~RampWatch() {
    if (m_display) XCloseDisplay(static_cast<Display*>(m_display));
}

double RampWatch::blueTop(unsigned long crtc) const {
    if (!m_display) return -1;
    XRRCrtcGamma* gamma = XRRGetCrtcGamma(static_cast<Display*>(m_display), crtc);
    if (!gamma) return -1;
    const double top = gamma->size > 0 ? gamma->blue[gamma->size - 1] / 65535.0 : -1;
    XRRFreeGamma(gamma);
    return top;
}
} // namespace
