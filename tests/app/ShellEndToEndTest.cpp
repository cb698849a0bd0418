// The real binary under a private X server with a tray host.
#include "ShellSession.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QThread>
#include <sys/resource.h>
#include <sys/wait.h>

using ShellEndToEnd = ShellSession;

TEST_F(ShellEndToEnd, StoredTintAppearsAndTermGivesTheOriginalsBack) {
    const Ramps originals = customOriginals(m_crtc.gammaSize);
    ASSERT_TRUE(m_server.setCrtcRamps(m_crtc.id, originals));
    seedTint();
    // A runtime folder with no PipeWire server in it.
    const QString runtime = m_state.path() + QStringLiteral("/run");
    ASSERT_TRUE(QDir().mkpath(runtime));
    QFile::setPermissions(runtime,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment env;
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    QProcess& app = launch(env);
    EXPECT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 3400); }, 3000));
    ASSERT_TRUE(waitForLog(app, QStringLiteral("crash guard cleared — launch succeeded")));

    // Settled, with no cue played, no place asked for, no request sent, no GNOME and no
    // PipeWire server: the libraries of the services opened on first use stay out, and so
    // do GLib's settings threads.
    QThread::msleep(500);
    const QString proc = QStringLiteral("/proc/%1/").arg(app.processId());
    QFile maps(proc + QStringLiteral("maps"));
    ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
    const QByteArray mapped = maps.readAll();
    for (const char* library :
         {"libQt6Multimedia", "libpulse", "libgio-2.0", "libQt6Positioning", "libQt6Network",
          "libkrb5", "libproxy", "libhalcyra-sound", "libhalcyra-gnome", "libhalcyra-location",
          "libhalcyra-capture", "libhalcyra-network", "libpipewire"})
        EXPECT_FALSE(mapped.contains(library)) << library;
    // Nor does any font: the popover's view, the only text a start would lay out, waits
    // for the popover's first opening.
    EXPECT_TRUE(waitForLog(app, QStringLiteral("popover prepared contentSize={0, 0}")));
    for (const char* font : {".ttf", ".otf", ".pcf", ".pfb"})
        EXPECT_FALSE(mapped.contains(font)) << font;
    for (const QString& task :
         QDir(proc + QStringLiteral("task")).entryList(QDir::NoDotAndDotDot | QDir::Dirs)) {
        QFile comm(proc + QStringLiteral("task/") + task + QStringLiteral("/comm"));
        if (!comm.open(QIODevice::ReadOnly)) continue;
        const QByteArray name = comm.readAll().trimmed();
        EXPECT_NE(name, "gmain");
        EXPECT_NE(name, "dconf worker");
    }

    killAndExpectDeathBy(app, SIGTERM);
    EXPECT_EQ(ramps(), originals);
    EXPECT_TRUE(readSettings().value(PrefKey::enabled).toBool()); // the tint returns next time
}

TEST_F(ShellEndToEnd, InterruptHangUpAndQuitGiveTheOriginalsBackAndEndByTheSignal) {
    const Ramps originals = ramps();
    seedTint();
    const auto noCore = [] {
        const rlimit none{0, 0};
        ::setrlimit(RLIMIT_CORE, &none);
    };
    // HUP is what closing the terminal Halcyra was started from sends.
    for (const int signo : {SIGINT, SIGHUP, SIGQUIT}) {
        QProcess& app = launch({}, noCore);
        ASSERT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 3400); }, 3000)) << signo;
        ASSERT_TRUE(waitForLog(app, QStringLiteral("launch succeeded")));
        m_log.clear();
        killAndExpectDeathBy(app, signo);
        EXPECT_EQ(ramps(), originals) << signo;
    }

    // Started under nohup, a hang-up is ignored as asked and the tint stays.
    QProcess& kept = launch({}, [] { ::signal(SIGHUP, SIG_IGN); });
    ASSERT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 3400); }, 3000));
    ASSERT_TRUE(waitForLog(kept, QStringLiteral("launch succeeded")));
    ::kill(pid_t(kept.processId()), SIGHUP);
    EXPECT_FALSE(kept.waitForFinished(1000));
    EXPECT_TRUE(isTint(ramps(), 3400));
    killAndExpectDeathBy(kept, SIGTERM);
    EXPECT_EQ(ramps(), originals);
}

