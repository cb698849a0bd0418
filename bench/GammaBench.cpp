// Cost of the gamma writer through the application's own platform on a real X server
// (Xorg on the dummy driver, more heads added through xrandr): a push for 1, 2 and 4
// displays against the bare RandR set-gamma requests for the same CRTCs, both timed
// until the server has handled them; and the CPU a one-second brightness ramp at 60
// frames per second takes, with the settings saves it sets off, beside the floors it
// stands on (the frame timer alone; the timer with one fixed table write a frame).
#include "BenchProcess.h"
#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "platform/Platform.h"
#include "platform/linux/X11DisplayGamma.h"
#include "support/TestStore.h"
#include "support/XorgServer.h"
#include "warmth/OverlayWindowController.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <X11/Xlib.h>
#include <X11/Xlibint.h>
#include <X11/extensions/Xrandr.h>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace {
double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + ts.tv_nsec / 1e9;
}

struct Spread {
    std::vector<double> v;
    void add(double x) { v.push_back(x); }
    QString text(const char* format) {
        std::sort(v.begin(), v.end());
        if (v.empty()) return QStringLiteral("-");
        auto f = [&](double x) { return QString::asprintf(format, x); };
        return QStringLiteral("%1 (%2–%3)").arg(f(v[v.size() / 2]), f(v.front()), f(v.back()));
    }
};

// Seconds per push of bare XRRSetCrtcGamma requests, one per CRTC, and one XSync:
// the least any writer can do to have every CRTC show a new ramp.
double bareSeconds(Display* dpy, const std::vector<XorgServer::Crtc>& crtcs, int pushes) {
    std::vector<XRRCrtcGamma*> gammas;
    for (const auto& c : crtcs)
        gammas.push_back(XRRAllocGamma(c.gammaSize));
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < pushes; ++i) {
        const double top = 0.5 + 0.5 * double(i % 100) / 100.0;
        for (size_t k = 0; k < crtcs.size(); ++k) {
            XRRCrtcGamma* gamma = gammas[k];
            for (int j = 0; j < gamma->size; ++j) {
                const auto v =
                    static_cast<unsigned short>(double(j) / (gamma->size - 1) * top * 65535.0);
                gamma->red[j] = v;
                gamma->green[j] = static_cast<unsigned short>(v * 0.8);
                gamma->blue[j] = static_cast<unsigned short>(v * 0.6);
            }
            XRRSetCrtcGamma(dpy, crtcs[k].id, gamma);
        }
        XSync(dpy, False);
    }
    const double seconds = t.nsecsElapsed() / 1e9 / pushes;
    for (XRRCrtcGamma* g : gammas)
        XRRFreeGamma(g);
    return seconds;
}

// Share of a core for one second of 60 frames with no event loop at all: the thread
// sleeps to each frame's deadline and hands one fixed set-gamma request to the server
// without reading anything back. No writer at 60 Hz can take less on this machine.
double bareFramesShare(Display* dpy, const XorgServer::Crtc& crtc) {
    XRRCrtcGamma* gamma = XRRAllocGamma(crtc.gammaSize);
    for (int j = 0; j < gamma->size; ++j)
        gamma->red[j] = gamma->green[j] = gamma->blue[j] = static_cast<unsigned short>(j * 32);
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    const double cpuStart = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    for (int frame = 0; frame < 60; ++frame) {
        next.tv_nsec += 1000000000L / 60;
        if (next.tv_nsec >= 1000000000L) {
            next.tv_nsec -= 1000000000L;
            ++next.tv_sec;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        XRRSetCrtcGamma(dpy, crtc.id, gamma);
        LockDisplay(dpy);
        _XSend(dpy, nullptr, 0);
        UnlockDisplay(dpy);
    }
    const double share = (cpuSeconds() - cpuStart) * 100.0 / (wall.nsecsElapsed() / 1e9);
    XSync(dpy, False);
    XRRFreeGamma(gamma);
    return share;
}

bool xrandr(const QString& display, const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("xrandr"), QStringList{QStringLiteral("-display"), display} + args);
    const bool ok = p.waitForFinished(10000) && p.exitCode() == 0;
    if (!ok)
        std::printf("  xrandr %s: %s\n", qPrintable(args.join(QLatin1Char(' '))),
                    p.readAllStandardError().constData());
    return ok;
}

