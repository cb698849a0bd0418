#include "ScheduleAnnouncementHandler.h"

#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "warmth/ColorTemperature.h"

#include <QLoggingCategory>
#include <algorithm>
#include <cmath>
#include <utility>

Q_LOGGING_CATEGORY(lcScheduleHandler, "com.halcyra.app.menubar")

namespace {

template <typename F, typename... Args> void call(const F& f, Args&&... args) {
    if (f) f(std::forward<Args>(args)...);
}

double meanAttenuation(const DisplayTint& t) {
    return ((1.0 - t.r) + (1.0 - t.g) + (1.0 - t.b)) / 3.0;
}

} // namespace

ScheduleAnnouncementHandler::ScheduleAnnouncementHandler(SunsetScheduler& engine, Actions actions,
                                                         Clock& clock)
    : m_engine(engine), m_actions(std::move(actions)), m_clock(clock) {}

ScheduleAnnouncementHandler::~ScheduleAnnouncementHandler() {
    // The engine outlives us; leave it no callback into a destroyed handler.
    if (m_installed) {
        m_engine.onStateChange = nullptr;
        m_engine.onLocationError = nullptr;
    }
}

void ScheduleAnnouncementHandler::install() {
    m_engine.onStateChange = [this](const WarmthState& state) { handle(state); };
    m_engine.onLocationError = [](const QString& message) {
        qInfo().noquote() << QStringLiteral("Location error: %1").arg(message);
    };
    m_installed = true;
    const Preferences& prefs = Preferences::shared();
    if (prefs.autoSunset() || prefs.useSchedule()) m_engine.start();
}

ScheduleAnnouncementHandler::Outcome ScheduleAnnouncementHandler::handle(const WarmthState& state) {
    const QDateTime now = m_clock.now();
    const DisplayTint displayed = DisplayedWarmth::recorded().value_or(DisplayTint::identity());
    const bool warm = state.isWarm();
    const bool afterTimeJump = std::exchange(m_afterTimeJump, false);

    const auto held = m_engine.manualOverride();
    if (held && held->takenDuringWarm == warm) {
        qCInfo(lcScheduleHandler).noquote() << QStringLiteral(
            "Schedule announcement ignored — manual override stands until the next transition");
        return Outcome::ignored;
    }

    bool apply = true;
    DisplayTint target = DisplayTint::identity();
    if (warm) {
        target = ColorTemperature::blendedTint(state.kelvin, state.intensity * intensityScale);
        const bool caughtUp = displayed.r + tolerance >= target.r &&
                              displayed.g + tolerance >= target.g &&
                              displayed.b + tolerance >= target.b;
        // Nothing to protect when time jumped, or when the warmth on screen is the
        // schedule's own (a jump the system did not report leaves it there).
        if (!caughtUp)
            apply = afterTimeJump || showsLastAppliedWarmth(displayed) ||
                    m_engine.hasBeenAtLeastAsWarm(displayed, now);
    }

    // The first announcement of the other phase ends an override, obeyed or not.
    if (held) m_engine.clearManualOverride();

    if (!apply) {
        // The tint stays as it is, and so does what a re-application pushes: forgetting
        // the scheduled warmth here would make the next one jump to the stored warmth.
        qCInfo(lcScheduleHandler).noquote()
            << QStringLiteral("Schedule announcement held — screen is already warmer (on-screen %1 "
                              "vs scheduled %2 "
                              "attenuation); the ramp has not caught up yet")
                   .arg(meanAttenuation(displayed), 0, 'f', 4)
                   .arg(meanAttenuation(target), 0, 'f', 4);
        return Outcome::held;
    }

    if (warm) {
        applyWarm(state.kelvin, state.intensity * intensityScale);
        return Outcome::appliedWarm;
    }
    applyCool();
    return Outcome::appliedCool;
}

bool ScheduleAnnouncementHandler::showsLastAppliedWarmth(const DisplayTint& displayed) const {
    if (!m_lastApplied) return false;
    const DisplayTint applied =
        ColorTemperature::blendedTint(m_lastApplied->kelvin, m_lastApplied->intensity);
    return std::abs(displayed.r - applied.r) <= tolerance &&
           std::abs(displayed.g - applied.g) <= tolerance &&
           std::abs(displayed.b - applied.b) <= tolerance;
}

void ScheduleAnnouncementHandler::timeMovedAbruptly() {
    if (!m_engine.isRunning()) return;
    m_afterTimeJump = true;
    m_engine.clearLastAssertedState();
}

void ScheduleAnnouncementHandler::applyWarm(double kelvin, double intensity) {
    // Recorded first: turning the tint on re-applies at once, and that re-application
    // must already show the scheduled warmth rather than the stored one.
    m_lastApplied = ScheduledWarmth{kelvin, intensity};
    call(m_actions.yieldWarmthToDirectWrite);
    UserDefaults::standard().setBool(PrefKey::enabled, true);
    call(m_actions.setViewModelEnabled, true);
    const Preferences& prefs = Preferences::shared();
    call(m_actions.applyGamma, kelvin, intensity, prefs.brightness());
    if (prefs.fullHarmonyEnabled()) call(m_actions.harmonyWarmthChanged, intensity);
    call(m_actions.updateMenuBarIconColor);
}

void ScheduleAnnouncementHandler::applyCool() {
    m_lastApplied.reset();
    UserDefaults::standard().setBool(PrefKey::enabled, false);
    call(m_actions.setViewModelEnabled, false);
    call(m_actions.updateOverlays);
    call(m_actions.updateMenuBarIconColor);
}

std::optional<ScheduleAnnouncementHandler::ScheduledWarmth>
ScheduleAnnouncementHandler::scheduledWarmthForReapplication() const {
    if (!m_lastApplied) return std::nullopt;
    const Preferences& prefs = Preferences::shared();
    if (!prefs.useSchedule() && !prefs.autoSunset()) return std::nullopt;
    if (m_engine.manualOverride()) return std::nullopt;
    return m_lastApplied;
}

void ScheduleAnnouncementHandler::pinManualOverride() {
    const Preferences& prefs = Preferences::shared();
    const bool points = prefs.useSchedule();
    if (!points && !prefs.autoSunset()) return;
    const QDateTime now = m_clock.now().toTimeZone(m_clock.timeZone());
    const WarmthState state =
        points ? SunsetScheduler::computePointScheduleState(now, SchedulePoint::stored(prefs))
               : m_engine.solarScheduleState(
                     now, std::min(prefs.temperature(), SunsetScheduler::solarWarmCeiling));
    m_engine.setManualOverride(ManualScheduleOverride{state.isWarm()});
}

void ScheduleAnnouncementHandler::startOrStopEngine(bool on) {
    if (on)
        m_engine.start();
    else
        m_engine.stop();
}

void ScheduleAnnouncementHandler::autoSunsetChanged(bool on) {
    m_engine.clearManualOverride();
    startOrStopEngine(on || Preferences::shared().useSchedule());
    m_engine.assertDesiredState(m_clock.now());
}

void ScheduleAnnouncementHandler::scheduleChanged() {
    m_engine.clearManualOverride();
    const Preferences& prefs = Preferences::shared();
    startOrStopEngine(prefs.useSchedule() || prefs.autoSunset());
    m_engine.clearLastAssertedState();
    m_engine.assertDesiredState(m_clock.now());
}
