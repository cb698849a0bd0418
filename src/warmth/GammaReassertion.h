#pragma once

#include "core/FrameTimer.h"

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

class OverlayWindowController;

// Pushes the display state again at fixed delays after the system has disturbed the
// gamma tables (wake, display wake, the end of a screensaver, a reconfiguration): an
// immediate pass, a first pass after a short delay and a catch-up pass after that,
// which also reads the tables back. Every pass re-reads the on/off switch; with the
// tint off nothing is pushed. Main thread only.
class GammaReassertion : public QObject {
    Q_OBJECT
public:
    static constexpr double catchUpDelay = 1.2;
    static constexpr double systemWakeDelay = 0.5;
    static constexpr double displayWakeDelay = 0.3;
    static constexpr double screensaverStopDelay = 0.3;
    static constexpr double displaySettleDebounce = 0.5;

    using TimerFactory = std::function<std::unique_ptr<FrameTimer>()>;

    // `timers` makes the single-shot delays (default: timers on the main event loop).
    explicit GammaReassertion(OverlayWindowController& overlay, TimerFactory timers = {},
                              QObject* parent = nullptr);
    ~GammaReassertion() override;

    // Immediate pass now, first pass `initialDelay` seconds later, catch-up 1.2 s
    // after that. A first pass already queued is not cancelled, and each first pass
    // queues a catch-up of its own; a new call cancels only the newest catch-up.
    void scheduleGammaReassert(double initialDelay);
    // A reconfiguration was seen: one settle pass 0.5 s after the last of a burst.
    void displayConfigDidChange();

    int catchUpsPending() const;
    bool settlePending() const;
    int firstPassesPending() const;

private:
    void pass(const char* message, bool verify);
    std::unique_ptr<FrameTimer> makeTimer();
    static void reap(std::vector<std::unique_ptr<FrameTimer>>& timers);

    OverlayWindowController& m_overlay;
    TimerFactory m_timerFactory;
    std::vector<std::unique_ptr<FrameTimer>> m_firstPasses;
    std::vector<std::unique_ptr<FrameTimer>> m_catchUps;
    // The newest catch-up, the one a new call cancels; null when none is queued.
    FrameTimer* m_latestCatchUp = nullptr;
    std::unique_ptr<FrameTimer> m_settle;
};
