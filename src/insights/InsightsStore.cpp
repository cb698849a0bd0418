#include "InsightsStore.h"

#include "core/Preferences.h"
#include "core/UserDefaults.h"

#include <QLoggingCategory>
#include <QTimer>
#include <algorithm>

Q_LOGGING_CATEGORY(lcInsights, "com.halcyra.app.insights")

InsightsStore& InsightsStore::shared() {
    static InsightsStore* store = new InsightsStore(); // lives until the process ends
    return *store;
}

InsightsStore::InsightsStore(Clock& clock, QObject* parent) : QObject(parent), m_clock(clock) {
    load();
}

InsightsStore::~InsightsStore() = default;

void InsightsStore::startSampling() {
    if (m_timer) return;
    m_timer = new QTimer(this);
    m_timer->setInterval(sampleIntervalMs);
    // A few seconds of slack lets the system batch wake-ups; the sample counts a
    // minute whenever it lands.
    m_timer->setTimerType(Qt::CoarseTimer);
    connect(m_timer, &QTimer::timeout, this, [this] { sample(m_clock.now()); });
    m_timer->start();
}

QDate InsightsStore::localDate(const QDateTime& date) const {
    return date.toTimeZone(m_clock.timeZone()).date();
}

QString InsightsStore::dayKey(const QDateTime& date) const {
    return InsightsLogic::dayKey(localDate(date));
}

void InsightsStore::sample(const QDateTime& now) {
    const Preferences& prefs = Preferences::shared();
    if (!prefs.enabled() || !(prefs.intensity() > 0)) return;
    const bool scheduled = prefs.autoSunset() || prefs.useSchedule();
    DailyInsight r = record(now);
    r.protectedSeconds += 60;
    r.kelvinSum += prefs.temperature();
    r.kelvinSamples += 1;
    r.brightnessSum += prefs.brightness();
    r.brightnessSamples += 1;
    if (scheduled) r.scheduledSeconds += 60;
    upsert(r);
}

void InsightsStore::recordPresetUse(const QString& name, const QDateTime& now) {
    DailyInsight r = record(now);
    r.presetCounts[name] += 1;
    upsert(r);
}

DailyInsight InsightsStore::record(const QDateTime& date) const {
    const QString key = dayKey(date);
    for (const DailyInsight& r : m_records)
        if (r.day == key) return r;
    return DailyInsight::zero(key);
}

QList<DailyInsight> InsightsStore::lastDays(int n, const QDateTime& endingAt) const {
    const QDate end = localDate(endingAt);
    const QDate start = end.addDays(1 - qint64(n));
    if (!start.isValid()) return {};
    return InsightsLogic::days(m_records, InsightsLogic::dayKey(start), InsightsLogic::dayKey(end));
}

QList<DailyInsight> InsightsStore::monthDays(const QDateTime& of) const {
    return recordsOfMonth(localDate(of));
}

QList<DailyInsight> InsightsStore::recordsOfMonth(const QDate& d) const {
    const QString prefix = d.isValid() ? QString::asprintf("%04d-%02d-", d.year(), d.month())
                                       : QStringLiteral("0000-00-");
    QList<DailyInsight> out;
    for (const DailyInsight& r : m_records)
        if (r.day.startsWith(prefix)) out.append(r);
    return out;
}

QList<QPair<QString, double>> InsightsStore::dailyHoursLast7(const QDateTime& now) const {
    QList<QPair<QString, double>> out;
    const QDate today = localDate(now);
    for (int offset = -6; offset <= 0; ++offset) {
        const QDate day = today.addDays(offset);
        if (!day.isValid()) continue;
        const QString key = InsightsLogic::dayKey(day);
        double hours = 0;
        for (const DailyInsight& r : m_records) {
            if (r.day == key) {
                hours = r.protectedSeconds / 3600.0;
                break;
            }
        }
        out.append({key, hours});
    }
    return out;
}

std::optional<QString> InsightsStore::kelvinTrendThisMonth(const QDateTime& now) const {
    const QDate today = localDate(now);
    const QDate last = today.addMonths(-1);
    if (!last.isValid()) return std::nullopt;
    const auto a = InsightsLogic::averageKelvin(recordsOfMonth(today));
    const auto b = InsightsLogic::averageKelvin(recordsOfMonth(last));
    if (!a || !b) return std::nullopt;
    if (std::abs(*a - *b) < 100.0) return QStringLiteral("steady");
    // Fewer kelvin is a warmer screen.
    return *a < *b ? QStringLiteral("warmer") : QStringLiteral("cooler");
}

void InsightsStore::upsert(const DailyInsight& record) {
    auto it = std::find_if(m_records.begin(), m_records.end(),
                           [&](const DailyInsight& r) { return r.day == record.day; });
    if (it != m_records.end())
        *it = record;
    else
        m_records.append(record);
    prune();
    save();
}

void InsightsStore::prune() {
    if (m_records.size() <= maxRecords) return;
    std::stable_sort(m_records.begin(), m_records.end(),
                     [](const DailyInsight& a, const DailyInsight& b) { return a.day < b.day; });
    m_records.erase(m_records.begin(), m_records.begin() + (m_records.size() - maxRecords));
}

void InsightsStore::save() {
    UserDefaults::standard().setData(PrefKey::insightsDailyRecords,
                                     InsightsLogic::encode(m_records));
}

void InsightsStore::load() {
    const auto data = UserDefaults::standard().dataValue(PrefKey::insightsDailyRecords);
    if (!data) return;
    const InsightsLogic::Decoded decoded = InsightsLogic::decode(*data);
    if (!decoded.readable) {
        qCWarning(lcInsights).noquote()
            << "Stored insight records are unreadable — starting an empty history";
        return;
    }
    if (decoded.dropped > 0)
        qCWarning(lcInsights).noquote()
            << QStringLiteral("Dropped %1 unreadable insight record(s) — kept %2")
                   .arg(decoded.dropped)
                   .arg(decoded.records.size());
    m_records = decoded.records;
}