TEST_F(ShellEndToEnd, UsrOneReloadsAnEditedTemperature) {
    seedTint();
    QProcess& app = launch();
    ASSERT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 3400); }, 3000));
    ASSERT_TRUE(waitForLog(app, QStringLiteral("launch succeeded")));

    QJsonObject s = readSettings();
    s.insert(PrefKey::temperature, 2000.0);
    writeSettings(s);
    ::kill(pid_t(app.processId()), SIGUSR1);
    EXPECT_TRUE(waitForLog(app, QStringLiteral("SIGUSR1 received — reloading preferences")));
    EXPECT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 2000); }, 3000));
    QThread::msleep(200);
    EXPECT_EQ(app.state(), QProcess::Running);
    killAndExpectDeathBy(app, SIGTERM);
}

TEST_F(ShellEndToEnd, AfterAKilledRunTheTrueOriginalsComeBack) {
    const Ramps originals = customOriginals(m_crtc.gammaSize);
    ASSERT_TRUE(m_server.setCrtcRamps(m_crtc.id, originals));
    seedTint();
    QProcess& first = launch();
    ASSERT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 3400); }, 3000));
    ASSERT_TRUE(waitForLog(first, QStringLiteral("launch succeeded")));
    ::kill(pid_t(first.processId()), SIGKILL);
    ASSERT_TRUE(first.waitForFinished(3000));
    ASSERT_TRUE(isTint(ramps(), 3400)); // nobody restored anything

    m_log.clear();
    QProcess& second = launch();
    ASSERT_TRUE(waitForLog(second, QStringLiteral("launch succeeded")));
    ASSERT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 3400); }, 3000));
    killAndExpectDeathBy(second, SIGTERM);
    EXPECT_EQ(ramps(), originals);
}

TEST_F(ShellEndToEnd, ASecondInstanceLeavesAtOnceTouchingNothing) {
    seedTint();
    QProcess& first = launch();
    ASSERT_TRUE(waitForLog(first, QStringLiteral("launch succeeded")));
    ASSERT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 3400); }, 3000));
    const Ramps tinted = ramps();
    QThread::msleep(300); // the first copy's last launch writes reach the file within 100 ms
    QFile file(settingsPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray settingsBefore = file.readAll();
    file.close();
    const QDateTime modifiedBefore = QFileInfo(settingsPath()).lastModified();

    QProcess& second = launch();
    ASSERT_TRUE(second.waitForFinished(5000));
    const QString secondLog = QString::fromUtf8(second.readAllStandardError());
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(secondLog.contains(
        QStringLiteral("Duplicate Halcyra instance (pid %1 already running) — terminating this "
                       "copy before tap creation")
            .arg(first.processId())))
        << secondLog.toStdString();

    QThread::msleep(200);
    EXPECT_EQ(ramps(), tinted);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), settingsBefore);
    EXPECT_EQ(QFileInfo(settingsPath()).lastModified(), modifiedBefore);
    EXPECT_EQ(first.state(), QProcess::Running);
    killAndExpectDeathBy(first, SIGTERM);
}

TEST_F(ShellEndToEnd, PreSeededCrashGuardStartsInSafeMode) {
    QJsonObject s;
    s.insert(PrefKey::launchCrashGuard, true);
    s.insert(PrefKey::consecutiveCrashCount, 1);
    s.insert(PrefKey::welcomeShown, true);
    writeSettings(s);
    QProcess& app = launch();
    ASSERT_TRUE(waitForLog(app, QStringLiteral("crash guard cleared — launch succeeded")))
        << m_log.toStdString();
    for (const char* line : {"SAFE MODE ACTIVATED — 2 consecutive crashes detected",
                             "SAFE MODE — skipping DitheringController, AmbientLightController, "
                             "ALS monitoring",
                             "SAFE MODE — skipping BrightnessKeyInterceptor",
                             "SAFE MODE — skipping XDRBoostController",
                             "Running in SAFE MODE — advanced features disabled"})
        EXPECT_TRUE(m_log.contains(QString::fromUtf8(line))) << line;
    if (qEnvironmentVariableIsSet("SHELL_DUMP")) fprintf(stderr, "%s", qPrintable(m_log));
    killAndExpectDeathBy(app, SIGTERM);
    const QJsonObject after = readSettings();
    EXPECT_TRUE(after.value(PrefKey::safeMode).toBool());
    EXPECT_FALSE(after.value(PrefKey::launchCrashGuard).toBool());
}

