#pragma once

#include <QDateTime>
#include <QTimeZone>

// Every component that reads the time asks an injected clock, so tests can set any
// instant and zone and step time exactly.
class Clock {
public:
    virtual ~Clock() = default;
    // Wall-clock time in the clock's time zone.
    virtual QDateTime now() const = 0;
    virtual QTimeZone timeZone() const = 0;
    // A steady millisecond counter for intervals; never goes backwards.
    virtual qint64 monotonicMs() const = 0;
    double secondsSince1970() const { return now().toMSecsSinceEpoch() / 1000.0; }

    // The process-wide real clock.
    static Clock& system();
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override;
    QTimeZone timeZone() const override;
    qint64 monotonicMs() const override;
};

// A clock that only moves when told to; for tests and snapshots.
class ManualClock final : public Clock {
public:
    explicit ManualClock(QDateTime start = QDateTime::fromSecsSinceEpoch(1'700'000'000, QTimeZone::utc()));
    QDateTime now() const override;
    QTimeZone timeZone() const override { return m_zone; }
    qint64 monotonicMs() const override { return m_monotonicMs; }

    void setNow(const QDateTime& t);
    void setTimeZone(const QTimeZone& zone);
    void advanceMs(qint64 ms);
    void advanceSeconds(double s) { advanceMs(qint64(s * 1000.0)); }

private:
    qint64 m_epochMs;
    qint64 m_monotonicMs = 0;
    QTimeZone m_zone;
};
