// The wlroots gamma backend against a tiny compositor running on a thread of the
// test, on a private runtime directory.
#include "platform/linux/WlrDisplayGamma.h"
#include "core/Preferences.h"
#include "platform/SystemEvents.h"
#include "support/FakeWlrCompositor.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cmath>
#include <csignal>
#include <gtest/gtest.h>
#include <limits>
#include <pwd.h>
#include <unistd.h>

namespace {

// The backend's log lines, for what only the log tells.
QStringList& logged() {
    static QStringList lines;
    return lines;
}
class LogCapture {
public:
    LogCapture() {
        logged().clear();
        m_previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& text) { logged() << text; });
    }
    ~LogCapture() { qInstallMessageHandler(m_previous); }
    static bool has(const QString& part) {
        return std::any_of(logged().begin(), logged().end(),
                           [&](const QString& line) { return line.contains(part); });
    }

private:
    QtMessageHandler m_previous = nullptr;
};

class WlrGamma : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_runtime.isValid());
        qputenv("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit());
    }
    // A whole application on a loaded machine needs longer than the backend alone.
    template <typename Pred> static bool eventually(Pred pred, int ms = 3000) {
        QElapsedTimer timer;
        timer.start();
        while (!pred()) {
            if (timer.elapsed() > ms) return false;
            QCoreApplication::processEvents();
            usleep(5000);
        }
        return true;
    }
    QTemporaryDir m_runtime;
};

// The 16-bit value a table entry must become, worked out on its own.
quint16 level(const std::vector<float>& table, int j) {
    const double pos = double(j) * (table.size() - 1) / (kGammaSize - 1);
    const size_t lo = size_t(pos);
    const size_t hi = std::min(lo + 1, table.size() - 1);
    const double f = pos - double(lo);
    // On a table entry, that entry alone, whatever lies beside it.
    double v = f == 0 ? double(table[lo]) : table[lo] * (1.0 - f) + table[hi] * f;
    if (std::isnan(v)) v = 0;
    return quint16(std::lround(std::clamp(v, 0.0, 1.0) * 65535.0));
}

TEST_F(WlrGamma, FindsOutputsLoadsResampledTablesRestoresAndLetsGoWhenDestroyed) {
    FakeCompositor compositor({"DP-1", "eDP-1"}, true);
    auto gamma = WlrDisplayGamma::open(compositor.socket());
    ASSERT_NE(gamma, nullptr);

    const auto displays = gamma->onlineDisplays();
    ASSERT_TRUE(displays && displays->size() == 2);
    const DisplayId external = (*displays)[0], panel = (*displays)[1];
    EXPECT_EQ(gamma->outputName(external), QStringLiteral("DP-1"));
    EXPECT_EQ(gamma->mainDisplay(), external);
    EXPECT_FALSE(gamma->isBuiltin(external));
    EXPECT_TRUE(gamma->isBuiltin(panel));

    // Three entries stretched to 256, with a level out of range and a NaN (the first
    // entry, 0.3, lies right beside it).
    const std::vector<float> red = {0.0f, 0.5f, 1.0f};
    const std::vector<float> green = {0.1f, 1.7f, 0.3f};
    const std::vector<float> blue = {0.3f, std::numeric_limits<float>::quiet_NaN(), 0.9f};
    ASSERT_EQ(gamma->setTransferTables(external, red, green, blue), DisplayGamma::success);
    const FakeCompositor::OutputState seen = compositor.snapshot(0);
    ASSERT_EQ(seen.sets, 1);
    const std::vector<float>* tables[3] = {&red, &green, &blue};
    for (int c = 0; c < 3; ++c)
        for (int j = 0; j < kGammaSize; ++j)
            ASSERT_EQ(seen.last[c][j], level(*tables[c], j)) << "channel " << c << " entry " << j;

    std::vector<float> r, g, b;
    ASSERT_EQ(gamma->transferTables(external, 3, r, g, b), DisplayGamma::success);
    EXPECT_NEAR(r[1], 0.5f, 1e-4);
    EXPECT_NEAR(g[2], 0.3f, 1e-4);
    // Untouched outputs read as the identity.
    ASSERT_EQ(gamma->transferTables(panel, 256, r, g, b), DisplayGamma::success);
    EXPECT_NEAR(r[128], 128.0f / 255.0f, 1e-4);

    EXPECT_EQ(gamma->setTransferTables(external, red, green, {0.0f, 1.0f}),
              DisplayGamma::badArgument);
    EXPECT_EQ(gamma->setTransferTables(9999, red, green, blue), DisplayGamma::invalidDisplay);

    // Restore loads the straight ramp where a tint was, and leaves the panel alone.
    gamma->restoreColorSettings();
    const FakeCompositor::OutputState restored = compositor.snapshot(0);
    EXPECT_EQ(restored.sets, 2);
    EXPECT_EQ(restored.last[0][255], 65535);
    EXPECT_EQ(restored.last[1][1], 257);
    EXPECT_EQ(compositor.snapshot(1).sets, 0);

    ASSERT_NE(compositor.snapshot(0).control, nullptr);
    gamma.reset();
    EXPECT_TRUE(eventually([&] {
        return compositor.snapshot(0).control == nullptr &&
               compositor.snapshot(1).control == nullptr;
    }));
}

