#include "onboarding/WelcomeWindowController.h"

#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "popover/PopoverViewModel.h"
#include "warmth/OverlayWindowController.h"
#include "warmth/SunsetScheduler.h"

#include <QLoggingCategory>
#include <QTimer>
#include <algorithm>

Q_LOGGING_CATEGORY(lcWelcome, "com.halcyra.app.onboarding")

WelcomeWindowController::WelcomeWindowController(SunsetScheduler& scheduler,
                                                 PresenterFactory presenters, QObject* parent)
    : QObject(parent), m_scheduler(scheduler), m_presenters(std::move(presenters)) {}

WelcomeWindowController::~WelcomeWindowController() = default;

double WelcomeWindowController::fitScale(const QRectF& visibleFrame) {
    if (visibleFrame.width() <= 0 || visibleFrame.height() <= 0) return 1.0;
    return std::min(
        {1.0, visibleFrame.width() / designWidth, visibleFrame.height() / designHeight});
}

QPointF WelcomeWindowController::origin(const QSizeF& size, const QRectF& frame) {
    const auto axis = [](double min, double extent, double length) {
        if (min >= min + extent - length) return min;
        return std::clamp(min + (extent - length) * 0.5, min, min + extent - length);
    };
    // A window larger than the frame keeps its top-left corner (and title bar) inside.
    return {axis(frame.left(), frame.width(), size.width()),
            axis(frame.top(), frame.height(), size.height())};
}

void WelcomeWindowController::showWelcomeWindow(OverlayWindowController* overlay,
                                                PopoverViewModel* viewModel,
                                                std::function<void(int)> applyPresetIndex,
                                                std::function<void()> ensurePopoverOpen,
                                                bool isPreview, std::function<void()> onDismiss) {
    if (m_presenter) {
        m_presenter->raise();
        return;
    }
    QPointer<WelcomeWindowController> self(this);
    m_scheduler.setPauseHolder([self] { return self && self->m_presenter; });
    m_overlay = overlay;
    m_viewModel = viewModel;
    m_isPreview = isPreview;
    m_dismissing = false;
    Preferences::shared().beginTransientWarmthFlow();
    // The user's own warmth is on disk before the first live frame writes over it, so a
    // crash mid-tour gives it back at the next start.
    UserDefaults::standard().synchronize();
    if (m_overlay) m_overlay->beginOnboardingSession();
    buildCallbacks(std::move(applyPresetIndex), std::move(ensurePopoverOpen), std::move(onDismiss));
    m_presenter = m_presenters ? m_presenters(*this) : nullptr;
    if (!m_presenter) {
        finishTransientWarmthFlow();
        if (m_overlay) m_overlay->endOnboardingSession();
        m_scheduler.resumeApplies();
        return;
    }
    m_presenter->present(m_callbacks, m_isPreview, viewModel);
}

