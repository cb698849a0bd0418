#include "app/CrashLoopGuard.h"

#include "core/Preferences.h"
#include "core/UserDefaults.h"

#include <QLoggingCategory>
#include <algorithm>

Q_LOGGING_CATEGORY(lcCrashGuard, "com.halcyra.app.menubar")

namespace {
// More launches than anyone makes in a crash loop: a larger or negative figure was
// written by hand or damaged, and is held to this range.
constexpr qint64 kCountCeiling = 1000;

qint64 storedCount(const UserDefaults& defaults, const QString& key) {
    return std::clamp<qint64>(defaults.integer(key), 0, kCountCeiling);
}
} // namespace

CrashLoopGuard::CrashLoopGuard(UserDefaults& defaults, Clock& clock)
    : m_defaults(defaults), m_clock(clock) {}

CrashLoopGuard::Outcome CrashLoopGuard::beginLaunch() {
    Outcome outcome;
    // The marker and the counts reach the disk together, in one save, before this
    // returns.
    const UserDefaults::Group group(m_defaults);

    const double now = m_clock.secondsSince1970();
    const double last = m_defaults.doubleNumber(PrefKey::lastLaunchTime);
    const qint64 count = storedCount(m_defaults, PrefKey::crashRecoveryCount);
    const double sinceLast = now - last;
    // A clock that went backwards (negative interval) says nothing about how quickly
    // the application was relaunched, so it never counts as a rapid relaunch.
    qint64 newCount = 0;
    if (last > 0 && sinceLast >= 0 && sinceLast < crashWindowSeconds) {
        newCount = count + 1;
        if (newCount >= crashLoopThreshold) {
            m_defaults.setBool(PrefKey::safeMode, true);
            qCCritical(lcCrashGuard).noquote()
                << QStringLiteral("CRASH LOOP DETECTED — %1 crashes in <30s, entering safe mode")
                       .arg(newCount);
            outcome.crashLoopDetected = true;
        }
    }
    m_defaults.setDouble(PrefKey::lastLaunchTime, now);
    m_defaults.setInteger(PrefKey::crashRecoveryCount, newCount);
    outcome.rapidRelaunchCount = int(newCount);

    if (m_defaults.boolean(PrefKey::launchCrashGuard)) {
        const qint64 n = storedCount(m_defaults, PrefKey::consecutiveCrashCount) + 1;
        m_defaults.setInteger(PrefKey::consecutiveCrashCount, n);
        if (n >= consecutiveCrashThreshold) {
            m_defaults.setBool(PrefKey::safeMode, true);
            qCCritical(lcCrashGuard).noquote()
                << QStringLiteral("SAFE MODE ACTIVATED — %1 consecutive crashes detected").arg(n);
        } else {
            qCCritical(lcCrashGuard).noquote()
                << QStringLiteral("crash guard was set — previous launch crashed (count: %1)")
                       .arg(n);
        }
        outcome.consecutiveCrashCount = int(n);
    } else {
        m_defaults.setInteger(PrefKey::consecutiveCrashCount, 0);
    }

    m_defaults.setBool(PrefKey::launchCrashGuard, true);
    outcome.safeMode = safeMode();
    return outcome;
}

void CrashLoopGuard::launchSucceeded() {
    const UserDefaults::Group group(m_defaults);
    m_defaults.setBool(PrefKey::launchCrashGuard, false);
    m_defaults.setInteger(PrefKey::crashRecoveryCount, 0);
    qCInfo(lcCrashGuard).noquote() << QStringLiteral("crash guard cleared — launch succeeded");
}

bool CrashLoopGuard::safeMode() const {
    return m_defaults.boolean(PrefKey::safeMode);
}

QString CrashLoopGuard::alertTitle() {
    return QStringLiteral("Halcyra Safe Mode");
}

QString CrashLoopGuard::alertMessage() {
    return QStringLiteral("Halcyra entered safe mode due to repeated crashes. All display features "
                          "have been disabled. You can re-enable features in Settings.");
}

QString CrashLoopGuard::noticeIdentifier() {
    return QStringLiteral("halcyra.safe-mode");
}
QString CrashLoopGuard::noticeTitle() {
    return QStringLiteral("Halcyra Safe Mode");
}

QString CrashLoopGuard::noticeBody() {
    return QStringLiteral(
        "Some features were disabled to prevent a crash. Open Settings to re-enable.");
}
