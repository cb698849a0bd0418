#include "TouchBrightnessRouter.h"
#include "core/NotificationNames.h"

#include "app/Preferences.h"
#include "brightness/NativeBrightnessController.h"
#include "core/FrameTimer.h"
#include "core/NotificationCenter.h"
#include "core/UserDefaults.h"
#include "platform/DisplayGamma.h"
#include "warmth/OverlayWindowController.h"

#include <QLoggingCategory>
#include <algorithm>
#include <cmath>

Q_DECLARE_LOGGING_CATEGORY(lcOverlay)

void TouchBrightnessRouter::notePinned(qint64 nowMs) {
    lastAssertAtMs = nowMs;
    stableTicks = 0;
    lastReading = 1.0f;
}

TouchBrightnessRouter::Action TouchBrightnessRouter::evaluate(float current, qint64 nowMs) {
    if (threshold <= current) {
        stableTicks = 0;
        lastReading = current;
        return Action::idle();
    }
    if (lastAssertAtMs && double(nowMs - *lastAssertAtMs) / 1000.0 < settleWindow) {
        stableTicks = 0;
        lastReading = current;
        return Action::repin();
    }
    if (std::fabs(current - lastReading) <= stableEpsilon)
        stableTicks += 1;
    else
        stableTicks = 1;
    lastReading = current;
    if (stableTicks >= ticksToConfirm) {
        stableTicks = 0;
        return Action::route(current);
    }
    return Action::pending();
}

// ---- The brightness pin: operations of the warmth engine ----

namespace {
using Lock = NativeBrightnessController::BrightnessLock;
}

bool OverlayWindowController::builtinPanelOnline() {
    if (!NativeBrightnessController::hasBuiltinBacklight()) return false;
    const auto& displays = m_cachedDisplays;
    if (!displays) return false;
    return std::any_of(displays->begin(), displays->end(),
                       [this](DisplayId d) { return gamma().isBuiltin(d); });
}

void OverlayWindowController::lockBrightnessToMax() {
    NativeBrightnessController::acquireLock(Lock::overlayPin());
    m_brightnessRouter.notePinned(m_clock.monotonicMs());
}

void OverlayWindowController::releaseBrightnessPin() {
    stopBrightnessPinMonitor();
    NativeBrightnessController::releaseLock(Lock::overlayPin());
}

void OverlayWindowController::startBrightnessPinMonitor() {
    if (m_wowSweepActive || m_brightnessPinTimer->isActive()) return;
    m_brightnessPinTimer->start(brightnessPinInterval, [this] { brightnessPinMonitorTick(); });
}

void OverlayWindowController::stopBrightnessPinMonitor() {
    m_brightnessPinTimer->stop();
}

bool OverlayWindowController::brightnessPinMonitorRunning() const {
    return m_brightnessPinTimer->isActive();
}

void OverlayWindowController::brightnessPinMonitorTick() {
    const float current = NativeBrightnessController::getQuiet().value_or(1.0f);
    const TouchBrightnessRouter::Action action =
        m_brightnessRouter.evaluate(current, m_clock.monotonicMs());
    switch (action.kind) {
    case TouchBrightnessRouter::Kind::repin:
        qCInfo(lcOverlay).noquote() << QString::asprintf(
            "Brightness drift %.3f within settle window — re-pinning to max", double(current));
        NativeBrightnessController::set(1.0f);
        break;
    case TouchBrightnessRouter::Kind::route:
        routeToGammaDimming(action.level);
        break;
    case TouchBrightnessRouter::Kind::idle:
    case TouchBrightnessRouter::Kind::pending:
        break;
    }
}

void OverlayWindowController::routeToGammaDimming(float level) {
    const double b = std::clamp(double(level), 0.0, 1.0);
    if (std::fabs(Preferences::shared().brightness() - b) <= 0.01) {
        NativeBrightnessController::set(1.0f);
        return;
    }
    qCInfo(lcOverlay).noquote() << QString::asprintf(
        "Touch Bar/Control Center brightness %.2f — routing to Halcyra gamma dimming",
        double(level));
    UserDefaults::standard().setDouble(PrefKey::brightness, b);
    updateOverlays();
    NotificationCenter::defaultCenter().post(NotificationName::brightnessKeyChanged);
}

void OverlayWindowController::forceBrightnessLock() {
    if (!Preferences::shared().flickerFree()) return;
    // Nothing to pin without a built-in panel.
    if (!NativeBrightnessController::hasBuiltinBacklight()) return;
    m_brightnessRouter.notePinned(m_clock.monotonicMs());
    NativeBrightnessController::set(1.0f);
    m_forceLockCheckTimer->start(0.2, [this] {
        m_forceLockCheckTimer->stop();
        const float read = NativeBrightnessController::getQuiet().value_or(1.0f);
        if (read < 0.99f) {
            qCInfo(lcOverlay).noquote() << QString::asprintf(
                "forceBrightnessLock: read-back %.2f < 0.99 — retrying (PWM flicker threshold)",
                double(read));
            NativeBrightnessController::set(1.0f);
        }
    });
}
