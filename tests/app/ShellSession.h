#pragma once

// A private X server with a tray host, temporary settings and state folders, and the
// real application started in them.
#include "core/Preferences.h"
#include "support/DisplayDriver.h"
#include "support/XorgServer.h"
#include "warmth/ColorTemperature.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>

using Ramps = XorgServer::Ramps;

class ShellSession : public ::testing::Test {
protected:
    void SetUp() override {
        QString why;
        if (!XorgServer::isAvailable(&why)) GTEST_SKIP() << why.toStdString();
        ASSERT_TRUE(m_server.start()) << m_server.errorString().toStdString();
        const auto crtcs = m_server.activeCrtcs();
        ASSERT_FALSE(crtcs.empty());
        m_crtc = crtcs.front();
        startTrayHost();
    }

    void TearDown() override {
        for (auto& p : m_apps) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(2000);
            }
        }
        if (m_tray) {
            m_tray->terminate();
            m_tray->waitForFinished(2000);
        }
    }

    void startTrayHost() {
        if (QStandardPaths::findExecutable(QStringLiteral("trayer")).isEmpty()) return;
        m_tray = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_server.display());
        m_tray->setProcessEnvironment(env);
        m_tray->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_tray->start(QStringLiteral("trayer"),
                      {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                       QStringLiteral("right"), QStringLiteral("--height"), QStringLiteral("24")});
        m_tray->waitForStarted(3000);
    }

    QString settingsPath() const {
        return m_config.path() + QStringLiteral("/halcyra/settings.json");
    }

    // Replaces the file in one step, so a running application never reads half of it.
    void writeSettings(const QJsonObject& values) {
        QDir().mkpath(m_config.path() + QStringLiteral("/halcyra"));
        QSaveFile f(settingsPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QJsonDocument(values).toJson());
        ASSERT_TRUE(f.commit());
    }

    QJsonObject readSettings() const {
        QFile f(settingsPath());
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QJsonDocument::fromJson(f.readAll()).object();
    }

    // The dummy server's keyboard has no brightness keys; a laptop's has them here.
    // Skips the test where the X tools that press and map keys are missing.
    void mapBrightnessKeys() {
        for (const char* tool : {"xdotool", "xmodmap"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                GTEST_SKIP() << tool << " is not installed";
        bool ok = false;
        display().run(QStringLiteral("xmodmap"),
                      {QStringLiteral("-e"), QStringLiteral("keycode 232 = XF86MonBrightnessDown"),
                       QStringLiteral("-e"), QStringLiteral("keycode 233 = XF86MonBrightnessUp")},
                      &ok);
        ASSERT_TRUE(ok);
    }

    void seedTint(double kelvin = 3400) {
        QJsonObject s = readSettings();
        s.insert(PrefKey::enabled, true);
        s.insert(PrefKey::temperature, kelvin);
        s.insert(PrefKey::intensity, 4.0);
        s.insert(PrefKey::brightness, 1.0);
        // Keep the first-run welcome and the hidden-icon hint out of the way.
        s.insert(PrefKey::welcomeShown, true);
        writeSettings(s);
    }

    // The same stored warmth with the tint switched off.
    void seedTintOff() {
        seedTint();
        QJsonObject s = readSettings();
        s.insert(PrefKey::enabled, false);
        writeSettings(s);
    }

    // `inChild` runs in the forked child just before the binary is executed.
    QProcess& launch(const QProcessEnvironment& extra = {},
                     const std::function<void()>& inChild = {}) {
        auto p = std::make_unique<QProcess>();
        if (inChild) p->setChildProcessModifier(inChild);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("HALCYRA_PLATFORM"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("HALCYRA_TEST_SNAPSHOT"));
        env.insert(QStringLiteral("DISPLAY"), m_server.display());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
        env.insert(QStringLiteral("XDG_STATE_HOME"), m_state.path());
        // The onboarding marker lives here, never in the real home.
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_state.path() + QStringLiteral("/data"));
        // No desktop session bus: notices are dropped, the tray is XEmbed.
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                   QStringLiteral("unix:path=") + m_state.path() + QStringLiteral("/no-bus"));
        for (const QString& key : extra.keys())
            env.insert(key, extra.value(key));
        p->setProcessEnvironment(env);
        p->start(QStringLiteral(HALCYRA_BINARY), {});
        EXPECT_TRUE(p->waitForStarted(5000));
        m_apps.push_back(std::move(p));
        return *m_apps.back();
    }

    // X tools (xdotool, import) against this session's server.
    DisplayDriver display() const { return DisplayDriver(m_server.display()); }

    // Starts the application with a 3400 K tint and opens its popover from the tray
    // icon. Skips the test where trayer, xdotool or import is missing; callers return
    // when the test is skipped or has failed.
    void launchAndOpenPopover(QProcess*& app, DisplayDriver::Popover& opened) {
        if (!m_tray) GTEST_SKIP() << "trayer is not installed";
        for (const char* tool : {"xdotool", "import"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                GTEST_SKIP() << tool << " is not installed";
        seedTint(3400);
        app = &launch();
        ASSERT_TRUE(waitForLog(*app, QStringLiteral("launch succeeded"))) << m_log.toStdString();
        opened = display().openPopoverFromTray(app->processId());
        ASSERT_TRUE(opened.failure.isEmpty()) << opened.failure.toStdString();
    }

    Ramps ramps() const { return m_server.crtcRamps(m_crtc.id).value_or(Ramps{}); }

    bool waitForRamps(const std::function<bool(const Ramps&)>& ok, int timeoutMs,
                      qint64* elapsedMs = nullptr) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < timeoutMs) {
            if (ok(ramps())) {
                if (elapsedMs) *elapsedMs = t.elapsed();
                return true;
            }
            QThread::msleep(10);
        }
        return false;
    }

    // The ramps' tops are `kelvin` at `intensity` (0..4), dimmed by `brightness`.
    static bool isTint(const Ramps& r, double kelvin, double intensity = 4.0,
                       double brightness = 1.0) {
        if (r.red.empty()) return false;
        const DisplayTint tint = ColorTemperature::blendedTint(kelvin, intensity);
        auto near = [brightness](quint16 v, double gain) {
            return std::abs(v / 65535.0 - gain * brightness) < 0.02;
        };
        return near(r.red.back(), tint.r) && near(r.green.back(), tint.g) &&
               near(r.blue.back(), tint.b);
    }

    // Waits for the log to contain `text`; the whole log so far is kept in m_log.
    bool waitForLog(QProcess& p, const QString& text, int timeoutMs = 5000) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < timeoutMs) {
            p.waitForReadyRead(50);
            m_log += QString::fromUtf8(p.readAllStandardError());
            if (m_log.contains(text)) return true;
            if (p.state() == QProcess::NotRunning) {
                m_log += QString::fromUtf8(p.readAllStandardError());
                return m_log.contains(text);
            }
        }
        return false;
    }

    // Ends the process with `signo` and checks that the signal ended it.
    void killAndExpectDeathBy(QProcess& p, int signo) {
        ::kill(pid_t(p.processId()), signo);
        ASSERT_TRUE(p.waitForFinished(5000));
        m_log += QString::fromUtf8(p.readAllStandardError());
        EXPECT_EQ(p.exitStatus(), QProcess::CrashExit) << m_log.toStdString();
        EXPECT_EQ(p.exitCode(), signo) << m_log.toStdString();
    }

    XorgServer m_server;
    XorgServer::Crtc m_crtc;
    std::unique_ptr<QProcess> m_tray;
    QTemporaryDir m_config;
    QTemporaryDir m_state;
    std::vector<std::unique_ptr<QProcess>> m_apps;
    QString m_log;
};

// Slightly dimmed ramps, so "restored" can be told apart from "reset to identity".
inline Ramps customOriginals(int size) {
    Ramps r = XorgServer::identityRamps(size);
    for (auto* ch : {&r.red, &r.green, &r.blue})
        for (auto& v : *ch)
            v = quint16(v * 0.9);
    return r;
}
