// The GNOME gamma path against the real compositor: `mutter --x11 --replace` on a
// private Xorg (dummy driver, two heads) and a private session bus, the ramps read
// back from the X server. Two figures, each beside mutter's own floor measured in the
// same run and the RandR path for reference:
//   - a mode set that resets a CRTC's ramps, until the tint is back on it; the floor
//     is a client that waits for mutter's MonitorsChanged and sends one fixed
//     SetCrtcGamma;
//   - process start to the tint on screen; the floor is a process (this one, started
//     with --launch-floor) that connects to the bus, calls GetResources once and
//     sends one SetCrtcGamma; beside it, the least a Qt tray application does before
//     the same push (BareTrayFloor --mutter: the toolkit up, a status icon shown);
//   - the backend's own share of that: in this process, from no bus connection to the
//     tint on screen through MutterDisplayGamma (open, one push), against the same
//     client's three steps.
#include "BenchProcess.h"
#include "platform/linux/MutterDisplayGamma.h"
#include "support/PrivateBus.h"
#include "support/RealMutter.h"
#include "support/XorgServer.h"
#include "warmth/ColorTemperature.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr double kelvin = 3400, intensity = 4;
const QString configPath = QStringLiteral("/org/gnome/Mutter/DisplayConfig");

struct Spread {
    std::vector<double> v;
    void add(double x) { v.push_back(x); }
    double median() {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0 : v[v.size() / 2];
    }
    QString text() {
        if (v.empty()) return QStringLiteral("-");
        std::sort(v.begin(), v.end());
        return QString::asprintf("%.1f / %.1f / %.1f", v.front(), median(), v.back());
    }
};

// The warm ramps the application writes for the tint above, scaled lines of `size`.
QVariantList warmRampArguments(int size) {
    const DisplayTint tint = ColorTemperature::blendedTint(kelvin, intensity);
    QVariantList out;
    for (double top : {tint.r, tint.g, tint.b}) {
        QList<ushort> ramp;
        for (int j = 0; j < size; ++j)
            ramp.append(ushort(std::lround(double(j) / (size - 1) * top * 65535.0)));
        out << QVariant::fromValue(ramp);
    }
    return out;
}

QDBusMessage call(const QDBusConnection& bus, const QString& method, const QVariantList& args) {
    QDBusMessage m = QDBusMessage::createMethodCall(RealMutter::serviceName, configPath,
                                                    RealMutter::serviceName, method);
    m.setArguments(args);
    return bus.call(m, QDBus::Block, 3000);
}

bool setCrtcGamma(const QDBusConnection& bus, uint serial, uint index, int size) {
    return call(bus, QStringLiteral("SetCrtcGamma"),
                QVariantList{serial, index} + warmRampArguments(size))
               .type() == QDBusMessage::ReplyMessage;
}

// The serial, and mutter's number for the CRTC whose X id is `xCrtc`.
std::pair<uint, int> serialAndIndex(const QDBusConnection& bus, unsigned long xCrtc) {
    const QDBusMessage reply = call(bus, QStringLiteral("GetResources"), {});
    if (reply.type() != QDBusMessage::ReplyMessage) return {0, -1};
    int found = -1;
    const QDBusArgument crtcs = reply.arguments().at(1).value<QDBusArgument>();
    crtcs.beginArray();
    while (!crtcs.atEnd()) {
        uint index = 0, transform = 0;
        qint64 winsys = 0;
        int x, y, w, h, mode;
        QList<uint> transforms;
        QVariantMap properties;
        crtcs.beginStructure();
        crtcs >> index >> winsys >> x >> y >> w >> h >> mode >> transform >> transforms >>
            properties;
        crtcs.endStructure();
        if (winsys == qint64(xCrtc)) found = int(index);
    }
    crtcs.endArray();
    return {reply.arguments().at(0).toUInt(), found};
}

// The floor of launch to tint, run as a process of its own.
int launchFloor(int index, int size) {
    const QDBusConnection bus = QDBusConnection::sessionBus();
    const uint serial = call(bus, QStringLiteral("GetResources"), {}).arguments().value(0).toUInt();
    return setCrtcGamma(bus, serial, uint(index), size) ? 0 : 1;
}

class X {
public:
    explicit X(const QString& display) : m_dpy(XOpenDisplay(display.toLocal8Bit().constData())) {}
    ~X() {
        if (m_dpy) XCloseDisplay(m_dpy);
    }
    bool ok() const { return m_dpy; }