TEST_F(WlrGamma, FailedAndUnpluggedOutputsLeaveTheListAndAreAnnounced) {
    FakeCompositor compositor({"DP-1", "HDMI-A-1"}, true);
    auto gamma = WlrDisplayGamma::open(compositor.socket());
    ASSERT_NE(gamma, nullptr);
    const std::vector<DisplayId> displays = gamma->onlineDisplays().value();
    ASSERT_EQ(displays.size(), 2u);
    std::vector<DisplayReconfiguration> changes;
    QObject::connect(gamma.get(), &DisplayGamma::reconfigured,
                     [&](const DisplayReconfiguration& c) { changes.push_back(c); });

    compositor.fail(0);
    ASSERT_TRUE(eventually([&] { return gamma->onlineDisplays()->size() == 1; }));
    EXPECT_EQ(gamma->onlineDisplays()->front(), displays[1]);
    EXPECT_EQ(gamma->mainDisplay(), displays[1]);
    const std::vector<float> ramp = {0.0f, 0.8f};
    EXPECT_EQ(gamma->setTransferTables(displays[0], ramp, ramp, ramp),
              DisplayGamma::invalidDisplay);
    EXPECT_EQ(gamma->setTransferTables(displays[1], ramp, ramp, ramp), DisplayGamma::success);
    ASSERT_TRUE(eventually([&] { return !changes.empty(); }));
    EXPECT_TRUE(changes.front().displayRemoved);
    EXPECT_TRUE(changes.front().mainDisplayChanged);

    compositor.unplug(1);
    ASSERT_TRUE(eventually([&] { return gamma->onlineDisplays()->empty(); }));
    EXPECT_EQ(gamma->mainDisplay(), 0u);
    gamma->restoreColorSettings(); // nothing left to restore, and no crash
}

// Only the event loop runs while the compositor answers: the backend must have sent what
// an announcement asked for by itself.
TEST_F(WlrGamma, APluggedInOutputIsTintedAndARefusedOneIsAskedAgainOncePerEvent) {
    FakeCompositor compositor({"DP-1", "HDMI-A-1"}, true);
    LogCapture log;
    auto gamma = WlrDisplayGamma::open(compositor.socket());
    ASSERT_NE(gamma, nullptr);
    ASSERT_EQ(gamma->onlineDisplays()->size(), 2u);
    SystemEvents events;
    gamma->askAgainOn(events);
    std::vector<DisplayReconfiguration> changes;
    QObject::connect(gamma.get(), &DisplayGamma::reconfigured,
                     [&](const DisplayReconfiguration& c) { changes.push_back(c); });

    const int plugged = compositor.plug("DP-2");
    ASSERT_TRUE(eventually([&] {
        return compositor.snapshot(plugged).control != nullptr && !changes.empty();
    })) << "the new output's gamma control was never asked for";
    EXPECT_TRUE(changes.front().displayAdded);
    const std::vector<float> ramp = {0.0f, 0.7f};
    const DisplayId dp2 = gamma->onlineDisplays()->at(2);
    ASSERT_EQ(gamma->setTransferTables(dp2, ramp, ramp, ramp), DisplayGamma::success);
    EXPECT_EQ(compositor.snapshot(plugged).sets, 1);

    // Another program takes HDMI-A-1; unplugging DP-2 is a display change, so it is
    // asked once more (still refused), and the granted DP-1 not at all.
    compositor.refuse(1, true);
    compositor.fail(1);
    ASSERT_TRUE(eventually([&] { return gamma->onlineDisplays()->size() == 2; }));
    EXPECT_TRUE(LogCapture::has(QStringLiteral("refused gamma control of display HDMI-A-1")));
    EXPECT_FALSE(gamma->refusedEveryOutput());
    compositor.unplug(plugged);
    ASSERT_TRUE(eventually([&] { return compositor.snapshot(1).asks == 2; }));
    ASSERT_TRUE(eventually([&] { return gamma->onlineDisplays()->size() == 1; }));
    EXPECT_EQ(compositor.snapshot(0).asks, 1);

    // It lets go; the compositor says nothing, but the next wake asks and is granted.
    compositor.refuse(1, false);
    changes.clear();
    emit events.didWake();
    ASSERT_TRUE(eventually([&] { return !changes.empty() && changes.back().displayAdded; }));
    EXPECT_EQ(compositor.snapshot(1).asks, 3);
    ASSERT_EQ(gamma->onlineDisplays()->size(), 2u);
    const DisplayId hdmi = gamma->onlineDisplays()->at(1);
    EXPECT_EQ(gamma->outputName(hdmi), QStringLiteral("HDMI-A-1"));
    EXPECT_EQ(gamma->setTransferTables(hdmi, ramp, ramp, ramp), DisplayGamma::success);
    EXPECT_EQ(compositor.snapshot(1).sets, 1);
    EXPECT_TRUE(LogCapture::has(QStringLiteral("granted gamma control of display HDMI-A-1")));
    // Granted outputs are never asked again (the write's round trip lets the compositor
    // see all that was sent before it).
    emit events.screensaverDidStop();
    ASSERT_EQ(gamma->setTransferTables(hdmi, ramp, ramp, ramp), DisplayGamma::success);
    EXPECT_EQ(compositor.snapshot(1).asks, 3);

    // A refusal is said once per output, not at each new ask.
    compositor.refuse(1, true);
    compositor.fail(1);
    ASSERT_TRUE(eventually([&] { return gamma->onlineDisplays()->size() == 1; }));
    const int lines = int(logged().size());
    emit events.screensDidWake();
    ASSERT_TRUE(eventually([&] { return compositor.snapshot(1).asks == 4; }));
    for (int i = lines; i < int(logged().size()); ++i)
        EXPECT_FALSE(logged()[i].contains(QStringLiteral("refused"))) << logged()[i].toStdString();
}

