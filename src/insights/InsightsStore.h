#pragma once

#include "core/Clock.h"
#include "insights/InsightsLogic.h"

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <memory>
#include <optional>

class QTimer;

// Keeps one usage record per day, at most 90 days, in the settings store under
// "halcyra.insights.dailyRecords". Days are the Gregorian dates of the clock's time
// zone. Every change is saved at once. Main thread only.
class InsightsStore : public QObject {
    Q_OBJECT
public:
    static constexpr int maxRecords = 90;
    static constexpr int sampleIntervalMs = 60'000;

    // Created on first use over the standard store and the system clock.
    static InsightsStore& shared();

    // Loads the records from the standard store.
    explicit InsightsStore(Clock& clock = Clock::system(), QObject* parent = nullptr);
    ~InsightsStore() override;

    // Starts the one-minute sampling; later calls do nothing. The first sample comes
    // a minute after the start.
    void startSampling();
    bool isSampling() const { return m_timer != nullptr; }

    // One use of the preset called `name` on `now`'s day, whether or not the tint is on.
    void recordPresetUse(const QString& name, const QDateTime& now);
    // Adds a minute to today's record while the tint is on with some intensity. The
    // sampling timer calls it with the clock's time.
    void sample(const QDateTime& now);

    const QList<DailyInsight>& records() const { return m_records; }
    // The stored record of `date`'s day, or a zero record with its key (not stored).
    DailyInsight record(const QDateTime& date) const;
    // Stored records from n − 1 days before `date` up to `date`'s day, in stored order.
    QList<DailyInsight> lastDays(int n, const QDateTime& endingAt) const;
    QList<DailyInsight> monthDays(const QDateTime& of) const;
    // Seven (day key, protected hours) pairs ending with `now`'s day, oldest first.
    QList<QPair<QString, double>> dailyHoursLast7(const QDateTime& now) const;
    // "steady", "warmer" or "cooler" against last month; absent without warmth samples.
    std::optional<QString> kelvinTrendThisMonth(const QDateTime& now) const;

    QString dayKey(const QDateTime& date) const;

private:
    QDate localDate(const QDateTime& date) const;
    QList<DailyInsight> recordsOfMonth(const QDate& date) const;
    void upsert(const DailyInsight& record);
    void prune();
    void save();
    void load();

    Clock& m_clock;
    QTimer* m_timer = nullptr; // child of this store
    QList<DailyInsight> m_records;
};
