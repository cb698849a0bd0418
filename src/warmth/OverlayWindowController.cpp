#include "OverlayWindowController.h"
#include "core/NotificationNames.h"

#include "brightness/NativeBrightnessController.h"
#include "core/FrameTimer.h"
#include "core/NotificationCenter.h"
#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "platform/DisplayGamma.h"
#include "platform/EDRHeadroom.h"
#include "platform/Platform.h"
#include "warmth/ColorTemperature.h"

#include <QLoggingCategory>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <execinfo.h>

Q_LOGGING_CATEGORY(lcOverlay, "com.halcyra.app.overlay")

namespace {
void fillRamp(std::vector<float>& t, float top) {
    t.resize(OverlayWindowController::tableSize);
    for (int i = 0; i < OverlayWindowController::tableSize; ++i)
        t[i] = (float(i) / 255.0f) * top;
}

std::vector<float> rampTo(float top) {
    std::vector<float> t;
    fillRamp(t, top);
    return t;
}

float tableMaximum(double brightness, double channel) {
    const double m = brightness * channel;
    if (m < 1.0) return float(std::max(m, 0.0));
    return 1.0f; // also not-a-number
}

// The dimming factor that reaches the tables. The stored brightness is left alone;
// only the tables are kept from going black.
double effectiveBrightness(double brightness) {
    if (std::isnan(brightness)) return brightness;
    return std::max(brightness, OverlayWindowController::minimumBrightness);
}

QString callStack() {
    void* frames[64];
    const int n = backtrace(frames, 64);
    char** symbols = backtrace_symbols(frames, n);
    QStringList lines;
    for (int i = 0; symbols && i < n; ++i)
        lines << QString::fromLocal8Bit(symbols[i]);
    free(symbols);
    return lines.join(QLatin1Char('\n'));
}
} // namespace

OverlayWindowController::OverlayWindowController(Clock& clock, TimerFactory timers, QObject* parent)
    : QObject(parent), m_clock(clock), m_timerFactory(std::move(timers)) {
    // Made in this order, so tests can tell them apart.
    m_edrWatchdogTimer = makeTimer();
    m_brightnessPinTimer = makeTimer();
    m_onboardingBackstopTimer = makeTimer();
    m_gammaVerifyTimer = makeTimer();
    m_forceLockCheckTimer = makeTimer();
    NotificationCenter::defaultCenter().addObserver(
        this, NotificationName::screenParametersChanged,
        [this](const Notification&) { screenParametersChanged(); });
}

OverlayWindowController::~OverlayWindowController() {
    NotificationCenter::defaultCenter().removeObserver(this);
    m_brightnessPinTimer->stop();
    m_edrWatchdogTimer->stop();
    m_onboardingBackstopTimer->stop();
    m_gammaVerifyTimer->stop();
    m_forceLockCheckTimer->stop();
    resetToSystemTables();
}

std::unique_ptr<FrameTimer> OverlayWindowController::makeTimer() {
    if (m_timerFactory) return m_timerFactory();
    return std::make_unique<QtFrameTimer>();
}

DisplayGamma& OverlayWindowController::gamma() const {
    return Platform::instance().displayGamma();
}

