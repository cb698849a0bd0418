#pragma once

#include "platform/SystemEvents.h"

#include <QString>
#include <limits>
#include <memory>

class QFileSystemWatcher;
class QSocketNotifier;
class QTimer;
struct _XDisplay;

// Sleep and wake from systemd-logind's PrepareForSleep on the system bus, the
// screensaver from org.freedesktop.ScreenSaver's (or org.gnome.ScreenSaver's)
// ActiveChanged on the session bus, display sleep and wake from the X server's DPMS
// power level (told by the server from DPMS 1.2 on, polled once a second on older
// servers, which send no event when it changes), wall-clock jumps from a
// timerfd that the kernel cancels when the clock is set, and time-zone changes from
// watching /etc/localtime. Whatever bus or server is missing is skipped. Nothing is
// watched before the first observer connects: until then no one would hear of it, and
// the buses and the X connection would cost the start-up before its first tint.
class LinuxSystemEvents final : public SystemEvents {
    Q_OBJECT
public:
    static constexpr int displayPowerPollMs = 1000;

    explicit LinuxSystemEvents(QObject* parent = nullptr);
    ~LinuxSystemEvents() override;

protected:
    void connectNotify(const QMetaMethod& signal) override;

private slots:
    void onPrepareForSleep(bool sleeping);
    void onScreensaverActiveChanged(bool active);

private:
    void startWatching();
    void armClockWatch();
    void onClockFd();
    void onZoneFileChanged(bool zoneFileItself);
    void startDisplayPowerWatch();
    void pollDisplayPower();
    // Asks a DPMS 1.2 server to tell of power level changes; false when it cannot.
    bool listenForDisplayPower();

    int m_clockFd = -1;
    std::unique_ptr<QSocketNotifier> m_clockNotifier;
    std::unique_ptr<QFileSystemWatcher> m_zoneWatcher;
    QString m_zoneTarget;
    _XDisplay* m_dpmsDisplay = nullptr;
    std::unique_ptr<QTimer> m_dpmsPoll;
    std::unique_ptr<QSocketNotifier> m_dpmsNotifier;
    bool m_displaysOn = true;
    bool m_watching = false;
};