// Real sway on its headless backend, started without outputs: its outputs have no
// gamma, so every control is refused, but it announces one created while it runs, and
// the refusal must come back with only the event loop running.
TEST_F(WlrGamma, RealSwayIsAskedAtOnceForAnOutputCreatedWhileRunning) {
    const QString sway = QStandardPaths::findExecutable(QStringLiteral("sway"));
    const QString swaymsg = QStandardPaths::findExecutable(QStringLiteral("swaymsg"));
    if (sway.isEmpty() || swaymsg.isEmpty()) GTEST_SKIP() << "sway is not installed";
    // sway refuses to run as root: drop to an unprivileged user for it.
    QStringList asUser;
    if (geteuid() == 0) {
        const passwd* nobody = getpwnam("nobody");
        const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        if (!nobody || setpriv.isEmpty())
            GTEST_SKIP() << "running as root without user nobody or setpriv to run sway as";
        ASSERT_EQ(chown(m_runtime.path().toLocal8Bit().constData(), nobody->pw_uid, nobody->pw_gid),
                  0);
        asUser = {setpriv, QStringLiteral("--reuid=%1").arg(nobody->pw_uid),
                  QStringLiteral("--regid=%1").arg(nobody->pw_gid),
                  QStringLiteral("--clear-groups")};
    }
    const QString configPath = m_runtime.filePath(QStringLiteral("sway.conf"));
    QFile config(configPath);
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write("xwayland disable\n");
    config.close();
    QProcessEnvironment env;
    env.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
    env.insert(QStringLiteral("HOME"), m_runtime.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    env.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
    env.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
    env.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
    env.insert(QStringLiteral("WLR_HEADLESS_OUTPUTS"), QStringLiteral("0"));
    auto command = [&](QProcess& process, QStringList args) {
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        args = asUser + args;
        const QString program = args.takeFirst();
        process.start(program, args);
    };
    QProcess compositor;
    command(compositor, {sway, QStringLiteral("-c"), configPath});
    struct Stop {
        QProcess& p;
        ~Stop() {
            p.terminate();
            if (!p.waitForFinished(5000)) p.kill();
            p.waitForFinished(2000);
        }
    } stop{compositor};
    QString socket, ipc;
    QElapsedTimer timer;
    timer.start();
    while ((socket.isEmpty() || ipc.isEmpty()) && timer.elapsed() < 10000 &&
           compositor.state() != QProcess::NotRunning) {
        compositor.waitForReadyRead(50);
        for (const QString& name : QDir(m_runtime.path()).entryList(QDir::System)) {
            if (name.startsWith(QLatin1String("wayland-")) &&
                !name.endsWith(QLatin1String(".lock")))
                socket = name;
            if (name.startsWith(QLatin1String("sway-ipc."))) ipc = m_runtime.filePath(name);
        }
    }
    if (socket.isEmpty() || ipc.isEmpty())
        GTEST_SKIP() << "sway did not start here: "
                     << QString::fromLocal8Bit(compositor.readAll()).right(600).toStdString();

    LogCapture log;
    auto gamma = WlrDisplayGamma::open(socket);
    ASSERT_NE(gamma, nullptr) << "sway offers the gamma control manager";
    // No output refused yet: the backend stays, to tint the first one plugged in.
    EXPECT_FALSE(gamma->refusedEveryOutput());
    EXPECT_TRUE(gamma->onlineDisplays()->empty());

    env.insert(QStringLiteral("SWAYSOCK"), ipc);
    QProcess create;
    command(create, {swaymsg, QStringLiteral("create_output")});
    ASSERT_TRUE(create.waitForFinished(5000));
    ASSERT_EQ(create.exitCode(), 0) << create.readAll().toStdString();
    EXPECT_TRUE(eventually([] {
        return LogCapture::has(QStringLiteral("refused gamma control of display HEADLESS-1"));
    })) << "the created output's gamma control was never asked for";
    EXPECT_TRUE(gamma->refusedEveryOutput()) << "a headless output has no gamma";
}

TEST_F(WlrGamma, NoBackendWithoutACompositorOrWithoutTheGammaManager) {
    FakeCompositor plain({"DP-1"}, false);
    EXPECT_EQ(WlrDisplayGamma::open(plain.socket()), nullptr);
    EXPECT_EQ(WlrDisplayGamma::open(QStringLiteral("halcyra-no-such-socket")), nullptr);
}

// The real application on a Wayland session without X11 picks this backend, tints
// the output and one plugged in later, and on SIGTERM loads the straight ramp and lets
// go of the controls. Where every output is refused it runs on simulated displays.
TEST_F(WlrGamma, TheApplicationTintsAWlrootsOutputAndHandsItBackOnSigterm) {
    QTemporaryDir home;
    const QString config = home.path() + QStringLiteral("/config/halcyra");
    ASSERT_TRUE(QDir().mkpath(config));
    QFile settings(config + QStringLiteral("/settings.json"));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write(
        QStringLiteral("{\"%1\": true, \"%2\": 3400, \"%3\": 4.0, \"%4\": true}")
            .arg(PrefKey::enabled, PrefKey::temperature, PrefKey::intensity, PrefKey::welcomeShown)
            .toUtf8());
    settings.close();

    auto launch = [&](QProcess& app, const QString& socket) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* key : {"DISPLAY", "HALCYRA_PLATFORM", "HALCYRA_TEST_SNAPSHOT"})
            env.remove(QString::fromLatin1(key));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), socket);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/config"));
        env.insert(QStringLiteral("XDG_STATE_HOME"), home.path() + QStringLiteral("/state"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/data"));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                   QStringLiteral("unix:path=") + home.path() + QStringLiteral("/no-bus"));
        app.setProcessEnvironment(env);
        app.start(QStringLiteral(HALCYRA_BINARY), {});
        return app.waitForStarted(5000);
    };
    auto tinted = [](const FakeCompositor::OutputState& o) {
        return o.sets > 0 && o.last[2][255] < 60000 && o.last[0][255] > o.last[2][255];
    };

    {
        FakeCompositor refusing({"DP-1"}, true);
        refusing.refuse(0, true);
        QProcess app;
        app.setProcessChannelMode(QProcess::MergedChannels);
        ASSERT_TRUE(launch(app, refusing.socket()));
        QString output;
        EXPECT_TRUE(eventually(
            [&] {
                output += QString::fromLocal8Bit(app.readAll());
                return output.contains(QStringLiteral(
                    "The compositor's gamma control offers no display whose gamma can be set — "
                    "running on simulated displays"));
            },
            15000))
            << output.toStdString();
        EXPECT_FALSE(output.contains(QStringLiteral("through the compositor's gamma control")));
        ::kill(pid_t(app.processId()), SIGTERM);
        ASSERT_TRUE(app.waitForFinished(5000));
        EXPECT_EQ(refusing.snapshot(0).sets, 0);
    }

    FakeCompositor compositor({"DP-1"}, true);
    QProcess app;
    app.setProcessChannelMode(QProcess::ForwardedChannels);
    ASSERT_TRUE(launch(app, compositor.socket()));
    ASSERT_TRUE(eventually([&] { return tinted(compositor.snapshot(0)); }, 15000));
    const int plugged = compositor.plug("HDMI-A-1");
    ASSERT_TRUE(eventually([&] { return tinted(compositor.snapshot(plugged)); }, 15000))
        << "the monitor plugged in while running was not tinted";
    ::kill(pid_t(app.processId()), SIGTERM);
    ASSERT_TRUE(app.waitForFinished(5000));
    for (int i : {0, plugged})
        EXPECT_EQ(compositor.snapshot(i).last[2][255], 65535) << "output " << i;
    EXPECT_TRUE(eventually([&] {
        return compositor.snapshot(0).control == nullptr &&
               compositor.snapshot(plugged).control == nullptr;
    }));
}

} // namespace
