#include "Clock.h"

#include <QElapsedTimer>

Clock& Clock::system() {
    static SystemClock clock;
    return clock;
}

QDateTime SystemClock::now() const { return QDateTime::currentDateTime(); }

QTimeZone SystemClock::timeZone() const { return QTimeZone::systemTimeZone(); }

qint64 SystemClock::monotonicMs() const {
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer.elapsed();
}

ManualClock::ManualClock(QDateTime start)
    : m_epochMs(start.toMSecsSinceEpoch()), m_zone(start.timeZone()) {}

QDateTime ManualClock::now() const { return QDateTime::fromMSecsSinceEpoch(m_epochMs, m_zone); }

void ManualClock::setNow(const QDateTime& t) {
    const qint64 ms = t.toMSecsSinceEpoch();
    if (ms > m_epochMs) m_monotonicMs += ms - m_epochMs;
    m_epochMs = ms;
    m_zone = t.timeZone();
}

void ManualClock::setTimeZone(const QTimeZone& zone) { m_zone = zone; }

void ManualClock::advanceMs(qint64 ms) {
    m_epochMs += ms;
    if (ms > 0) m_monotonicMs += ms;
}
