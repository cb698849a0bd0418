#include "onboarding/TakeoverWindowController.h"

#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "onboarding/WarmthSweep.h"
#include "popover/PopoverViewModel.h"
#include "warmth/OverlayWindowController.h"
#include "warmth/SunsetScheduler.h"

#include <QLoggingCategory>
#include <QTimer>
#include <algorithm>
#include <limits>

Q_LOGGING_CATEGORY(lcTakeover, "com.halcyra.app.onboarding")

void TakeoverState::setWarmth(double kelvin, double intensity) {
    m_temperature = kelvin;
    m_intensity = intensity;
    emit warmthChanged();
}

void TakeoverState::cancelGhost() {
    if (m_ghostCancelled) return;
    m_ghostCancelled = true;
    emit ghostCancelledChanged();
}

TakeoverWindowController::TakeoverWindowController(SunsetScheduler& scheduler,
                                                   PresenterFactory presenters, TimerFactory timers,
                                                   Deferrer defer, QObject* parent)
    : QObject(parent), m_scheduler(scheduler), m_presenters(std::move(presenters)),
      m_timers(std::move(timers)), m_defer(std::move(defer)) {
    if (!m_timers) m_timers = [] { return std::make_unique<QtFrameTimer>(); };
    if (!m_defer) {
        m_defer = [this](double seconds, std::function<void()> action) {
            QTimer::singleShot(int(seconds * 1000), this, std::move(action));
        };
    }
}

TakeoverWindowController::~TakeoverWindowController() = default;