void OverlayWindowController::runSoon(std::function<void()> task) {
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

// ---- Table writer ----

void OverlayWindowController::applyGamma(double kelvin, double intensity, double brightness) {
    if (m_gammaSuspendedForCapture) return;
    const DisplayTint tint = ColorTemperature::blendedTint(kelvin, intensity);
    const double b = effectiveBrightness(brightness);
    const std::array<float, 3> maxima = {tableMaximum(b, tint.r), tableMaximum(b, tint.g),
                                         tableMaximum(b, tint.b)};

    if (!m_cachedDisplays) cacheDisplayList();
    const std::vector<DisplayId> displays = m_cachedDisplays.value_or(std::vector<DisplayId>{});

    if (m_builtTableMax != maxima) {
        fillRamp(m_red, maxima[0]);
        fillRamp(m_green, maxima[1]);
        fillRamp(m_blue, maxima[2]);
        m_builtTableMax = maxima;
    }
    int accepted = 0;
    // Every display's tables go to the server together.
    const DisplayGamma::PushBatch batch(gamma());
    for (DisplayId display : displays) {
        if (m_edrGuard.suspendedDisplays.contains(display)) continue;
        const int status = gamma().setTransferTables(display, m_red, m_green, m_blue);
        if (status != DisplayGamma::success) {
            qCCritical(lcOverlay).noquote() << QStringLiteral("%1 failed for display %2: error %3")
                                                   .arg(gamma().tableWriteCall())
                                                   .arg(int(display))
                                                   .arg(status);
            continue;
        }
        ++accepted;
    }
    // Only a push that reached a display counts: the wake verification compares the
    // screen against this, and must not judge an empty or refused push a success.
    if (accepted > 0) {
        m_lastPushedTableMax = maxima;
        DisplayedWarmth::setRecorded(tint);
    }
}

void OverlayWindowController::resetGammaToIdentity(DisplayId display) {
    traceGammaReset(QStringLiteral("resetGammaToIdentity(display %1)").arg(display));
    const std::vector<float> identity = rampTo(1.0f);
    const int status = gamma().setTransferTables(display, identity, identity, identity);
    if (status != DisplayGamma::success)
        qCCritical(lcOverlay).noquote()
            << QStringLiteral("%1 (identity) failed for display %2: error %3")
                   .arg(gamma().tableWriteCall())
                   .arg(display)
                   .arg(status);
}

void OverlayWindowController::cacheDisplayList() {
    std::optional<std::vector<DisplayId>> online = gamma().onlineDisplays();
    // A failed or empty answer is not kept: the next push asks again.
    if (!online || online->empty()) {
        m_cachedDisplays.reset();
        return;
    }
    if (online->size() > size_t(maxDisplays)) online->resize(maxDisplays);
    m_cachedDisplays = std::move(online);
}

void OverlayWindowController::screenParametersChanged() {
    m_cachedDisplays.reset();
    if (!Preferences::shared().enabled()) return;
    if (m_updaterUIActive) {
        qCInfo(lcOverlay).noquote() << "Display reconfig during updater UI — reapply suppressed";
        return;
    }
    qCInfo(lcOverlay).noquote()
        << "Display reconfig detected — reasserting gamma immediately (D3-F2)";
    updateOverlays();
}

void OverlayWindowController::resetToSystemTables() {
    traceGammaReset(QStringLiteral("resetGamma"));
    m_lastPushedTableMax.reset();
    gamma().restoreColorSettings();
    DisplayedWarmth::setRecorded(DisplayTint::identity());
}

void OverlayWindowController::suspendGammaForCapture() {
    m_gammaSuspendedForCapture = true;
    resetToSystemTables();
    releaseBrightnessPin();
    NotificationCenter::defaultCenter().post(NotificationName::screenCaptureStateChanged, nullptr,
                                             {{QStringLiteral("active"), true}});
}

void OverlayWindowController::resumeGammaAfterCapture() {
    m_gammaSuspendedForCapture = false;
    NotificationCenter::defaultCenter().post(NotificationName::screenCaptureStateChanged, nullptr,
                                             {{QStringLiteral("active"), false}});
    updateOverlays();
}

std::optional<bool> OverlayWindowController::gammaReadBackClobbered() {
    if (!m_lastPushedTableMax) return std::nullopt;
    const auto& pushed = *m_lastPushedTableMax;
    if (pushed[0] >= 0.98f && pushed[1] >= 0.98f && pushed[2] >= 0.98f) return std::nullopt;
    const DisplayId main = gamma().mainDisplay();
    if (main == 0) return std::nullopt;
    std::vector<float> r, g, b;
    const int status = gamma().transferTables(main, tableSize, r, g, b);
    if (status != DisplayGamma::success || r.empty() || g.empty() || b.empty()) return std::nullopt;
    const std::array<const std::vector<float>*, 3> read = {&r, &g, &b};
    for (int c = 0; c < 3; ++c) {
        const auto& t = *read[c];
        const auto end = t.begin() + std::min<size_t>(t.size(), tableSize);
        const float readMax = *std::max_element(t.begin(), end);
        if (pushed[c] + 0.02f < readMax) return true;
    }
    return false;
}

void OverlayWindowController::verifyGammaAfterWake(int attempt) {
    m_gammaVerifyTimer->stop();
    if (attempt < 0) attempt = 0;
    if (attempt >= int(gammaVerifyBackoffs.size())) {
        qCInfo(lcOverlay).noquote()
            << "wake gamma verify: retries exhausted — leaving state to the watchdog";
        return;
    }
    m_gammaVerifyTimer->start(gammaVerifyBackoffs[attempt], [this, attempt] {
        m_gammaVerifyTimer->stop();
        if (!Preferences::shared().enabled() || !m_edrGuard.suspendedDisplays.empty() ||
            m_wowSweepActive)
            return;
        if (gammaReadBackClobbered() != true) return;
        qCInfo(lcOverlay).noquote() << QString::asprintf(
            "wake gamma verify: table clobbered after reassert — re-pushing (attempt %d)",
            attempt + 1);
        updateOverlays();
        verifyGammaAfterWake(attempt + 1);
    });
}

bool OverlayWindowController::gammaVerifyPending() const {
    return m_gammaVerifyTimer->isActive();
}

bool OverlayWindowController::gammaTraceEnabled() {
    static const bool enabled = qEnvironmentVariable("HALCYRA_GAMMA_TRACE") == QLatin1String("1");
    return enabled;
}

void OverlayWindowController::traceGammaReset(const QString& caller) {
    if (!gammaTraceEnabled()) return;
    qCCritical(lcOverlay).noquote()
        << QStringLiteral("GAMMA TRACE — identity write via %1\n%2").arg(caller, callStack());
}

// ---- Re-application ----

void OverlayWindowController::updateOverlays() {
    Preferences& prefs = Preferences::shared();
    if (!prefs.enabled()) {
        if (m_lastKnownEnabled) {
            m_lastKnownEnabled = false;
            performDisableCleanup();
        }
        return;
    }
    m_lastKnownEnabled = true;

    if (prefs.autoDisableNightShift()) {
        if (!m_nightShiftSuppressRequested) {
            m_nightShiftSuppressRequested = true;
            if (auto hook = m_hooks.disableNightShift) runSoon(hook);
        }
    } else {
        m_nightShiftSuppressRequested = false;
    }

    if (prefs.manageTrueTone()) {
        const bool allowed = prefs.intensity() <= 3.0;
        if (m_lastTrueToneRequest != allowed) {
            m_lastTrueToneRequest = allowed;
            if (auto hook = allowed ? m_hooks.restoreTrueTone : m_hooks.suppressTrueTone)
                runSoon(hook);
        }
    } else {
        m_lastTrueToneRequest.reset();
    }

    startEDRWatchdog();
    if (m_hooks.startCaptureMonitor) m_hooks.startCaptureMonitor();

    if (m_gammaSuspendedForCapture) return;

    const EDRReadings readings = currentEDRHeadroomsByDisplay();
    if (!readings.empty()) m_edrGuard.reconcile(readings);

    if (!m_wowSweepActive && !m_updaterUIActive && !m_onboardingActive) {
        for (DisplayId display : m_edrGuard.newlyElevated(readings)) {
            double headroom = 0.0;
            for (const auto& [id, h] : readings)
                if (id == display) headroom = h;
            auto base = m_edrGuard.baselines.find(display);
            const double baseline = base == m_edrGuard.baselines.end() ? 0.0 : base->second;
            qCInfo(lcOverlay).noquote() << QString::asprintf(
                "EDR elevated on apply for display %u (headroom %.2f, baseline %.2f) — holding "
                "that display at identity to prevent white-out",
                display, headroom, baseline);
            suspendGammaForEDR(display);
        }
        const bool allHeld = !readings.empty() &&
                             std::all_of(readings.begin(), readings.end(), [this](const auto& r) {
                                 return m_edrGuard.suspendedDisplays.contains(r.first);
                             });
        if (allHeld) return;
    }

    double kelvin = prefs.temperature();
    double intensity = prefs.intensity();
    if (m_reapplicationWarmth) {
        if (const auto warmth = m_reapplicationWarmth()) {
            kelvin = warmth->kelvin;
            intensity = warmth->intensity;
        }
    }
    applyGamma(kelvin, intensity, prefs.brightness());
    m_edrGuard.rebaseline(currentEDRHeadroomsByDisplay());

    if (!builtinDisplayHeld() && (prefs.flickerFree() || prefs.brightnessKeyInterception()) &&
        builtinPanelOnline()) {
        lockBrightnessToMax();
        startBrightnessPinMonitor();
    } else {
        releaseBrightnessPin();
    }

    if (prefs.keyboardBrightnessSync()) {
        const double brightness = prefs.brightness();
        if (m_lastKeyboardSyncBrightness != brightness) {
            m_lastKeyboardSyncBrightness = brightness;
            if (m_hooks.writeKeyboardBrightness) {
                runSoon([this] {
                    if (!m_hooks.writeKeyboardBrightness) return;
                    const double b = Preferences::shared().brightness();
                    m_hooks.writeKeyboardBrightness(std::clamp(float(b), 0.0f, 1.0f));
                });
            }
        }
    } else {
        m_lastKeyboardSyncBrightness.reset();
    }

    if (prefs.fullHarmonyEnabled()) {
        const double intensity = prefs.intensity();
        if (m_lastHarmonyIntensity != intensity) {
            m_lastHarmonyIntensity = intensity;
            if (m_hooks.harmonyIntensityChanged) {
                runSoon([this] {
                    if (m_hooks.harmonyIntensityChanged)
                        m_hooks.harmonyIntensityChanged(Preferences::shared().intensity());
                });
            }
        }
    } else {
        m_lastHarmonyIntensity.reset();
    }
}

void OverlayWindowController::performDisableCleanup() {
    Preferences& prefs = Preferences::shared();
    stopEDRWatchdog();
    if (m_hooks.stopCaptureMonitor) m_hooks.stopCaptureMonitor();
    if (m_gammaSuspendedForCapture) {
        m_gammaSuspendedForCapture = false;
        NotificationCenter::defaultCenter().post(NotificationName::screenCaptureStateChanged,
                                                 nullptr, {{QStringLiteral("active"), false}});
    }
    m_edrGuard.baselines.clear();
    m_edrGuard.suspendedDisplays.clear();
    resetToSystemTables();
    releaseBrightnessPin();
    // Also when the setting was dropped while the tint held them off: the restores do
    // nothing unless they switched something off.
    if (m_hooks.restoreNightShift) runSoon(m_hooks.restoreNightShift);
    if (m_hooks.restoreTrueTone) runSoon(m_hooks.restoreTrueTone);
    m_lastTrueToneRequest.reset();
    m_nightShiftSuppressRequested = false;
    m_lastKeyboardSyncBrightness.reset();
    m_lastHarmonyIntensity.reset();
    if (prefs.keyboardBrightnessSync() && m_hooks.writeKeyboardBrightness) {
        runSoon([this] {
            if (m_hooks.writeKeyboardBrightness) m_hooks.writeKeyboardBrightness(1.0f);
        });
    }
    if (prefs.fullHarmonyEnabled() && m_hooks.disengageHarmonyRestoringBaseline)
        runSoon(m_hooks.disengageHarmonyRestoringBaseline);
}

void OverlayWindowController::updateColor(double kelvin, double intensity) {
    applyGamma(kelvin, intensity, Preferences::shared().brightness());
    if (Preferences::shared().fullHarmonyEnabled() && m_hooks.harmonyWarmthChangedIfEngaged) {
        runSoon([this, intensity] {
            if (m_hooks.harmonyWarmthChangedIfEngaged)
                m_hooks.harmonyWarmthChangedIfEngaged(intensity);
        });
    }
}

void OverlayWindowController::beginWowSweep() {
    if (m_wowSweepActive) return;
    m_wowSweepActive = true;
    stopEDRWatchdog();
    stopBrightnessPinMonitor(); // the native lock stays held
    m_edrGuard.suspendedDisplays.clear();
    cacheDisplayList();
}

void OverlayWindowController::endWowSweep() {
    m_wowSweepActive = false;
    m_cachedDisplays.reset();
    m_edrGuard.reseed(currentEDRHeadroomsByDisplay());
    updateOverlays();
}

void OverlayWindowController::beginOnboardingSession() {
    m_onboardingActive = true;
    m_onboardingBackstopTimer->start(onboardingBackstopSeconds, [this] {
        m_onboardingBackstopTimer->stop();
        if (!m_onboardingActive) return;
        qCInfo(lcOverlay).noquote()
            << "onboarding session backstop hit — force-releasing EDR-watchdog pause";
        endOnboardingSession();
    });
}

void OverlayWindowController::endOnboardingSession() {
    m_onboardingBackstopTimer->stop();
    if (!m_onboardingActive) return;
    m_onboardingActive = false;
    updateOverlays();
}

EDRReadings OverlayWindowController::currentEDRHeadroomsByDisplay() {
    EDRReadings readings;
    EDRHeadroom& edr = Platform::instance().edrHeadroom();
    // Headroom that can never change reads 1.0 everywhere, which can neither raise nor
    // settle a display; listing the screens for it would put two display queries into
    // every push. An empty reading leaves the guard as it is.
    if (!edr.canChange()) return readings;
    for (const auto& [id, headroom] : edr.headroomsByDisplay()) {
        auto it = std::find_if(readings.begin(), readings.end(),
                               [id = id](const auto& r) { return r.first == id; });
        if (it != readings.end())
            it->second = headroom;
        else
            readings.emplace_back(id, headroom);
    }
    return readings;
}