    bool warm(unsigned long crtc) const {
        XRRCrtcGamma* gamma = XRRGetCrtcGamma(m_dpy, crtc);
        if (!gamma) return false;
        const double top = gamma->size > 0 ? gamma->blue[gamma->size - 1] / 65535.0 : -1;
        XRRFreeGamma(gamma);
        return std::abs(top - ColorTemperature::blendedTint(kelvin, intensity).b) < 0.02;
    }
    void reset(unsigned long crtc, int size) const {
        XRRCrtcGamma* gamma = XRRAllocGamma(size);
        for (int j = 0; j < size; ++j)
            gamma->red[j] = gamma->green[j] = gamma->blue[j] =
                ushort((j * 65535L + (size - 1) / 2) / (size - 1));
        XRRSetCrtcGamma(m_dpy, crtc, gamma);
        XRRFreeGamma(gamma);
    }
    // The ramps of `crtc` reset and its mode switched between 1024x768 and 800x600, as a
    // mode set that puts the straight ramps back does; returns once the server has both.
    bool resettingModeSet(unsigned long crtc, int size) {
        Window root = DefaultRootWindow(m_dpy);
        XRRScreenResources* res = XRRGetScreenResourcesCurrent(m_dpy, root);
        XRRCrtcInfo* info = XRRGetCrtcInfo(m_dpy, res, crtc);
        bool ok = false;
        if (info && info->noutput > 0) {
            const unsigned width = info->width == 1024 ? 800 : 1024;
            XRROutputInfo* output = XRRGetOutputInfo(m_dpy, res, info->outputs[0]);
            RRMode mode = 0;
            for (int i = 0; output && i < output->nmode && !mode; ++i)
                for (int k = 0; k < res->nmode; ++k)
                    if (res->modes[k].id == output->modes[i] && res->modes[k].width == width &&
                        res->modes[k].height == (width == 800 ? 600u : 768u))
                        mode = res->modes[k].id;
            if (mode) {
                reset(crtc, size);
                RROutput out = info->outputs[0];
                ok = XRRSetCrtcConfig(m_dpy, res, crtc, CurrentTime, info->x, info->y, mode,
                                      info->rotation, &out, 1) == RRSetConfigSuccess;
            }
            if (output) XRRFreeOutputInfo(output);
        }
        if (info) XRRFreeCrtcInfo(info);
        XRRFreeScreenResources(res);
        XSync(m_dpy, False);
        return ok;
    }
    void sync() const { XSync(m_dpy, False); }

private:
    Display* m_dpy;
};

bool xrandr(const QString& display, const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("xrandr"), QStringList{QStringLiteral("-display"), display} + args);
    return p.waitForFinished(10000) && p.exitCode() == 0;
}

void wait(int ms) {
    QEventLoop settle;
    QTimer::singleShot(ms, &settle, &QEventLoop::quit);
    settle.exec();
}

