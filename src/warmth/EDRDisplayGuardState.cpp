#include "EDRDisplayGuardState.h"

#include "platform/EDRHeadroom.h"
#include "platform/Platform.h"

#include "app/Preferences.h"
#include "core/FrameTimer.h"
#include "platform/DisplayGamma.h"
#include "warmth/OverlayWindowController.h"

#include <QLoggingCategory>
#include <algorithm>

Q_DECLARE_LOGGING_CATEGORY(lcOverlay)

double EDRDisplayGuardState::baselineOr(DisplayId display, double reading) const {
    auto it = baselines.find(display);
    return it == baselines.end() ? reading : it->second;
}

bool EDRDisplayGuardState::isElevated(DisplayId display, double reading) const {
    return reading > 1.0 && baselineOr(display, reading) + riseMargin < reading;
}

bool EDRDisplayGuardState::isSettled(DisplayId display, double reading) const {
    return reading <= baselineOr(display, reading) + restoreMargin;
}

void EDRDisplayGuardState::reconcile(const EDRReadings& readings) {
    if (readings.empty()) return;
    auto present = [&](DisplayId id) {
        return std::any_of(readings.begin(), readings.end(),
                           [id](const auto& r) { return r.first == id; });
    };
    for (auto it = baselines.begin(); it != baselines.end();) {
        if (!present(it->first)) {
            suspendedDisplays.erase(it->first);
            it = baselines.erase(it);
        } else {
            ++it;
        }
    }
    // A held display without a baseline cannot be judged any more; forget it too.
    std::erase_if(suspendedDisplays, [&](DisplayId id) { return !present(id); });
    for (const auto& [id, headroom] : readings)
        baselines.try_emplace(id, headroom);
}

std::vector<DisplayId> EDRDisplayGuardState::newlyElevated(const EDRReadings& readings) const {
    std::vector<DisplayId> out;
    for (const auto& [id, headroom] : readings)
        if (!suspendedDisplays.contains(id) && isElevated(id, headroom)) out.push_back(id);
    return out;
}

void EDRDisplayGuardState::rebaseline(const EDRReadings& readings) {
    for (const auto& [id, headroom] : readings)
        if (!suspendedDisplays.contains(id)) baselines[id] = headroom;
}

void EDRDisplayGuardState::reseed(const EDRReadings& readings) {
    suspendedDisplays.clear();
    for (const auto& [id, headroom] : readings)
        baselines[id] = headroom;
}

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
