#pragma once

#include "core/Clock.h"

#include <QList>
#include <functional>
#include <vector>

// The application's guard against its own processor use. Work known to cost processor
// time for a moment announces itself with noteExpectedBurst(), and the watchdog grants
// a grace period out of a budget of 20 s in any rolling 60 s. It keeps the sample
// history with a graced flag per sample, two escalation flags and three hooks through
// which an escalation reaches the rest of the application. Main thread only.
class CPUWatchdog {
public:
    static constexpr double graceBudgetSeconds = 20.0;
    static constexpr double graceWindowSeconds = 60.0;

    struct GraceGrant {
        double start;    // seconds on the watchdog's clock
        double duration; // seconds
        double end() const { return start + duration; }
    };

    static CPUWatchdog& shared();
    explicit CPUWatchdog(Clock& clock = Clock::system());

    // Asks for a grace period of `duration` seconds from now; the outcome is logged.
    void noteExpectedBurst(double duration);
    // Clears the samples, the grace bookkeeping and both escalation flags. The hooks stay.
    void stop();
    // The user switched the tint back on after a pause: samples and flags are cleared,
    // the grace bookkeeping stays.
    void clearEscalation();

    // The end of the current grace period, in seconds on the watchdog's clock
    // (minus infinity when nothing was ever granted).
    double graceUntil() const { return m_graceUntil; }
    const std::vector<GraceGrant>& graceGrants() const { return m_graceGrants; }
    bool isGraced() const;

    QList<double> samples;
    QList<bool> graced;
    bool isThrottled = false;
    bool isEmergencyDisabled = false;

    std::function<void()> onThrottle;
    std::function<void()> onAutoDisable;
    std::function<void()> onEmergency;

private:
    double nowSeconds() const;

    Clock& m_clock;
    double m_graceUntil;
    std::vector<GraceGrant> m_graceGrants;
};
