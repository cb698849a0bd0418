#pragma once

// The real application on a GNOME-like session, in folders of its own: its settings,
// its launch with a chosen bus, compositor socket and X display, its log, and the
// record of a display's own ramps it keeps on disk.
#include "core/Preferences.h"
#include "support/FakeDisplayConfig.h"
#include "support/FakeWlrCompositor.h"
#include "support/XorgServer.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <csignal>
#include <gtest/gtest.h>
#include <unistd.h>

class MutterSession : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_runtime.isValid() && m_home.isValid());
        qputenv("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit());
        m_originalsPath = m_home.path() + QStringLiteral("/state/halcyra/gamma-originals.json");
    }
    void TearDown() override {
        for (auto& app : m_apps)
            if (app->state() != QProcess::NotRunning) {
                app->kill();
                app->waitForFinished(2000);
            }
    }

    // A panel of 256 entries and an external screen of 1024, each with its own curve.
    static std::vector<FakeDisplayConfig::Crtc> twoScreens() {
        FakeDisplayConfig::Crtc panel;
        panel.winsys = 51;
        panel.output = QStringLiteral("eDP-1");
        panel.own = FakeDisplayConfig::ownRamps(256, 1.08);
        FakeDisplayConfig::Crtc external;
        external.winsys = 52;
        external.output = QStringLiteral("HDMI-1");
        external.own = FakeDisplayConfig::ownRamps(1024, 0.93);
        return {panel, external};
    }

    void writeSettings(bool enabled) {
        const QString config = m_home.path() + QStringLiteral("/config/halcyra");
        ASSERT_TRUE(QDir().mkpath(config));
        QFile settings(config + QStringLiteral("/settings.json"));
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write(QStringLiteral("{\"%1\": %5, \"%2\": 3400, \"%3\": 4.0, \"%4\": true}")
                           .arg(PrefKey::enabled, PrefKey::temperature, PrefKey::intensity,
                                PrefKey::welcomeShown,
                                enabled ? QStringLiteral("true") : QStringLiteral("false"))
                           .toUtf8());
    }

    QProcess& launch(const QString& busAddress, const QString& waylandSocket,
                     const QString& x11Display = QString()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* key :
             {"DISPLAY", "HALCYRA_PLATFORM", "HALCYRA_TEST_SNAPSHOT", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(key));
        if (x11Display.isEmpty())
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        else
            env.insert(QStringLiteral("DISPLAY"), x11Display);
        // No compositor socket: an X11 session.
        if (!waylandSocket.isEmpty())
            env.insert(QStringLiteral("WAYLAND_DISPLAY"), waylandSocket);
        else
            env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.path() + QStringLiteral("/config"));
        env.insert(QStringLiteral("XDG_STATE_HOME"), m_home.path() + QStringLiteral("/state"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.path() + QStringLiteral("/data"));
        env.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("memory"));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
        auto app = std::make_unique<QProcess>();
        app->setProcessEnvironment(env);
        app->start(QStringLiteral(HALCYRA_BINARY), {});
        EXPECT_TRUE(app->waitForStarted(5000));
        m_apps.push_back(std::move(app));
        return *m_apps.back();
    }

    QString log(QProcess& app) {
        m_log += QString::fromUtf8(app.readAllStandardError());
        return m_log;
    }

    template <typename Pred> static bool eventually(Pred pred, int timeoutMs = 5000) {
        QElapsedTimer timer;
        timer.start();
        while (!pred()) {
            if (timer.elapsed() > timeoutMs) return false;
            QCoreApplication::processEvents();
            usleep(10000);
        }
        return true;
    }

    // A 3400 K tint: red at full, blue well below.
    static bool warm(const FakeDisplayConfig::Ramps& r) {
        return r.red.back() > 60000 && r.blue.back() < 45000 && r.blue.back() > 0;
    }

    // The record kept on disk for a display: its tinted mark and its saved red ramp.
    std::pair<bool, std::vector<quint16>> stored(quint32 display) const {
        QFile f(m_originalsPath);
        if (!f.open(QIODevice::ReadOnly)) return {};
        const QJsonObject o =
            QJsonDocument::fromJson(f.readAll())
                .object()
                .value(QStringLiteral("crtcs"))
                .toObject()
                .value(QStringLiteral("gnome-display-config/crtc-%1").arg(display))
                .toObject();
        const QByteArray bytes =
            QByteArray::fromBase64(o.value(QStringLiteral("red")).toString().toLatin1());
        std::vector<quint16> red(bytes.size() / 2);
        for (size_t i = 0; i < red.size(); ++i)
            red[i] = qFromLittleEndian<quint16>(bytes.constData() + i * 2);
        return {o.value(QStringLiteral("tinted")).toBool(), red};
    }

    QTemporaryDir m_runtime;
    QTemporaryDir m_home;
    QString m_originalsPath;
    std::vector<std::unique_ptr<QProcess>> m_apps;
    QString m_log;
};
