#include "warmth/OverlayWindowController.h"

#include "brightness/NativeBrightnessController.h"
#include "core/FrameTimer.h"
#include "core/NotificationCenter.h"
#include "core/NotificationNames.h"
#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "platform/DisplayGamma.h"
#include "platform/EDRHeadroom.h"
#include "platform/Platform.h"

#include <QLoggingCategory>
#include <algorithm>
#include <cmath>

// The warmth engine's two guards: the EDR watchdog and the brightness pin. Their
// state types (EDRDisplayGuardState, TouchBrightnessRouter) stay free of the engine.

Q_DECLARE_LOGGING_CATEGORY(lcOverlay)

// ---- The EDR guard's operations of the warmth engine ----

void OverlayWindowController::startEDRWatchdog() {
    if (m_wowSweepActive || m_edrWatchdogTimer->isActive()) return;
    if (!Platform::instance().edrHeadroom().canChange()) return;
    m_edrWatchdogTimer->start(edrWatchdogInterval, [this] { edrWatchdogTick(); });
}

void OverlayWindowController::stopEDRWatchdog() {
    m_edrWatchdogTimer->stop();
}

bool OverlayWindowController::edrWatchdogRunning() const {
    return m_edrWatchdogTimer->isActive();
}

void OverlayWindowController::edrWatchdogTick() {
    if (!Preferences::shared().enabled()) {
        stopEDRWatchdog();
        return;
    }
    const EDRReadings readings = currentEDRHeadroomsByDisplay();
    if (readings.empty()) return;
    bool repush = false;
    for (const auto& [display, headroom] : readings) {
        const double baseline = m_edrGuard.baselineOr(display, headroom);
        if (m_edrGuard.suspendedDisplays.contains(display)) {
            if (m_edrGuard.isSettled(display, headroom)) {
                qCInfo(lcOverlay).noquote() << QString::asprintf(
                    "EDR watchdog: display %u headroom settled to %.2f (baseline %.2f) — restoring "
                    "warmth",
                    display, headroom, baseline);
                m_edrGuard.suspendedDisplays.erase(display);
                m_edrGuard.baselines[display] = headroom;
                repush = true;
            }
        } else if (m_edrGuard.isElevated(display, headroom)) {
            if (!m_updaterUIActive && !m_onboardingActive) {
                qCInfo(lcOverlay).noquote()
                    << QString::asprintf("EDR watchdog: display %u headroom rose to %.2f (baseline "
                                         "%.2f) — suspending LUT "
                                         "for that display",
                                         display, headroom, baseline);
                suspendGammaForEDR(display);
            } else {
                qCInfo(lcOverlay).noquote() << QString::asprintf(
                    "EDR watchdog: display %u headroom rose to %.2f during %s — suspend suppressed",
                    display, headroom, m_updaterUIActive ? "updater UI" : "onboarding");
            }
        }
    }
    if (repush) updateOverlays();
}

void OverlayWindowController::suspendGammaForEDR(DisplayId display) {
    m_edrGuard.suspendedDisplays.insert(display);
    resetGammaToIdentity(display);
    if (gamma().isBuiltin(display)) releaseBrightnessPin();
}

bool OverlayWindowController::builtinDisplayHeld() {
    return std::any_of(m_edrGuard.suspendedDisplays.begin(), m_edrGuard.suspendedDisplays.end(),
                       [this](DisplayId d) { return gamma().isBuiltin(d); });
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
        "Desktop brightness slider %.2f — routing to Halcyra gamma dimming", double(level));
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
