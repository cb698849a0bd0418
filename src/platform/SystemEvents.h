#pragma once

#include <QObject>

// Moments at which the system disturbs the displays or the clock: sleep and wake,
// display sleep and wake, the screensaver, wall-clock and time-zone changes.
// Signals are emitted on the main thread.
class SystemEvents : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~SystemEvents() override = default;

signals:
    void willSleep();
    void didWake();
    void screensDidSleep();
    void screensDidWake();
    void screensaverDidStart();
    void screensaverDidStop();
    void clockDidChange();
    void timeZoneDidChange();
};
