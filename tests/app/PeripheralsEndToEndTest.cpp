// The real binary with a fake room light, a fake night light (KWin on a private
// session bus) and a fake keyboard backlight (UPower on a private system bus).
#include "ShellSession.h"

#include "brightness/AmbientAdaptation.h"
#include "support/FakePeripheralServices.h"
#include "support/PrivateBus.h"

namespace {

class PeripheralsEndToEnd : public ShellSession {
protected:
    void SetUp() override {
        ShellSession::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        if (!m_system.isUp() || !m_session.isUp()) GTEST_SKIP() << "no dbus-daemon";
        m_kwin = new FakeKWinNightLight;
        m_upower = new FakeUPowerKeyboard;
        ASSERT_TRUE(m_session.serve(m_kwin, "org.kde.KWin", "/org/kde/KWin/NightLight"));
        ASSERT_TRUE(m_system.serve(m_upower, "org.freedesktop.UPower",
                                   "/org/freedesktop/UPower/KbdBacklight"));
        QFile lux(m_state.filePath("lux"));
        ASSERT_TRUE(lux.open(QIODevice::WriteOnly));
        lux.write("5\n");
    }
    void TearDown() override {
        ShellSession::TearDown();
        if (m_kwin) m_kwin->deleteLater();
        if (m_upower) m_upower->deleteLater();
    }

    QProcess& launchWithPeripherals() {
        QProcessEnvironment env;
        env.insert("HALCYRA_FAKE_LUX_FILE", m_state.filePath("lux"));
        env.insert("DBUS_SYSTEM_BUS_ADDRESS", m_system.address());
        env.insert("DBUS_SESSION_BUS_ADDRESS", m_session.address());
        // No GSettings schemas: where GNOME's (with its night light) is installed, it
        // would be taken before the KWin night colour these tests drive.
        env.insert("XDG_DATA_DIRS", m_state.filePath("no-data-dirs"));
        m_log.clear(); // each run's log is waited on alone
        return launch(env);
    }

    bool waitFor(const std::function<bool()>& ok, int timeoutMs) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < timeoutMs) {
            if (ok()) return true;
            QThread::msleep(20);
        }
        return false;
    }

    PrivateBus m_system;
    PrivateBus m_session;
    FakeKWinNightLight* m_kwin = nullptr;
    FakeUPowerKeyboard* m_upower = nullptr;
};

} // namespace

TEST_F(PeripheralsEndToEnd, FakeRoomLightDimsAndWarmsTheRampsWithinTwoPolls) {
    seedTint(3400);
    QJsonObject s = readSettings();
    s.insert(PrefKey::adaptToRoomLighting, true);
    writeSettings(s);
    auto setRoomLight = [&](const char* lux) {
        QFile file(m_state.filePath("lux"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(lux);
    };
    setRoomLight("300\n"); // a bright room: nothing to adapt
    QProcess& app = launchWithPeripherals();
    ASSERT_TRUE(waitForLog(app, QStringLiteral("ALS monitoring started"))) << m_log.toStdString();
    ASSERT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 3400); }, 3000));

    // The room goes dark: dimmed by the 5-lux factor at the next poll (the light moved
    // past the gate), warmed by the room's shift at the one after (each glides over 2 s).
    setRoomLight("5\n");
    const double kelvin =
        AmbientAdaptation::shiftedTemperature(3400, AmbientAdaptation::warmthShiftMired(5));
    const double brightness = AmbientAdaptation::dimFactor(5);
    EXPECT_TRUE(
        waitForRamps([&](const Ramps& r) { return isTint(r, kelvin, 4.0, brightness); }, 16000))
        << m_log.toStdString();
    const QJsonObject stored = readSettings();
    EXPECT_NEAR(stored.value(PrefKey::brightness).toDouble(), 0.85, 1e-6);
    killAndExpectDeathBy(app, SIGTERM);
}

TEST_F(PeripheralsEndToEnd, NightLightAndKeyboardComeBackOnSigtermAndAfterAKill) {
    seedTint(3400);
    QJsonObject s = readSettings();
    s.insert(PrefKey::fullHarmonyEnabled, true);
    writeSettings(s);
    m_upower->value = 2;

    QProcess& first = launchWithPeripherals();
    ASSERT_TRUE(waitForLog(first, QStringLiteral("launch succeeded"))) << m_log.toStdString();
    ASSERT_TRUE(waitFor([&] { return m_kwin->inhibitions() == 1 && m_upower->value == 0; }, 8000))
        << "inhibitions " << m_kwin->inhibitions() << " keyboard " << m_upower->value.load();
    killAndExpectDeathBy(first, SIGTERM);
    EXPECT_EQ(m_kwin->inhibitions(), 0);
    EXPECT_EQ(m_upower->value, 2);

    QProcess& second = launchWithPeripherals();
    ASSERT_TRUE(waitFor([&] { return m_kwin->inhibitions() == 1 && m_upower->value == 0; }, 8000));
    ASSERT_TRUE(waitForLog(second, QStringLiteral("launch succeeded")));
    ::kill(pid_t(second.processId()), SIGKILL);
    ASSERT_TRUE(second.waitForFinished(5000));
    EXPECT_EQ(m_kwin->inhibitions(), 1); // left behind by the killed run

    QProcess& third = launchWithPeripherals();
    ASSERT_TRUE(waitForLog(third, QStringLiteral("launch succeeded"))) << m_log.toStdString();
    ASSERT_TRUE(waitFor([&] { return m_upower->value == 0; }, 8000));
    killAndExpectDeathBy(third, SIGTERM);
    EXPECT_EQ(m_kwin->inhibitions(), 0) << m_log.toStdString();
    EXPECT_EQ(m_upower->value, 2) << m_log.toStdString();
}
