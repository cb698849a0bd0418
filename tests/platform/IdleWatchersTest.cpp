// The watchers that run while the application sits idle: they hear changes from the
// X server and the runtime folder instead of asking every second.
#include "platform/linux/LazyServiceProbes.h"
#include "platform/linux/LinuxSystemEvents.h"
#include "platform/linux/X11MediaKeyTap.h"
#include "platform/linux/services/PipeWireScreenCaptureProbe.h"
#include "support/XorgServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
// After gtest: Xlib's macros (None, Bool) clash with its names.
#include <X11/Xlib.h>
#include <X11/extensions/dpms.h>

namespace {

bool xset(const QString& display, const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("xset"), QStringList{QStringLiteral("-display"), display} + args);
    return p.waitForFinished(5000) && p.exitCode() == 0;
}

// How long until `done` holds, pumping events; -1 past `limitMs`.
qint64 msUntil(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > limitMs) return -1;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return t.elapsed();
}

// Voluntary context switches of each thread of this process but the main one.
std::map<QString, long long> helperThreadSwitches() {
    std::map<QString, long long> out;
    const QString self = QString::number(QCoreApplication::applicationPid());
    for (const QString& tid :
         QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (tid == self) continue;
        QFile status(QStringLiteral("/proc/self/task/%1/status").arg(tid));
        if (!status.open(QIODevice::ReadOnly)) continue;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("voluntary_ctxt_switches:"))
                out[tid] = line.mid(24).trimmed().toLongLong();
    }
    return out;
}

struct NoKeys : MediaKeyTapDelegate {
    bool handle(MediaKey, std::optional<KeyEvent>, std::optional<ModifierFlags>) override {
        return true;
    }
};

TEST(IdleWatchers, TheKeyTapSleepsUntilAKeyOrTheServerWakesIt) {
    XorgServer server;
    if (!server.start()) GTEST_SKIP() << server.errorString().toStdString();
    NoKeys delegate;
    X11MediaKeyTap tap(server.display(), &delegate, KeyPressMode::keyDown,
                       {MediaKey::brightnessUp, MediaKey::brightnessDown}, true);
    ASSERT_TRUE(tap.start());
    QThread::msleep(300); // started and settled
    const auto before = helperThreadSwitches();
    QThread::msleep(3500);
    const auto after = helperThreadSwitches();
    for (const auto& [tid, switches] : after) {
        const auto was = before.find(tid);
        if (was == before.end()) continue;
        EXPECT_LE(switches - was->second, 1)
            << "thread " << tid.toStdString() << " woke up while nothing happened";
    }
    tap.stop();
}

TEST(IdleWatchers, DisplaySleepAndWakeAreHeardAtOnceNotAtTheNextSecond) {
    XorgServer server;
    if (!server.start()) GTEST_SKIP() << server.errorString().toStdString();
    Display* dpy = XOpenDisplay(server.display().toLocal8Bit().constData());
    ASSERT_TRUE(dpy);
    int base = 0, error = 0;
    const bool capable = DPMSQueryExtension(dpy, &base, &error) && DPMSCapable(dpy);
    XCloseDisplay(dpy);
    if (!capable) GTEST_SKIP() << "this X server's driver has no display power levels";
    const QByteArray previous = qgetenv("DISPLAY");
    qputenv("DISPLAY", server.display().toLocal8Bit());
    ASSERT_TRUE(xset(server.display(), {QStringLiteral("+dpms")}));
    int sleeps = 0, wakes = 0;
    {
        LinuxSystemEvents events;
        QObject::connect(&events, &SystemEvents::screensDidSleep, [&] { ++sleeps; });
        QObject::connect(&events, &SystemEvents::screensDidWake, [&] { ++wakes; });
        // Three turns: a one-second poll would miss 250 ms at least once.
        for (int turn = 0; turn < 3; ++turn) {
            ASSERT_TRUE(xset(server.display(), {QStringLiteral("dpms"), QStringLiteral("force"),
                                                QStringLiteral("off")}));
            const qint64 slept = msUntil([&] { return sleeps == turn + 1; }, 3000);
            ASSERT_GE(slept, 0) << "the displays' sleep was not noticed";
            EXPECT_LT(slept, 250);
            ASSERT_TRUE(xset(server.display(), {QStringLiteral("dpms"), QStringLiteral("force"),
                                                QStringLiteral("on")}));
            const qint64 woke = msUntil([&] { return wakes == turn + 1; }, 3000);
            ASSERT_GE(woke, 0) << "the displays' wake was not noticed";
            EXPECT_LT(woke, 250);
        }
    }
    qputenv("DISPLAY", previous);
}