void WelcomeWindowController::buildCallbacks(std::function<void(int)> applyPresetIndex,
                                             std::function<void()> ensurePopoverOpen,
                                             std::function<void()> onDismiss) {
    QPointer<WelcomeWindowController> self(this);
    WelcomeCallbacks& cb = m_callbacks;
    cb = {};
    cb.dismiss = [self, onDismiss] {
        if (!self || !self->m_presenter) {
            if (onDismiss) onDismiss();
            return;
        }
        if (self->m_dismissing) return;
        self->m_dismissing = true;
        self->m_presenter->fadeOut(dismissFadeSeconds, [onDismiss] {
            if (onDismiss) onDismiss();
        });
    };
    cb.ensurePopoverOpen = ensurePopoverOpen;
    // A replay only shows: it leaves the insight records and the applied preset alone.
    cb.applyPresetIndex = [self, applyPresetIndex](int index) {
        if (self && !self->m_isPreview && applyPresetIndex) applyPresetIndex(index);
    };
    cb.presetTapped = [self](double kelvin, double intensity) {
        if (!self) return;
        self->writeWarmth(kelvin, intensity, true);
        if (self->m_overlay) self->m_overlay->updateOverlays();
        if (self->m_isPreview) return;
        Preferences::shared().commitTransientWarmthChoice(kelvin, intensity, true);
        UserDefaults::standard().synchronize();
        const Preferences& prefs = Preferences::shared();
        if ((prefs.useSchedule() || prefs.autoSunset()) && self->hooks.pinScheduleOverride)
            self->hooks.pinScheduleOverride();
    };
    cb.warmthUpdate = [self](double kelvin, double intensity, bool enabled) {
        if (!self || !UserDefaults::standard().boolean(PrefKey::previewInProgress)) return;
        self->writeWarmth(kelvin, intensity, enabled);
        if (!self->m_overlay) return;
        self->m_overlay->applyGamma(kelvin, intensity, Preferences::shared().brightness());
        if (Preferences::shared().fullHarmonyEnabled() && self->hooks.harmonyWarmthChanged)
            self->hooks.harmonyWarmthChanged(intensity);
    };
    cb.sweepBegin = [self] {
        if (self && self->m_overlay) self->m_overlay->beginWowSweep();
    };
    cb.sweepEnd = [self] {
        if (self && self->m_overlay && self->m_overlay->wowSweepActive())
            self->m_overlay->endWowSweep();
    };
    // A switch the user flips is theirs, in a replay too: it writes and acts at once.
    cb.flickerFreeChanged = [self](bool on) {
        if (!self) return;
        UserDefaults::standard().setBool(PrefKey::flickerFree, on);
    };
    cb.brightnessKeysChanged = [self](bool on) {
        if (!self) return;
        UserDefaults::standard().setBool(PrefKey::brightnessKeyInterception, on);
        const auto& hook = on ? self->hooks.startKeyInterceptor : self->hooks.stopKeyInterceptor;
        if (hook) hook();
    };
    cb.flickerSlideAppeared = [self](bool flickerFree, bool brightnessKeys) {
        if (!self || self->m_isPreview) return;
        UserDefaults::standard().setBool(PrefKey::flickerFree, flickerFree);
        UserDefaults::standard().setBool(PrefKey::brightnessKeyInterception, brightnessKeys);
        if (brightnessKeys && self->hooks.startKeyInterceptor) self->hooks.startKeyInterceptor();
    };
    cb.cardAppeared = [self] {
        if (!self || self->m_isPreview) return;
        UserDefaults::standard().setBool(PrefKey::flickerFree, true);
        if (!Preferences::shared().launchAtLogin() && self->hooks.ensureLaunchAtLogin)
            self->hooks.ensureLaunchAtLogin();
    };
    cb.openSurvey = [self] {
        if (self && self->hooks.openSurvey) self->hooks.openSurvey();
    };
}

void WelcomeWindowController::writeWarmth(double kelvin, double intensity, bool enabled) {
    UserDefaults& d = UserDefaults::standard();
    d.setDouble(PrefKey::temperature, kelvin);
    d.setDouble(PrefKey::intensity, intensity);
    d.setBool(PrefKey::enabled, enabled);
    if (!m_viewModel) return;
    m_viewModel->setTemperature(kelvin);
    d.setDouble(PrefKey::intensity, 4.0);
    m_viewModel->setEnabled(enabled);
}

void WelcomeWindowController::windowClosed() {
    if (!m_presenter) return; // once per opening
    finishTransientWarmthFlow();
    if (m_overlay) {
        if (m_overlay->wowSweepActive()) m_overlay->endWowSweep();
        m_overlay->endOnboardingSession();
    }
    // The presenter may be the caller; it goes once this call has returned.
    QTimer::singleShot(0, [p = std::shared_ptr<WelcomePresenter>(std::move(m_presenter))] {});
    // Only now may the schedule apply again: the restored warmth is on screen.
    m_scheduler.resumeApplies();
}

void WelcomeWindowController::finishTransientWarmthFlow() {
    if (hooks.cancelWarmthGlides) hooks.cancelWarmthGlides();
    const auto restored = Preferences::shared().endTransientWarmthFlow();
    if (restored) {
        if (m_viewModel) {
            // Copied in as an outside change, so a tint that was off is not switched on
            // for a moment on the way; the flow has already stored every value.
            m_viewModel->syncFromPreferences();
            UserDefaults::standard().setDouble(PrefKey::intensity, restored->intensity);
        }
        if (hooks.restoreAmbientBaselines)
            hooks.restoreAmbientBaselines(restored->temperature, restored->brightness);
        if (m_overlay) m_overlay->updateOverlays();
        UserDefaults::standard().synchronize();
        qCInfo(lcWelcome).noquote()
            << QStringLiteral("Tour closed — warmth back at %1K (%2)")
                   .arg(restored->temperature)
                   .arg(restored->enabled ? QStringLiteral("on") : QStringLiteral("off"));
    }
}