// Milliseconds until `done`, polled; negative after 5 s.
double until(const std::function<bool()>& done) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > 5000) return -1;
        QThread::usleep(300);
    }
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && qstrcmp(argv[1], "--launch-floor") == 0) {
        QCoreApplication app(argc, argv);
        qDBusRegisterMetaType<QList<ushort>>();
        return launchFloor(QByteArray(argv[2]).toInt(), QByteArray(argv[3]).toInt());
    }
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    qDBusRegisterMetaType<QList<ushort>>();
    std::printf("MutterGammaBench: GNOME's display configuration through real mutter --x11 on "
                "Xorg (dummy driver), load %s\n",
                qPrintable(BenchProcess::loadAverage()));
    if (RealMutter::executable().isEmpty()) {
        std::printf("  skipped: mutter is not installed\n");
        return 0;
    }
    const std::unique_ptr<XorgServer> started = XorgServer::startForBenchmark();
    if (!started) return 0;
    XorgServer& server = *started;
    xrandr(server.display(),
           {QStringLiteral("--addmode"), QStringLiteral("DUMMY1"), QStringLiteral("1024x768")});
    xrandr(server.display(),
           {QStringLiteral("--output"), QStringLiteral("DUMMY1"), QStringLiteral("--mode"),
            QStringLiteral("1024x768"), QStringLiteral("--right-of"), QStringLiteral("DUMMY0")});
    PrivateBus bus;
    RealMutter mutter;
    if (!bus.isUp() || !mutter.start(server.display(), bus.address())) {
        std::printf("  skipped: %s\n",
                    bus.isUp() ? qPrintable(mutter.errorString()) : "dbus-daemon is not installed");
        return 0;
    }
    const auto crtcs = server.activeCrtcs();
    const unsigned long crtc = crtcs.front().id;
    const int size = crtcs.front().gammaSize;
    std::printf("  %zu heads; the first CRTC (%lu, %d entries) is the one timed\n", crtcs.size(),
                crtc, size);
    X x(server.display());
    QDBusConnection client = bus.connect(QStringLiteral("floor"));
    const auto [firstSerial, index] = serialAndIndex(client, crtc);
    if (!x.ok() || index < 0) {
        std::printf("  skipped: mutter does not list the X server's CRTC %lu\n", crtc);
        return 0;
    }

    // The application with its folders of its own; on Wayland through GNOME's display
    // configuration (a compositor socket that does not exist), else through RandR.
    QTemporaryDir home;
    auto launchApp = [&](bool gnome) {
        const QString config = home.path() + QStringLiteral("/config");
        QDir(home.path()).removeRecursively();
        QDir().mkpath(config);
        BenchProcess::writeSettings(config,
                                    R"({"halcyra.enabled": true, "halcyra.temperature": 3400,
                        "halcyra.intensity": 4, "halcyra.brightness": 1,
                        "halcyra.welcomeShown": true, "halcyra.menuBarHiddenHintShown": true})");
        QProcessEnvironment extra;
        extra.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
        extra.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
        extra.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("memory"));
        if (gnome)
            extra.insert(QStringLiteral("WAYLAND_DISPLAY"),
                         QStringLiteral("halcyra-no-compositor"));
        return BenchProcess::launch(server.display(), config,
                                    home.path() + QStringLiteral("/state"), extra);
    };
    auto resetAll = [&] {
        for (const auto& c : server.activeCrtcs())
            x.reset(c.id, c.gammaSize);
        x.sync();
    };

    // 1. A resetting mode set until the tint is back, interleaved rounds of 5.
    uint serial = firstSerial;
    int floorRetries = 0;
    QEventLoop heard;
    client.connect(RealMutter::serviceName, configPath, RealMutter::serviceName,
                   QStringLiteral("MonitorsChanged"), &heard, SLOT(quit()));
    Spread retintFloor, retintGnome, retintRandR;
    constexpr int rounds = 4, perRound = 5;
    for (int round = 0; round < rounds; ++round) {
        for (int i = 0; i < perRound; ++i) {
            x.resettingModeSet(crtc, size);
            QElapsedTimer t;
            t.start();
            QTimer::singleShot(3000, &heard, &QEventLoop::quit);
            heard.exec();
            // The serial moves by one per change; a refusal costs a fresh one.
            if (!setCrtcGamma(client, ++serial, uint(index), size)) {
                ++floorRetries;
                serial = serialAndIndex(client, crtc).first;
                setCrtcGamma(client, serial, uint(index), size);
            }
            if (until([&] { return x.warm(crtc); }) >= 0) retintFloor.add(t.nsecsElapsed() / 1e6);
            wait(250);
        }
        for (bool gnome : {true, false}) {
            resetAll();
            auto p = launchApp(gnome);
            until([&] { return x.warm(crtc); });
            wait(500);
            for (int i = 0; i < perRound; ++i) {
                x.resettingModeSet(crtc, size);
                (gnome ? retintGnome : retintRandR).add(until([&] { return x.warm(crtc); }));
                wait(250);
            }
            BenchProcess::stop(*p);
        }
        serial = serialAndIndex(client, crtc).first;
    }
    std::printf("  a mode set that resets the ramps, until the tint is back (ms, min / median / "
                "max, n = %d):\n",
                rounds * perRound);
    std::printf("    GNOME path %s; mutter's floor (MonitorsChanged, one SetCrtcGamma) %s; "
                "ratio of medians %.2fx (target <= 1.5x)\n",
                qPrintable(retintGnome.text()), qPrintable(retintFloor.text()),
                retintGnome.median() / std::max(0.001, retintFloor.median()));
    std::printf("    RandR path %s%s\n", qPrintable(retintRandR.text()),
                floorRetries ? qPrintable(QStringLiteral("; the floor needed a fresh serial %1 "
                                                         "times")
                                              .arg(floorRetries))
                             : "");

    // 2. Process start to the tint on screen.
    Spread launchFloorMs, launchTray, launchGnome, launchRandR;
    const QProcessEnvironment floorEnv = [&] {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
        env.insert(QStringLiteral("DISPLAY"), server.display());
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        return env;
    }();
    const DisplayTint trayTint = ColorTemperature::blendedTint(kelvin, intensity);
    const QStringList trayArguments{QStringLiteral("--mutter"),  QString::number(index),
                                    QString::number(size),       QString::number(trayTint.r),
                                    QString::number(trayTint.g), QString::number(trayTint.b)};
    for (int round = 0; round < rounds; ++round) {
        for (int i = 0; i < perRound; ++i) {
            resetAll();
            QProcess floor;
            floor.setProcessEnvironment(floorEnv);
            QElapsedTimer t;
            t.start();
            floor.start(
                QCoreApplication::applicationFilePath(),
                {QStringLiteral("--launch-floor"), QString::number(index), QString::number(size)});
            if (until([&] { return x.warm(crtc); }) >= 0) launchFloorMs.add(t.nsecsElapsed() / 1e6);
            floor.waitForFinished(3000);
        }
        for (int i = 0; i < perRound; ++i) {
            resetAll();
            QProcess tray;
            tray.setProcessEnvironment(floorEnv);
            tray.setStandardErrorFile(QProcess::nullDevice());
            QElapsedTimer t;
            t.start();
            tray.start(QCoreApplication::applicationDirPath() + QStringLiteral("/BareTrayFloor"),
                       trayArguments);
            if (until([&] { return x.warm(crtc); }) >= 0) launchTray.add(t.nsecsElapsed() / 1e6);
            BenchProcess::stop(tray);
        }
        for (bool gnome : {true, false})
            for (int i = 0; i < perRound; ++i) {
                resetAll();
                QElapsedTimer t;
                t.start();
                auto p = launchApp(gnome);
                if (until([&] { return x.warm(crtc); }) >= 0)
                    (gnome ? launchGnome : launchRandR).add(t.nsecsElapsed() / 1e6);
                BenchProcess::stop(*p);
                wait(100);
            }
    }
    std::printf("  process start to the tint on screen (ms, min / median / max, n = %d):\n",
                rounds * perRound);
    std::printf("    GNOME path %s; mutter's floor (a process: bus, GetResources, one "
                "SetCrtcGamma) %s; ratio of medians %.2fx (target <= 1.5x)\n",
                qPrintable(launchGnome.text()), qPrintable(launchFloorMs.text()),
                launchGnome.median() / std::max(0.001, launchFloorMs.median()));
    std::printf("    bare Qt tray app through mutter %s = %.2fx mutter's floor; GNOME path %.2fx "
                "the tray app (what a Qt tray application cannot go below)\n",
                qPrintable(launchTray.text()),
                launchTray.median() / std::max(0.001, launchFloorMs.median()),
                launchGnome.median() / std::max(0.001, launchTray.median()));
    std::printf("    RandR path %s\n", qPrintable(launchRandR.text()));

    // 3. The backend's own share of launch to tint, in this process.
    QLoggingCategory::setFilterRules(QStringLiteral("com.halcyra.*.info=false"));
    const DisplayTint tint = ColorTemperature::blendedTint(kelvin, intensity);
    std::vector<float> red(256), green(256), blue(256);
    for (int j = 0; j < 256; ++j) {
        red[j] = float(j / 255.0 * tint.r);
        green[j] = float(j / 255.0 * tint.g);
        blue[j] = float(j / 255.0 * tint.b);
    }
    Spread openFloor, openGnome;
    int connection = 0;
    for (int round = 0; round < rounds; ++round)
        for (bool gnome : {false, true})
            for (int i = 0; i < perRound; ++i) {
                resetAll();
                QTemporaryDir store;
                const QString name = QStringLiteral("open-%1").arg(++connection);
                QElapsedTimer t;
                t.start();
                QDBusConnection first = QDBusConnection::connectToBus(bus.address(), name);
                std::unique_ptr<MutterDisplayGamma> gamma;
                if (gnome) {
                    gamma = MutterDisplayGamma::open(
                        first, QDBusConnection::connectToBus(bus.address(), name + "-signal"),
                        store.filePath(QStringLiteral("gamma-originals.json")));
                    if (gamma) gamma->setTransferTables(DisplayId(crtc), red, green, blue);
                } else {
                    const uint now = call(first, QStringLiteral("GetResources"), {})
                                         .arguments()
                                         .value(0)
                                         .toUInt();
                    setCrtcGamma(first, now, uint(index), size);
                }
                if (until([&] { return x.warm(crtc); }) >= 0)
                    (gnome ? openGnome : openFloor).add(t.nsecsElapsed() / 1e6);
                if (gamma) gamma->restoreColorSettings();
                gamma.reset();
                QDBusConnection::disconnectFromBus(name);
                QDBusConnection::disconnectFromBus(name + "-signal");
            }
    std::printf("  the backend's share of it, in one process (ms, min / median / max, n = %d):\n",
                rounds * perRound);
    std::printf("    bus connections, open and one push %s; mutter's floor (a connection, "
                "GetResources, one SetCrtcGamma) %s; ratio of medians %.2fx (target <= 1.5x)\n",
                qPrintable(openGnome.text()), qPrintable(openFloor.text()),
                openGnome.median() / std::max(0.001, openFloor.median()));
    std::printf("  load after: %s\n", qPrintable(BenchProcess::loadAverage()));
    return 0;
}