int TakeoverWindowController::startSlideFromEnvironment(bool* present) {
    const bool isSet = qEnvironmentVariableIsSet("HALCYRA_TAKEOVER_SLIDE");
    if (present) *present = isSet;
    if (!isSet) return 0;
    const QString raw = qEnvironmentVariable("HALCYRA_TAKEOVER_SLIDE");
    bool ok = false;
    const qlonglong value = raw.toLongLong(&ok, 10);
    if (!ok || value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        return 0;
    // Any other slide number shows the last slide. The number itself is kept: the
    // view shows the last slide for it, and a number below 0 still leads on to slide 0.
    if (value < 0 || value > slideCount - 1) {
        qCWarning(lcTakeover).noquote()
            << QStringLiteral("HALCYRA_TAKEOVER_SLIDE=%1 is outside 0–%2 — opening the last slide")
                   .arg(raw)
                   .arg(slideCount - 1);
    }
    return int(value);
}

void TakeoverWindowController::show(OverlayWindowController* overlay, PopoverViewModel* viewModel,
                                    std::function<void()> onFinish,
                                    std::function<void()> onEscFallback) {
    if (m_presenter) {
        m_presenter->raise();
        return;
    }
    m_overlay = overlay;
    m_viewModel = viewModel;
    m_onFinish = std::move(onFinish);
    m_onEscFallback = std::move(onEscFallback);
    m_isExiting = false;
    m_pendingExitSteps = 0;
    const Preferences& prefs = Preferences::shared();
    m_prior = {prefs.temperature(), prefs.intensity(), prefs.enabled()};

    // The schedule stays quiet while the window is up and while an Esc ramp still
    // runs after it has gone, so neither can draw over the other.
    QPointer<TakeoverWindowController> self(this);
    m_scheduler.setPauseHolder([self] {
        return self &&
               (self->m_presenter || self->restoreRunning() || self->m_pendingExitSteps > 0);
    });
    m_state = std::make_unique<TakeoverState>();

    bool entranceSkipped = false;
    const int startSlide = startSlideFromEnvironment(&entranceSkipped);
    m_presenter = m_presenters ? m_presenters(*this) : nullptr;
    if (!m_presenter || !m_presenter->present(*m_state, startSlide, entranceSkipped)) {
        m_presenter.reset();
        qCWarning(lcTakeover).noquote()
            << QStringLiteral("No screen for the takeover — skipping it");
        return;
    }
    m_acceptInput = true;
    m_defer(sweepDelaySeconds, [self] {
        if (self) self->startWarmthSweep();
    });
}

void TakeoverWindowController::startWarmthSweep() {
    if (m_sweepTimer || m_isExiting || !m_presenter) return;
    const Preferences& prefs = Preferences::shared();
    m_sweepK0 = prefs.temperature();
    m_sweepI0 = prefs.intensity();
    m_sweepPhase = 0;
    m_sweepFrame = 0;
    m_sweepTimer = m_timers();
    m_sweepTimer->start(FrameTimer::frameInterval, [this] {
        if (m_isExiting) {
            stopSweep();
            return;
        }
        ++m_sweepFrame;
        const WarmthSweep::Frame f =
            m_sweepPhase == 0 ? WarmthSweep::openingValue(m_sweepK0, m_sweepI0, m_sweepFrame)
                              : WarmthSweep::sweepValue(m_sweepPhase, m_sweepFrame);
        applyWarmthAnimated(f.kelvin, f.intensity);
        if (m_sweepFrame < WarmthSweep::phaseLength(m_sweepPhase)) return;
        if (m_sweepPhase < 3) {
            ++m_sweepPhase;
            m_sweepFrame = 0;
            return;
        }
        stopSweep();
        applyWarmth(WarmthSweep::settledKelvin, WarmthSweep::settledIntensity);
    });
}

void TakeoverWindowController::stopSweep() {
    if (!m_sweepTimer) return;
    m_sweepTimer->stop();
    // Dropped later: this may run inside the timer's own tick.
    QTimer::singleShot(0, this, [t = std::shared_ptr<FrameTimer>(std::move(m_sweepTimer))] {});
}

void TakeoverWindowController::applyWarmthAnimated(double kelvin, double intensity) {
    if (m_state) m_state->setWarmth(kelvin, intensity);
    if (!m_overlay) return;
    m_overlay->applyGamma(kelvin, intensity, Preferences::shared().brightness());
    if (Preferences::shared().fullHarmonyEnabled() && hooks.harmonyWarmthChanged)
        hooks.harmonyWarmthChanged(intensity);
}

void TakeoverWindowController::applyWarmth(double kelvin, double intensity) {
    UserDefaults& defaults = UserDefaults::standard();
    defaults.setDouble(PrefKey::temperature, kelvin);
    defaults.setDouble(PrefKey::intensity, intensity);
    defaults.setBool(PrefKey::enabled, true);
    if (m_viewModel) {
        m_viewModel->setTemperature(kelvin);
        defaults.setDouble(PrefKey::intensity, 4.0);
        m_viewModel->setEnabled(true);
    }
    if (m_state) m_state->setWarmth(kelvin, intensity);
    if (m_overlay) m_overlay->updateOverlays();
    // The choice is the user's first warmth: it must outlast a crash right after.
    defaults.synchronize();
}

void TakeoverWindowController::userChoseWarmth(double kelvin, double intensity) {
    stopSweep();
    if (m_state) m_state->userInteracted = true;
    const Preferences& prefs = Preferences::shared();
    if ((prefs.useSchedule() || prefs.autoSunset()) && hooks.pinScheduleOverride)
        hooks.pinScheduleOverride();
    applyWarmth(kelvin, intensity);
}

void TakeoverWindowController::userDragWarmth(double kelvin, double intensity) {
    stopSweep();
    if (m_state) m_state->userInteracted = true;
    applyWarmthAnimated(kelvin, intensity);
}

void TakeoverWindowController::ghostPreset(double kelvin, double intensity) {
    if (m_isExiting) return;
    stopSweep();
    applyWarmth(kelvin, intensity);
}

bool TakeoverWindowController::userInput(bool isEscape) {
    if (!m_acceptInput) return false;
    if (m_state) m_state->cancelGhost();
    if (!isEscape) return false;
    exitViaEsc();
    return true;
}

void TakeoverWindowController::exitViaEsc() {
    if (m_isExiting) return;
    m_isExiting = true;
    const bool sweepWasRunning = sweepRunning();
    stopSweep();
    Q_UNUSED(sweepWasRunning);

    const Preferences& prefs = Preferences::shared();
    const double kf = prefs.temperature();
    const double iFrom = prefs.intensity();
    // The target keeps to the range the takeover shows: a prior preset below it
    // (500 K) comes back as 1000 K.
    double kt = WarmthSweep::clampKelvin(m_prior.temperature);
    double it = m_prior.intensity;
    bool on = m_prior.enabled;
    if (m_state && m_state->userInteracted) {
        kt = WarmthSweep::clampKelvin(kf);
        it = iFrom;
        on = true;
    }

    m_pendingExitSteps = 2;
    m_restoreFrame = 0;
    m_restoreTimer = m_timers();
    m_restoreTimer->start(FrameTimer::frameInterval, [this, kf, iFrom, kt, it, on] {
        const int frame = ++m_restoreFrame;
        const double s = WarmthSweep::smoothstep(double(frame) / restoreFrames);
        const double k = WarmthSweep::clampKelvin(kf + (kt - kf) * s);
        applyWarmthAnimated(k, iFrom + (it - iFrom) * s);
        if (frame < restoreFrames) return;
        m_restoreTimer->stop();
        restorePrior(kt, it, on);
        exitStepDone();
    });
    teardown(escFadeSeconds, [this] { exitStepDone(); });
    m_exitCompletion = m_onEscFallback;
}

void TakeoverWindowController::restorePrior(double kelvin, double intensity, bool enabled) {
    if (enabled) {
        applyWarmth(kelvin, intensity);
        return;
    }
    // Back to a tint that was off: the warmth the user had is stored again and the
    // switch stays off, so no later re-application brings the takeover's tint back.
    UserDefaults& defaults = UserDefaults::standard();
    defaults.setDouble(PrefKey::temperature, kelvin);
    defaults.setDouble(PrefKey::intensity, intensity);
    defaults.setBool(PrefKey::enabled, false);
    if (m_viewModel) {
        m_viewModel->syncFromPreferences();
        defaults.setDouble(PrefKey::intensity, intensity);
    }
    if (m_state) m_state->setWarmth(kelvin, intensity);
    if (m_overlay) m_overlay->performDisableCleanup();
    defaults.synchronize();
}

void TakeoverWindowController::finish() {
    if (m_isExiting) return;
    m_isExiting = true;
    const bool interrupted = sweepRunning();
    stopSweep();
    // A sweep cut short leaves a passing frame on screen; show what is committed.
    if (interrupted && m_overlay) m_overlay->updateOverlays();
    m_pendingExitSteps = 1;
    m_exitCompletion = m_onFinish;
    teardown(finishFadeSeconds, [this] { exitStepDone(); });
}

void TakeoverWindowController::windowClosed() {
    if (!m_presenter) return;
    if (!m_isExiting) {
        m_isExiting = true;
        const bool interrupted = sweepRunning();
        stopSweep();
        if (interrupted && m_overlay) m_overlay->updateOverlays();
        m_exitCompletion = m_onFinish;
        m_pendingExitSteps = 1;
    }
    m_acceptInput = false;
    if (hooks.menuBarSlideVisible) hooks.menuBarSlideVisible(false);
    QTimer::singleShot(0, this,
                       [p = std::shared_ptr<TakeoverPresenter>(std::move(m_presenter))] {});
    m_state.reset();
    exitStepDone();
}

void TakeoverWindowController::teardown(double fadeSeconds, std::function<void()> completion) {
    if (hooks.menuBarSlideVisible) hooks.menuBarSlideVisible(false);
    m_acceptInput = false;
    if (!m_presenter) {
        completion();
        return;
    }
    QPointer<TakeoverWindowController> self(this);
    m_presenter->fadeOut(fadeSeconds, [self, completion = std::move(completion)] {
        if (!self) return;
        // The presenter is calling from inside itself; let it finish first.
        QTimer::singleShot(
            0, self, [p = std::shared_ptr<TakeoverPresenter>(std::move(self->m_presenter))] {});
        self->m_state.reset();
        completion();
    });
}

void TakeoverWindowController::exitStepDone() {
    if (m_pendingExitSteps > 0) --m_pendingExitSteps;
    if (m_pendingExitSteps > 0) return;
    // Only once the restored or kept warmth is committed and the window is gone.
    m_scheduler.resumeApplies();
    if (auto done = std::exchange(m_exitCompletion, nullptr)) done();
}

void TakeoverWindowController::setBrightnessKeys(bool on) {
    UserDefaults::standard().setBool(PrefKey::brightnessKeyInterception, on);
    // Off stops a running interceptor too: the switch says the keys are the system's.
    if (hooks.brightnessKeysChanged) hooks.brightnessKeysChanged(on);
}

void TakeoverWindowController::setFlickerFree(bool on) {
    UserDefaults::standard().setBool(PrefKey::flickerFree, on);
}

void TakeoverWindowController::setDisableDithering(bool on) {
    UserDefaults::standard().setBool(PrefKey::disableDithering, on);
    if (hooks.disableDitheringChanged) hooks.disableDitheringChanged(on);
}

bool TakeoverWindowController::setLaunchAtLogin(bool on) {
    const std::optional<bool> reported =
        hooks.applyLaunchAtLogin ? hooks.applyLaunchAtLogin(on) : std::nullopt;
    return reported.value_or(Preferences::shared().launchAtLogin());
}

bool TakeoverWindowController::launchAtLoginAtAppearance() {
    const std::optional<bool> reported =
        hooks.launchAtLoginState ? hooks.launchAtLoginState() : std::nullopt;
    if (!Preferences::shared().launchAtLogin()) return setLaunchAtLogin(true);
    // The setting may say on while the entry has gone (removed by hand, say).
    return reported.value_or(true);
}