TEST_F(ShellEndToEnd, TheEndOfTheXServerEndsHalcyraWithoutASignal) {
    seedTint();
    QProcess& app = launch();
    ASSERT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 3400); }, 3000));
    ASSERT_TRUE(waitForLog(app, QStringLiteral("launch succeeded")));
    const QString originals = m_state.path() + QStringLiteral("/halcyra/gamma-originals.json");
    ASSERT_TRUE(QFile::exists(originals));

    m_server.stop(); // what a logout does
    ASSERT_TRUE(app.waitForFinished(5000));
    m_log += QString::fromUtf8(app.readAllStandardError());
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit) << m_log.toStdString();
    EXPECT_EQ(app.exitCode(), 1) << m_log.toStdString();
    EXPECT_TRUE(m_log.contains(QStringLiteral("Display connection lost — ending with status 1")))
        << m_log.toStdString();
    const QJsonObject after = readSettings();
    EXPECT_TRUE(after.value(PrefKey::enabled).toBool());
    EXPECT_EQ(after.value(PrefKey::temperature).toDouble(), 3400);
    EXPECT_FALSE(after.value(PrefKey::launchCrashGuard).toBool());
    EXPECT_TRUE(QFile::exists(originals)); // the next start restores from it
}

TEST_F(ShellEndToEnd, TheStatusItemHasAButtonOnlyWithATrayHost) {
    if (!m_tray) GTEST_SKIP() << "trayer is not installed";
    QElapsedTimer hosted;
    hosted.start();
    while (!m_server.selectionOwned(QStringLiteral("_NET_SYSTEM_TRAY_S0")) &&
           hosted.elapsed() < 5000)
        QThread::msleep(20);
    seedTint();
    QProcess& withTray = launch();
    ASSERT_TRUE(waitForLog(withTray, QStringLiteral("launch succeeded")));
    ASSERT_TRUE(waitForLog(withTray, QStringLiteral("button=StatusButton(visible=true)")))
        << m_log.toStdString();
    EXPECT_FALSE(m_log.contains(QStringLiteral("QSystemTrayIcon has no button")));
    killAndExpectDeathBy(withTray, SIGTERM);

    m_tray->terminate();
    ASSERT_TRUE(m_tray->waitForFinished(3000));
    m_log.clear();
    QProcess& without = launch();
    ASSERT_TRUE(waitForLog(without, QStringLiteral("launch succeeded")));
    ASSERT_TRUE(waitForLog(without, QStringLiteral("button=nil"))) << m_log.toStdString();
    EXPECT_TRUE(m_log.contains(
        QStringLiteral("ERROR: QSystemTrayIcon has no button — registration failed")));
    killAndExpectDeathBy(without, SIGTERM);
}

TEST_F(ShellEndToEnd, AWaylandSessionIsToldOnceThatTheTintMayNotShow) {
    seedTint();
    QProcessEnvironment env;
    env.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("wayland-0"));
    QProcess& app = launch(env);
    ASSERT_TRUE(waitForLog(app, QStringLiteral("launch succeeded")));
    EXPECT_EQ(m_log.count(QStringLiteral("whose gamma ramps may never reach the screens")), 1)
        << m_log.toStdString();
    killAndExpectDeathBy(app, SIGTERM);
}

TEST_F(ShellEndToEnd, FourLaunchesKilledMidwayPutTheFifthInSafeMode) {
    seedTint();
    // Kills the next launch the moment the file shows its crash marker and counts; false
    // when the launch got through first (it then resets the counts: start over).
    auto killDuringLaunch = [&](int killedBefore) {
        const double previous = readSettings().value(PrefKey::lastLaunchTime).toDouble();
        QProcess& app = launch();
        auto underWay = [&] {
            const QJsonObject s = readSettings();
            return s.value(PrefKey::lastLaunchTime).toDouble() != previous &&
                   s.value(PrefKey::consecutiveCrashCount).toInt(-1) == killedBefore &&
                   s.value(PrefKey::launchCrashGuard).toBool();
        };
        QElapsedTimer t;
        t.start();
        while (!underWay() && t.elapsed() < 4000 && app.state() == QProcess::Running)
            QThread::usleep(300);
        ::kill(pid_t(app.processId()), SIGKILL);
        app.waitForFinished(5000);
        return underWay();
    };
    int killed = 0;
    for (int tries = 0; killed < 4 && tries < 8; ++tries)
        killed = killDuringLaunch(killed) ? killed + 1 : 0;
    ASSERT_EQ(killed, 4);

    QProcess& fifth = launch();
    ASSERT_TRUE(waitForLog(fifth, QStringLiteral("crash guard cleared — launch succeeded")))
        << m_log.toStdString();
    for (const char* line :
         {"CRASH LOOP DETECTED — ", "SAFE MODE ACTIVATED — 4 consecutive crashes detected",
          "SAFE MODE — skipping BrightnessKeyInterceptor",
          "Running in SAFE MODE — advanced features disabled"})
        EXPECT_TRUE(m_log.contains(QString::fromUtf8(line))) << line;
    killAndExpectDeathBy(fifth, SIGTERM);
}

