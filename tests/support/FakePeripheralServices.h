#pragma once

// Fake desktop and system services for the peripheral backends: iio-sensor-proxy's
// light sensor, UPower's keyboard backlight, KWin's night colour and the desktop's
// notification service. State is atomic:
// the services answer on the bus thread while tests read them.
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <atomic>
#include <mutex>
#include <set>
#include <vector>

class FakeSensorProxy : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "net.hadess.SensorProxy")
    Q_PROPERTY(bool HasAmbientLight READ hasLight)
    Q_PROPERTY(QString LightLevelUnit READ unit)
    Q_PROPERTY(double LightLevel READ level)
public:
    bool hasLight() const { return present; }
    QString unit() const { return vendorUnits ? QStringLiteral("vendor") : QStringLiteral("lux"); }
    double level() const { return lux; }
    std::atomic<bool> present{true};
    std::atomic<bool> vendorUnits{false};
    std::atomic<double> lux{120.0};
    std::atomic<int> claims{0};
public slots:
    void ClaimLight() { ++claims; }
    void ReleaseLight() { --claims; }
};

class FakeUPowerKeyboard : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.UPower.KbdBacklight")
public:
    std::atomic<int> max{3};
    std::atomic<int> value{2};
public slots:
    int GetMaxBrightness() { return max; }
    int GetBrightness() { return value; }
    void SetBrightness(int v) { value = v; }
};

class FakeKWinNightLight : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.KWin.NightLight")
    Q_PROPERTY(bool available READ isAvailable)
    Q_PROPERTY(bool enabled READ isEnabled)
public:
    bool isAvailable() const { return true; }
    bool isEnabled() const { return enabled; }
    int inhibitions() {
        std::lock_guard lock(m_mutex);
        return int(m_cookies.size());
    }
    std::atomic<bool> enabled{true};
public slots:
    uint inhibit() {
        std::lock_guard lock(m_mutex);
        m_cookies.insert(++m_next);
        return m_next;
    }
    void uninhibit(uint cookie) {
        std::lock_guard lock(m_mutex);
        m_cookies.erase(cookie);
    }

private:
    std::mutex m_mutex;
    std::set<uint> m_cookies;
    uint m_next = 40;
};

class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Notice {
        QString appName, appIcon, summary;
        QVariantMap hints;
    };
    std::vector<Notice> notices() {
        std::lock_guard lock(m_mutex);
        return m_notices;
    }
public slots:
    uint Notify(const QString& appName, uint, const QString& appIcon, const QString& summary,
                const QString&, const QStringList&, const QVariantMap& hints, int) {
        std::lock_guard lock(m_mutex);
        m_notices.push_back({appName, appIcon, summary, hints});
        return uint(m_notices.size());
    }

private:
    std::mutex m_mutex;
    std::vector<Notice> m_notices;
};
