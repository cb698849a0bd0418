// Cost of the gamma writer on a real X server (Xorg on the dummy driver): pushes per
// second through applyGamma against the bare RandR set-gamma round trip in the same
// run, and the CPU a one-second brightness ramp at 60 frames per second takes.
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
#include <QTemporaryDir>
#include <QTimer>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <cstdio>
#include <ctime>
#include <sys/stat.h>

namespace {
double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + ts.tv_nsec / 1e9;
}

// Pushes per second of a bare XRRSetCrtcGamma + XSync loop on its own connection.
double bareRate(const QString& display, unsigned long crtc, int pushes) {
    Display* dpy = XOpenDisplay(display.toLocal8Bit().constData());
    if (!dpy) return 0;
    const int size = XRRGetCrtcGammaSize(dpy, crtc);
    XRRCrtcGamma* gamma = XRRAllocGamma(size);
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < pushes; ++i) {
        const double top = 0.5 + 0.5 * double(i % 100) / 100.0;
        for (int j = 0; j < size; ++j) {
            const auto v = static_cast<unsigned short>(double(j) / (size - 1) * top * 65535.0);
            gamma->red[j] = v;
            gamma->green[j] = static_cast<unsigned short>(v * 0.8);
            gamma->blue[j] = static_cast<unsigned short>(v * 0.6);
        }
        XRRSetCrtcGamma(dpy, crtc, gamma);
        XSync(dpy, False);
    }
    const double seconds = t.nsecsElapsed() / 1e9;
    XRRFreeGamma(gamma);
    XCloseDisplay(dpy);
    return pushes / seconds;
}

// Counts the saves of a file: each one is a rename that puts a new inode in place.
struct SaveCounter {
    QByteArray path;
    struct stat last {};
    int saves = 0;
    explicit SaveCounter(const QString& p) : path(p.toLocal8Bit()) {
        ::stat(path.constData(), &last);
    }
    void look() {
        struct stat now {};
        if (::stat(path.constData(), &now) != 0) return;
        if (now.st_ino != last.st_ino || now.st_mtim.tv_nsec != last.st_mtim.tv_nsec ||
            now.st_mtim.tv_sec != last.st_mtim.tv_sec)
            ++saves;
        last = now;
    }
};
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // The ramp logs a line per frame at info level; keep the figures readable.
    QLoggingCategory::setFilterRules(QStringLiteral("com.halcyra.*.info=false"));
    std::printf("GammaBench: gamma pushes on Xorg (dummy driver)\n");
    const std::unique_ptr<XorgServer> started = XorgServer::startForBenchmark();
    if (!started) return 0;
    XorgServer& server = *started;
    const auto crtcs = server.activeCrtcs();
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
    TestStore store;
    auto platform = Platform::makeSimulated();
    platform->setDisplayGamma(X11DisplayGamma::open(server.display()));
    Platform::setInstance(std::move(platform));
    std::printf("  display %s, CRTC gamma size %d\n", qPrintable(server.display()),
                crtcs.front().gammaSize);

    constexpr int kPushes = 3000;
    OverlayWindowController engine;
    engine.applyGamma(3400.0, 4.0, 1.0); // fills the display cache, takes the originals

    // Interleave the two measurements so both see the same server load.
    double bare = 0, engineRate = 0, bareCpu = 0, engineCpuPush = 0;
    for (int round = 0; round < 3; ++round) {
        double cpu0 = cpuSeconds();
        bare += bareRate(server.display(), crtcs.front().id, kPushes / 3);
        bareCpu += cpuSeconds() - cpu0;
        QElapsedTimer t;
        t.start();
        cpu0 = cpuSeconds();
        for (int i = 0; i < kPushes / 3; ++i)
            engine.applyGamma(3400.0 + (i % 100), 4.0, 0.9);
        engineCpuPush += cpuSeconds() - cpu0;
        engineRate += (kPushes / 3) / (t.nsecsElapsed() / 1e9);
    }
    bare /= 3;
    engineRate /= 3;
    std::printf("  bare RandR set-gamma + sync:  %8.0f pushes/s  (%.3f ms each)\n", bare,
                1000.0 / bare);
    std::printf("  applyGamma, one display:      %8.0f pushes/s  (%.3f ms each)\n", engineRate,
                1000.0 / engineRate);
    // The client's own CPU per push (the server's share is not in it) varies less
    // with the machine's load than the round trip does.
    std::printf("  client CPU per push:          %8.1f us bare, %.1f us applyGamma\n",
                bareCpu * 1e6 / kPushes, engineCpuPush * 1e6 / kPushes);
    std::printf("  cost applyGamma / bare:       %8.2fx (target <= 1.40x)\n", bare / engineRate);

    // A one-second brightness ramp: 60 frames, each writing the stored brightness
    // and re-applying the overlays, as the value ramp does (inside a write burst).
    // The CPU counted includes what the writes set off in the 0.4 s after the last frame
    // (deferred saves, the file watcher's re-read).
    UserDefaults& defaults = store.defaults();
    defaults.setBool(PrefKey::enabled, true);
    defaults.setDouble(PrefKey::temperature, 3400.0);
    defaults.setDouble(PrefKey::intensity, 4.0);
    QEventLoop settle;
    QTimer::singleShot(400, &settle, &QEventLoop::quit);
    settle.exec();
    SaveCounter saves(defaults.filePath());
    int frames = 0;
    double engineCpu = 0;
    QEventLoop loop;
    QTimer frame;
    frame.setTimerType(Qt::PreciseTimer);
    QObject::connect(&frame, &QTimer::timeout, [&] {
        defaults.setDouble(PrefKey::brightness, 1.0 - 0.5 * frames / 59.0);
        const double before = cpuSeconds();
        engine.updateOverlays();
        engineCpu += cpuSeconds() - before;
        saves.look();
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
    const double rampMs = wall.nsecsElapsed() / 1e6;
    QTimer::singleShot(400, &settle, &QEventLoop::quit);
    settle.exec();
    saves.look();
    const double cpu = cpuSeconds() - cpuStart;
    std::printf("  60 Hz ramp, %d frames in %.0f ms wall: %.1f ms CPU in all (%.2f%% of a core), "
                "%.1f ms of it in updateOverlays, %d settings saves\n",
                frames, rampMs, cpu * 1000.0, cpu * 100.0 / (rampMs / 1000.0), engineCpu * 1000.0,
                saves.saves);
    return 0;
}