TEST_F(ShellEndToEnd, ThePinnedBacklightLevelSurvivesAKillAndComesBackNextStart) {
    QJsonObject s;
    s.insert(PrefKey::enabled, true);
    s.insert(PrefKey::flickerFree, true); // pins the panel while the tint is on
    s.insert(PrefKey::welcomeShown, true);
    writeSettings(s);
    QProcessEnvironment simulated;
    simulated.insert(QStringLiteral("HALCYRA_PLATFORM"), QStringLiteral("simulated"));
    QProcess& pinned = launch(simulated);
    ASSERT_TRUE(waitForLog(pinned, QStringLiteral("Native brightness set to 1.000")));
    ::kill(pid_t(pinned.processId()), SIGKILL);
    ASSERT_TRUE(pinned.waitForFinished(5000));
    // The simulated panel starts at 0.7: that is the user's level.
    EXPECT_NEAR(readSettings().value(PrefKey::preBrightnessKeyNativeBrightness).toDouble(), 0.7,
                1e-6);

    s = readSettings();
    s.insert(PrefKey::flickerFree, false);
    writeSettings(s);
    m_log.clear();
    QProcess& next = launch(simulated);
    ASSERT_TRUE(waitForLog(next, QStringLiteral("Native brightness set to 0.700")))
        << m_log.toStdString();
    killAndExpectDeathBy(next, SIGTERM);
    EXPECT_FALSE(readSettings().contains(PrefKey::preBrightnessKeyNativeBrightness));
}

TEST(ShellSnapshotRoads, BothRoadsWriteTheirImages) {
    QTemporaryDir dir;
    auto run = [&dir](const char* mode, QString* err) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HALCYRA_TEST_SNAPSHOT"), QString::fromLatin1(mode));
        env.insert(QStringLiteral("HALCYRA_SNAPSHOT_DIR"), dir.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path() + QStringLiteral("/config"));
        env.insert(QStringLiteral("XDG_STATE_HOME"), dir.path() + QStringLiteral("/state"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(HALCYRA_BINARY), {});
        EXPECT_TRUE(p.waitForFinished(20000));
        *err = QString::fromUtf8(p.readAllStandardError());
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        return p.exitCode();
    };
    QString err;
    EXPECT_EQ(run("1", &err), 0);
    EXPECT_TRUE(err.endsWith(QStringLiteral("snapshot done — 6/6 slides\n"))) << err.toStdString();
    const QStringList slides = QDir(dir.path()).entryList(QDir::Files);
    EXPECT_EQ(slides.size(), 6);
    // Kept with the other test images, to be looked at after a run.
    const QString kept = QStringLiteral(HALCYRA_TEST_ARTIFACTS "/welcome-snapshot");
    QDir().mkpath(kept);
    for (const QString& slide : slides) {
        QFile::remove(kept + QLatin1Char('/') + slide);
        QFile::copy(dir.filePath(slide), kept + QLatin1Char('/') + slide);
    }

    EXPECT_EQ(run("scheduling", &err), 0);
    const QString path = dir.path() + QStringLiteral("/scheduling.png");
    EXPECT_TRUE(err.endsWith(QStringLiteral("scheduling snapshot wrote %1\n").arg(path)))
        << err.toStdString();
    const QImage image(path);
    EXPECT_EQ(image.width(), 1232); // 560 + 2 × 28 points, two pixels each
    EXPECT_GT(image.height(), 1000);
    QDir().mkpath(QStringLiteral(HALCYRA_TEST_ARTIFACTS));
    QFile::remove(QStringLiteral(HALCYRA_TEST_ARTIFACTS "/scheduling-snapshot.png"));
    QFile::copy(path, QStringLiteral(HALCYRA_TEST_ARTIFACTS "/scheduling-snapshot.png"));
    EXPECT_FALSE(QFile::exists(dir.path() + QStringLiteral("/config/halcyra/settings.json")));
}
