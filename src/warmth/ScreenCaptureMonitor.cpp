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
}

void ScreenCaptureMonitor::start() {
    if (m_timer->isActive()) return;
    m_timer->start(pollInterval, [this] { tick(); });
    tick();
}

void ScreenCaptureMonitor::stop() {
    m_timer->stop();
    m_model.suspended = false;
    m_model.inactiveTicks = 0;
}

bool ScreenCaptureMonitor::captureActive() {
    ScreenCaptureProbe& probe = m_probe ? *m_probe : Platform::instance().screenCaptureProbe();
    // A watcher that says no, or no watcher answer at all, leaves the shared flag.
    if (probe.screenWatcherPresent().value_or(false)) return true;
    return probe.sessionScreenIsShared();
}

void ScreenCaptureMonitor::tick() {
    const bool active = captureActive();
    const CaptureSuspendAction action = m_model.tick(active, m_lockHeld && m_lockHeld());
    if (action == CaptureSuspendAction::none) return;
    qCInfo(lcCapture).noquote()
        << (action == CaptureSuspendAction::suspend
                ? QStringLiteral("Capture guard: screen capture/recording detected — suspending "
                                 "gamma LUT + XDR boost")
                : QStringLiteral("Capture guard: capture ended (debounced) — restoring warmth"));
    if (m_onAction) m_onAction(action);
}
