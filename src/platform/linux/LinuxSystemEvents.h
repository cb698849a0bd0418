#pragma once

#include "platform/SystemEvents.h"

#include <QString>
#include <limits>
#include <memory>

class QFileSystemWatcher;
class QSocketNotifier;

// Sleep and wake from systemd-logind's PrepareForSleep on the system bus, the
// screensaver from org.freedesktop.ScreenSaver's ActiveChanged on the session bus,
// wall-clock jumps from a timerfd that the kernel cancels when the clock is set, and
// time-zone changes from watching /etc/localtime. Display sleep has no portable
// source on X11 and is never reported here. Whatever bus is missing is skipped.
class LinuxSystemEvents final : public SystemEvents {
    Q_OBJECT
public:
    explicit LinuxSystemEvents(QObject* parent = nullptr);
    ~LinuxSystemEvents() override;

private slots:
    void onPrepareForSleep(bool sleeping);
    void onScreensaverActiveChanged(bool active);

private:
    void armClockWatch();
    void onClockFd();
    void onZoneFileChanged(bool zoneFileItself);

    int m_clockFd = -1;
    std::unique_ptr<QSocketNotifier> m_clockNotifier;
    std::unique_ptr<QFileSystemWatcher> m_zoneWatcher;
    QString m_zoneTarget;
};
