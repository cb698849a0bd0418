#pragma once

#include "core/Clock.h"
#include "warmth/SunsetScheduler.h"

#include <functional>
#include <optional>

// Decides what the application does with each state the schedule announces: it
// respects a manual override until the schedule's next transition, refuses to lower a
// warmth the user chose beyond anything the schedule reached in its current warm
// stretch, and otherwise turns the tint on at the scheduled warmth or turns it off.
// Also holds the manual-override pin rule and the schedule-setting reactions, so the
// shell and the settings windows share one rule. Main thread only.
class ScheduleAnnouncementHandler {
public:
    // What the handler does to the rest of the application; the shell installs them.
    // An empty action is skipped.
    struct Actions {
        // Stops running warmth ramps and ambient warmth moves before a direct write.
        std::function<void()> yieldWarmthToDirectWrite;
        // Mirrors the on/off state into the popover's model (its change handler re-applies).
        std::function<void(bool enabled)> setViewModelEnabled;
        // Pushes a warmth to the gamma tables without storing it.
        std::function<void(double kelvin, double intensity, double brightness)> applyGamma;
        // Keyboard harmony follows a pushed intensity (only called with harmony on).
        std::function<void(double intensity)> harmonyWarmthChanged;
        // Full re-application from the stored settings.
        std::function<void()> updateOverlays;
        std::function<void()> updateMenuBarIconColor;
    };

    // A warmth as the gamma engine takes it: intensity on the 0..4 scale.
    struct ScheduledWarmth {
        double kelvin;
        double intensity;
        bool operator==(const ScheduledWarmth&) const = default;
    };

    enum class Outcome { ignored, held, appliedWarm, appliedCool };

    static constexpr double intensityScale = 4.0;
    static constexpr double tolerance = 1.0 / 255.0;

    ScheduleAnnouncementHandler(SunsetScheduler& engine, Actions actions,
                                Clock& clock = Clock::system());
    ~ScheduleAnnouncementHandler();
    ScheduleAnnouncementHandler(const ScheduleAnnouncementHandler&) = delete;
    ScheduleAnnouncementHandler& operator=(const ScheduleAnnouncementHandler&) = delete;

    // Launch wiring: installs the engine's callbacks (announcements and location
    // errors) and starts the engine when a schedule is on.
    void install();

    // One announcement.
    Outcome handle(const WarmthState& state);

    // The user took manual control (warmth, on/off, a preset, a reload): while a
    // schedule is on, pin an override tagged with whether the schedule is warm now.
    // Run it after the new warmth is stored and before a new on/off value is.
    void pinManualOverride();

    // The system woke, or its clock or time zone changed, while a schedule runs: the
    // next announcement is made even if it repeats the last state, and is obeyed. A
    // look-back from the new time would stop at a cool stretch the screen never showed
    // and keep the old warmth all day.
    void timeMovedAbruptly();

    // The sun-following setting changed to `on`.
    void autoSunsetChanged(bool on);
    // The point schedule or its switch changed; announces even an unchanged state.
    void scheduleChanged();

    // The scheduled warmth last put on screen, until a cool state replaces it (a held
    // announcement changes nothing).
    std::optional<ScheduledWarmth> lastAppliedWarmth() const { return m_lastApplied; }
    // What a full re-application must push instead of the stored warmth: the last
    // applied scheduled warmth while the schedule governs (a schedule on, its last
    // applied state warm, no manual override). Absent otherwise: use the stored values.
    std::optional<ScheduledWarmth> scheduledWarmthForReapplication() const;

private:
    void applyWarm(double kelvin, double intensity);
    void applyCool();
    void startOrStopEngine(bool on);
    bool showsLastAppliedWarmth(const DisplayTint& displayed) const;

    SunsetScheduler& m_engine;
    Actions m_actions;
    Clock& m_clock;
    std::optional<ScheduledWarmth> m_lastApplied;
    bool m_installed = false;
    bool m_afterTimeJump = false;
};