// Turns on dummy heads until `count` are active.
bool useHeads(XorgServer& server, size_t count) {
    for (size_t i = server.activeCrtcs().size(); i < count; ++i) {
        const QString name = QStringLiteral("DUMMY%1").arg(i);
        xrandr(server.display(), {QStringLiteral("--addmode"), name, QStringLiteral("1024x768")});
        if (!xrandr(server.display(), {QStringLiteral("--output"), name, QStringLiteral("--mode"),
                                       QStringLiteral("1024x768"), QStringLiteral("--right-of"),
                                       QStringLiteral("DUMMY%1").arg(i - 1)}))
            return false;
    }
    // A full query brings the server's own view of its heads up to date.
    xrandr(server.display(), {QStringLiteral("--query")});
    for (int tries = 0; tries < 50 && server.activeCrtcs().size() != count; ++tries)
        QThread::msleep(20);
    return server.activeCrtcs().size() == count;
}

void wait(int ms) {
    QEventLoop settle;
    QTimer::singleShot(ms, &settle, &QEventLoop::quit);
    settle.exec();
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // The ramp logs a line per frame at info level; keep the figures readable.
    QLoggingCategory::setFilterRules(QStringLiteral("com.halcyra.*.info=false"));
    std::printf("GammaBench: gamma pushes on Xorg (dummy driver), load %s\n",
                qPrintable(BenchProcess::loadAverage()));
    const std::unique_ptr<XorgServer> started = XorgServer::startForBenchmark();
    if (!started) return 0;
    XorgServer& server = *started;
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
    qputenv("DISPLAY", server.display().toLocal8Bit());
    qunsetenv("HALCYRA_PLATFORM");
    TestStore store;
    Display* dpy = XOpenDisplay(server.display().toLocal8Bit().constData());
    if (!dpy) return 0;

    auto measure = [&] {
        // The application's own platform, as it starts on this server.
        Platform::setInstance(Platform::makeDefault());
        auto* gamma = dynamic_cast<X11DisplayGamma*>(&Platform::instance().displayGamma());
        if (!gamma) {
            std::printf("  no RandR gamma on %s — figures skipped\n", qPrintable(server.display()));
            return;
        }
        OverlayWindowController engine;

        // 1. One push, measured until the server shows it, at 1, 2 and 4 displays.
        // GAMMA_BENCH_ONLY=ramp or =push runs one half alone (for a profiler).
        const QByteArray only = qgetenv("GAMMA_BENCH_ONLY");
        constexpr int kPushes = 400;
        for (size_t heads : {1u, 2u, 4u}) {
            if (only == "ramp") break;
            if (!useHeads(server, heads)) {
                std::printf("  %zu displays: the dummy driver gave no more heads — skipped\n",
                            heads);
                break;
            }
            wait(800); // the reconfiguration is heard and the display list dropped
            const auto crtcs = server.activeCrtcs();
            engine.applyGamma(3400.0, 4.0, 1.0); // fills the display cache, takes the originals
            gamma->sync();
            // Interleaved rounds so both see the same server and machine load.
            Spread ratio, engineMs, bareMs;
            for (int round = 0; round < 7; ++round) {
                const double bare = bareSeconds(dpy, crtcs, kPushes);
                QElapsedTimer t;
                t.start();
                for (int i = 0; i < kPushes; ++i) {
                    engine.applyGamma(3400.0 + (i % 100), 4.0, 0.9);
                    gamma->sync(); // until the server has it, as the bare push
                }
                const double pushed = t.nsecsElapsed() / 1e9 / kPushes;
                ratio.add(pushed / bare);
                engineMs.add(pushed * 1000);
                bareMs.add(bare * 1000);
            }
            std::printf("  %zu display(s): applyGamma %s ms, bare set-gamma %s ms; "
                        "ratio %s (target <= 1.2x)\n",
                        heads, qPrintable(engineMs.text("%.3f")), qPrintable(bareMs.text("%.3f")),
                        qPrintable(ratio.text("%.2fx")));
        }
        if (only == "push") {
            XCloseDisplay(dpy);
            Platform::setInstance(Platform::makeSimulated());
            return;
        }

        // 2. One-second brightness ramps: 60 frames, each writing the stored brightness and
        // re-applying the overlays, as the value ramp does (inside a write burst), on one
        // display through the application's own platform. The CPU counted includes what
        // the writes set off in the 0.6 s after the last frame (saves, the file watcher).
        useHeads(server, 1);
        for (size_t i = 1; i < 4; ++i)
            xrandr(server.display(), {QStringLiteral("--output"), QStringLiteral("DUMMY%1").arg(i),
                                      QStringLiteral("--off")});
        wait(800);
        UserDefaults& defaults = store.defaults();
        defaults.setBool(PrefKey::enabled, true);
        defaults.setDouble(PrefKey::temperature, 3400.0);
        defaults.setDouble(PrefKey::intensity, 4.0);
        engine.updateOverlays();
        wait(600);
        // Each round times the ramp and, under the same load, the two floors it stands on:
        // the 60 Hz frame timer alone (the event loop waking with nothing to do) and the
        // timer with one fixed table write a frame through the same backend.
        const DisplayId mainDisplay = gamma->mainDisplay();
        const std::vector<float> fixedTable(OverlayWindowController::tableSize, 0.5f);
        auto rampShare = [&](const std::function<void(int frame)>& frameWork) {
            int frames = 0;
            QEventLoop loop;
            QTimer frame;
            frame.setTimerType(Qt::PreciseTimer);
            QObject::connect(&frame, &QTimer::timeout, [&] {
                frameWork(frames);
                if (++frames == 60) loop.quit();
            });
            const double cpuStart = cpuSeconds();
            QElapsedTimer wall;
            wall.start();
            defaults.beginBurst();
            frame.start(1000 / 60);
            loop.exec();
            frame.stop();
            defaults.endBurst();
            const double rampSeconds = wall.nsecsElapsed() / 1e9;
            wait(600);
            return (cpuSeconds() - cpuStart) * 100.0 / rampSeconds;
        };
        const XorgServer::Crtc mainCrtc = server.activeCrtcs().front();
        Spread share, saveCount, timerAlone, bareWrite, bareFrames;
        for (int ramp = 0; ramp < 5; ++ramp) {
            SaveCounter saves(defaults.filePath());
            share.add(rampShare([&](int frames) {
                defaults.setDouble(PrefKey::brightness, ramp % 2 ? 0.5 + 0.5 * frames / 59.0
                                                                 : 1.0 - 0.5 * frames / 59.0);
                engine.updateOverlays();
            }));
            saveCount.add(saves.saves());
            timerAlone.add(rampShare([](int) {}));
            bareWrite.add(rampShare([&](int) {
                gamma->setTransferTables(mainDisplay, fixedTable, fixedTable, fixedTable);
            }));
            bareFrames.add(bareFramesShare(dpy, mainCrtc));
        }
        XCloseDisplay(dpy);
        engine.updateOverlays(); // the tint again after the fixed tables
        std::printf("  60 Hz one-second ramp: %s %% of a core (target <= 0.5 %%), settings saves a "
                    "ramp %s (target 1)\n",
                    qPrintable(share.text("%.2f")), qPrintable(saveCount.text("%.0f")));
        std::printf(
            "    beside it, the 60 Hz timer alone %s %%; with one fixed table write a frame "
            "%s %%;\n      and with no event loop, a thread sleeping to each frame and sending one "
            "fixed request %s %%\n",
            qPrintable(timerAlone.text("%.2f")), qPrintable(bareWrite.text("%.2f")),
            qPrintable(bareFrames.text("%.2f")));
        std::printf("  load after: %s\n", qPrintable(BenchProcess::loadAverage()));
        engine.performDisableCleanup();
        // The platform's connections go before the server does.
        Platform::setInstance(Platform::makeSimulated());
    };
    // Measured from inside the event loop, where the application pushes.
    QTimer::singleShot(0, &app, [&] {
        measure();
        app.quit();
    });
    return app.exec();
}
