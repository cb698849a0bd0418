#include "app/CPUWatchdog.h"

#include <QLoggingCategory>
#include <algorithm>
#include <cmath>
#include <limits>

Q_LOGGING_CATEGORY(lcWatchdog, "com.halcyra.app.watchdog")

namespace {
constexpr double kDistantPast = -std::numeric_limits<double>::infinity();
}

CPUWatchdog& CPUWatchdog::shared() {
    static CPUWatchdog watchdog;
    return watchdog;
}

CPUWatchdog::CPUWatchdog(Clock& clock) : m_clock(clock), m_graceUntil(kDistantPast) {}

double CPUWatchdog::nowSeconds() const {
    return double(m_clock.monotonicMs()) / 1000.0;
}

bool CPUWatchdog::isGraced() const {
    return nowSeconds() < m_graceUntil;
}

void CPUWatchdog::noteExpectedBurst(double duration) {
    const double now = nowSeconds();
    const double windowStart = now - graceWindowSeconds;

    std::erase_if(m_graceGrants, [&](const GraceGrant& g) { return g.end() < windowStart; });

    double used = 0.0;
    for (const GraceGrant& g : m_graceGrants)
        used += std::max(0.0, g.end() - std::max(g.start, windowStart));

    // NaN asks for nothing.
    const double asked = std::isnan(duration) ? 0.0 : duration;
    const double grant = std::max(0.0, std::min(graceBudgetSeconds - used, asked));
    if (!(grant > 0.0)) {
        qCInfo(lcWatchdog).noquote()
            << QStringLiteral(
                   "Expected-burst grace DENIED — %1s/min cap exhausted; watchdog stays armed")
                   .arg(graceBudgetSeconds, 0, 'f', 0);
        return;
    }
    m_graceGrants.push_back({now, grant});
    m_graceUntil = std::max(m_graceUntil, now + grant);
    qCInfo(lcWatchdog).noquote()
        << QStringLiteral("Expected-burst grace granted: %1s").arg(grant, 0, 'f', 1);
}

void CPUWatchdog::stop() {
    samples.clear();
    graced.clear();
    m_graceUntil = kDistantPast;
    m_graceGrants.clear();
    isThrottled = false;
    isEmergencyDisabled = false;
}

void CPUWatchdog::clearEscalation() {
    samples.clear();
    graced.clear();
    isThrottled = false;
    isEmergencyDisabled = false;
}