// Whether PipeWire's library has been set up in this process: it keeps its support
// plugin mapped from then on.
bool pipeWireLoaded() {
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libspa-support");
}

// A private runtime folder and no PipeWire server named for the span of a test; the
// environment it found comes back however the test ends.
class PipeWireRuntimeScope {
public:
    explicit PipeWireRuntimeScope(const QString& runtime) {
        for (const char* name : kNames)
            if (qEnvironmentVariableIsSet(name)) m_saved[name] = qgetenv(name);
        qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
        qunsetenv("PIPEWIRE_REMOTE");
        qunsetenv("PIPEWIRE_RUNTIME_DIR");
    }
    ~PipeWireRuntimeScope() {
        for (const char* name : kNames) {
            const auto it = m_saved.find(name);
            if (it == m_saved.end())
                qunsetenv(name);
            else
                qputenv(name, it->second);
        }
    }

private:
    static constexpr const char* kNames[] = {"XDG_RUNTIME_DIR", "PIPEWIRE_REMOTE",
                                             "PIPEWIRE_RUNTIME_DIR"};
    std::map<std::string, QByteArray> m_saved;
};

TEST(IdleWatchers, TheFirstQuestionLeavesConnectingToPipeWireToTheEventLoop) {
    if (pipeWireLoaded()) GTEST_SKIP() << "PipeWire was set up earlier in this process";
    QTemporaryDir runtime;
    const PipeWireRuntimeScope scope(runtime.path());
    {
        PipeWireScreenCaptureProbe probe;
        EXPECT_FALSE(probe.screenWatcherPresent().has_value()) << "no graph yet: it cannot tell";
        EXPECT_TRUE(probe.announcesChanges());
        EXPECT_FALSE(pipeWireLoaded()) << "the first question loaded PipeWire at once";
        // The next turn of the loop makes the connection.
        EXPECT_GE(msUntil([] { return pipeWireLoaded(); }, 3000), 0);
    }
}

TEST(IdleWatchers, ACaptureProbeWithoutAServerWaitsForItsSocketInsteadOfPolling) {
    QTemporaryDir runtime;
    const PipeWireRuntimeScope scope(runtime.path());
    {
        PipeWireScreenCaptureProbe probe;
        int told = 0;
        probe.setChangeHandler([&] { ++told; });
        EXPECT_FALSE(probe.screenWatcherPresent().has_value()) << "no server: it cannot tell";
        EXPECT_TRUE(probe.announcesChanges()) << "it watches for the server's socket";
        // A server starting puts its socket there: the listener hears of it, and the next
        // question tries to connect again at once instead of 30 s later.
        QFile socket(runtime.filePath(QStringLiteral("pipewire-0")));
        ASSERT_TRUE(socket.open(QIODevice::WriteOnly));
        socket.close();
        EXPECT_GE(msUntil([&] { return told > 0; }, 3000), 0);
    }
    {
        // Without any runtime folder no server can ever be reached: nothing to poll for.
        qunsetenv("XDG_RUNTIME_DIR");
        PipeWireScreenCaptureProbe probe;
        EXPECT_FALSE(probe.screenWatcherPresent().has_value());
        EXPECT_TRUE(probe.announcesChanges());
    }
}

TEST(IdleWatchers, TheCaptureModuleIsOpenedOnlyOnceAPipeWireServerIsThere) {
    QTemporaryDir runtime;
    const PipeWireRuntimeScope scope(runtime.path());
    const auto settle = [] { msUntil([] { return false; }, 150); };
    {
        // No server yet: PipeWire stays out, and the opening still counts as a change.
        LazyScreenCaptureProbe probe;
        EXPECT_TRUE(probe.announcesChanges());
        EXPECT_FALSE(probe.screenWatcherPresent().has_value());
        settle();
        EXPECT_FALSE(probe.opened()) << "opened with no server to watch";
        QFile socket(runtime.filePath(QStringLiteral("pipewire-0")));
        ASSERT_TRUE(socket.open(QIODevice::WriteOnly));
        socket.close();
        EXPECT_GE(msUntil([&] { return probe.opened(); }, 3000), 0) << "the server was missed";
    }
    {
        // The server already there: opened on the next turn, as before.
        LazyScreenCaptureProbe probe;
        EXPECT_TRUE(probe.announcesChanges());
        EXPECT_GE(msUntil([&] { return probe.opened(); }, 3000), 0);
    }
    {
        // No runtime folder at all: no server can ever be reached.
        qunsetenv("XDG_RUNTIME_DIR");
        LazyScreenCaptureProbe probe;
        EXPECT_TRUE(probe.announcesChanges());
        settle();
        EXPECT_FALSE(probe.opened());
    }
}

} // namespace
