#pragma once

#include "core/FrameTimer.h"

#include <QObject>
#include <functional>
#include <memory>

class ScreenCaptureProbe;

enum class CaptureSuspendAction { none, suspend, resume };

// Suspends at the first capture seen outside a held lock and resumes after three
// quiet polls in a row.
struct CaptureSuspendModel {
    bool suspended = false;
    int inactiveTicks = 0;
    static constexpr int resumeAfterInactiveTicks = 3;

    CaptureSuspendAction tick(bool captureActive, bool lockHeld);
};

// Watches the capture probe while the tint is on and tells its owner when to take the
// tint down for a capture and when to bring it back. It polls once a second while a
// capture is seen or being debounced, or when the probe cannot announce changes;
// otherwise it waits for the probe to announce one. Main thread.
class ScreenCaptureMonitor : public QObject {
    Q_OBJECT
public:
    static constexpr double pollInterval = 1.0;

    using TimerFactory = std::function<std::unique_ptr<FrameTimer>()>;
    // `lockHeld`: a session during which a capture must not take the tint down
    // (onboarding, the warmth sweep, the update window). `probe` null: the platform's.
    ScreenCaptureMonitor(std::function<bool()> lockHeld,
                         std::function<void(CaptureSuspendAction)> onAction,
                         ScreenCaptureProbe* probe = nullptr, TimerFactory timers = {},
                         QObject* parent = nullptr);
    ~ScreenCaptureMonitor() override;

    void start();
    // Back to idle without an action; the caller restores the display state itself.
    void stop();
    void tick();

    bool running() const { return m_started; }
    bool polling() const { return m_timer->isActive(); }
    const CaptureSuspendModel& model() const { return m_model; }

private:
    ScreenCaptureProbe& probe() const;
    bool captureActive();
    // Polls while a capture may be about, else listens when the probe can tell.
    void schedule();

    std::unique_ptr<FrameTimer> m_timer;
    CaptureSuspendModel m_model;
    std::function<bool()> m_lockHeld;
    std::function<void(CaptureSuspendAction)> m_onAction;
    ScreenCaptureProbe* m_probe;
    bool m_started = false;
    bool m_lastActive = false;
};
