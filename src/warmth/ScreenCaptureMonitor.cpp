#include "warmth/ScreenCaptureMonitor.h"

#include "platform/Platform.h"
#include "platform/ScreenCaptureProbe.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcCapture, "com.halcyra.app.capture-guard")

CaptureSuspendAction CaptureSuspendModel::tick(bool captureActive, bool lockHeld) {
    if (captureActive) {
        inactiveTicks = 0;
        if (suspended || lockHeld) return CaptureSuspendAction::none;
        suspended = true;
        return CaptureSuspendAction::suspend;
    }
    if (!suspended) return CaptureSuspendAction::none;
    if (++inactiveTicks < resumeAfterInactiveTicks) return CaptureSuspendAction::none;
    suspended = false;
    inactiveTicks = 0;
    return CaptureSuspendAction::resume;
}

ScreenCaptureMonitor::ScreenCaptureMonitor(std::function<bool()> lockHeld,
                                           std::function<void(CaptureSuspendAction)> onAction,
                                           ScreenCaptureProbe* probe, TimerFactory timers,
                                           QObject* parent)
    : QObject(parent), m_timer(timers ? timers() : std::make_unique<QtFrameTimer>()),
      m_lockHeld(std::move(lockHeld)), m_onAction(std::move(onAction)), m_probe(probe) {}

ScreenCaptureMonitor::~ScreenCaptureMonitor() {
    m_timer->stop();
    if (m_started) probe().setChangeHandler({});
}

ScreenCaptureProbe& ScreenCaptureMonitor::probe() const {
    return m_probe ? *m_probe : Platform::instance().screenCaptureProbe();
}

void ScreenCaptureMonitor::start() {
    if (m_started) return;
    m_started = true;
    probe().setChangeHandler([this] {
        if (m_started) tick();
    });
    tick();
}

void ScreenCaptureMonitor::stop() {
    if (m_started) probe().setChangeHandler({});
    m_started = false;
    m_timer->stop();
    m_model.suspended = false;
    m_model.inactiveTicks = 0;
    m_lastActive = false;
}

void ScreenCaptureMonitor::schedule() {
    // Waking every second learns nothing while the probe announces every change and
    // nothing is captured; a capture seen (also one a held lock lets through) and the
    // debounce of its end are followed by the poll.
    const bool quiet = !m_lastActive && !m_model.suspended;
    if (quiet && probe().announcesChanges()) {
        m_timer->stop();
    } else if (!m_timer->isActive()) {
        m_timer->start(pollInterval, [this] { tick(); });
    }
}

bool ScreenCaptureMonitor::captureActive() {
    ScreenCaptureProbe& p = probe();
    // A watcher that says no, or no watcher answer at all, leaves the shared flag.
    if (p.screenWatcherPresent().value_or(false)) return true;
    return p.sessionScreenIsShared();
}

void ScreenCaptureMonitor::tick() {
    const bool active = captureActive();
    m_lastActive = active;
    const CaptureSuspendAction action = m_model.tick(active, m_lockHeld && m_lockHeld());
    if (m_started) schedule();
    if (action == CaptureSuspendAction::none) return;
    qCInfo(lcCapture).noquote()
        << (action == CaptureSuspendAction::suspend
                ? QStringLiteral("Capture guard: screen capture/recording detected — suspending "
                                 "gamma LUT + XDR boost")
                : QStringLiteral("Capture guard: capture ended (debounced) — restoring warmth"));
    if (m_onAction) m_onAction(action);
}
