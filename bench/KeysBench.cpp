// The brightness keys of the real application under a private X server: the time
// from a key press (sent through XTest) to the first ramp frame on the CRTC, and the
// processor use of a held key (auto-repeat at 30 Hz for 5 s).
#include "BenchProcess.h"
#include "support/XorgServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

quint16 top(const XorgServer& server, unsigned long crtc) {
    const auto r = server.crtcRamps(crtc);
    return r && !r->blue.empty() ? r->blue.back() : 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::printf("KeysBench: brightness key to ramp, and a held key\n");
    const std::unique_ptr<XorgServer> started = XorgServer::startForBenchmark();
    if (!started) return 0;
    XorgServer& server = *started;
    const unsigned long crtc = server.activeCrtcs().front().id;

    QProcess::execute(QStringLiteral("env"),
                      {QStringLiteral("DISPLAY=") + server.display(), QStringLiteral("xmodmap"),
                       QStringLiteral("-e"), QStringLiteral("keycode 232 = XF86MonBrightnessDown"),
                       QStringLiteral("-e"), QStringLiteral("keycode 233 = XF86MonBrightnessUp")});
    Display* dpy = XOpenDisplay(server.display().toLocal8Bit().constData());
    if (!dpy) {
        std::printf("  no connection to the X server — figures skipped\n");
        return 0;
    }

    QTemporaryDir config, state;
    BenchProcess::writeSettings(
        config.path(),
        R"({"halcyra.enabled": true, "halcyra.temperature": 3400, "halcyra.intensity": 4,
            "halcyra.brightness": 1, "halcyra.welcomeShown": true,
            "halcyra.brightnessKeyInterception": true,
            "halcyra.menuBarHiddenHintShown": true})");
    const std::unique_ptr<QProcess> p =
        BenchProcess::launch(server.display(), config.path(), state.path());
    QThread::sleep(3); // launched, tinted, keys taken

    const KeyCode down = XKeysymToKeycode(dpy, XStringToKeysym("XF86MonBrightnessDown"));
    const KeyCode up = XKeysymToKeycode(dpy, XStringToKeysym("XF86MonBrightnessUp"));
    auto press = [&](KeyCode code) {
        XTestFakeKeyEvent(dpy, code, True, CurrentTime);
        XTestFakeKeyEvent(dpy, code, False, CurrentTime);
        XFlush(dpy);
    };

    // 1. Press to first frame: down and up in turn, each after the last has settled.
    std::vector<double> ms;
    for (int i = 0; i < 50; ++i) {
        const quint16 before = top(server, crtc);
        QElapsedTimer t;
        t.start();
        press(i % 2 ? up : down);
        while (top(server, crtc) == before && t.elapsed() < 1000)
            QThread::usleep(200);
        if (t.elapsed() < 1000) ms.push_back(t.nsecsElapsed() / 1e6);
        QThread::msleep(350);
    }
    std::sort(ms.begin(), ms.end());
    if (ms.empty())
        std::printf("  key press to first ramp frame: no frame seen (keys not taken?)\n");
    else
        std::printf("  key press to first ramp frame: median %.1f ms, min %.1f, max %.1f "
                    "(%zu of 50 presses; target < 20 ms)\n",
                    ms[ms.size() / 2], ms.front(), ms.back(), ms.size());

    // 2. A held key: presses at 30 Hz for 5 s, eight down then eight up, so the ramps
    // keep moving and the display stays up throughout.
    const qint64 pid = p->processId();
    const long long before = BenchProcess::cpuNanoseconds(pid);
    QElapsedTimer held;
    held.start();
    for (int i = 0; i < 150; ++i) {
        press((i / 8) % 2 ? up : down);
        const qint64 next = qint64((i + 1) * 1000.0 / 30.0);
        while (held.elapsed() < next)
            QThread::usleep(500);
    }
    const double seconds = held.nsecsElapsed() / 1e9;
    const double busy = double(BenchProcess::cpuNanoseconds(pid) - before) / 1e9;
    std::printf(
        "  held key at 30 Hz for %.1f s: %.2f %% of one core (%.0f ms busy; target <= 2 %%)\n",
        seconds, 100.0 * busy / seconds, busy * 1000.0);

    XCloseDisplay(dpy);
    BenchProcess::stop(*p);
    return 0;
}
