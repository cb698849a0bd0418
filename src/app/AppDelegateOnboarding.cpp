// The onboarding's wiring: the first-run flow that opens the takeover, and what the
// takeover's two ways out hand over to.
#include "app/AppDelegate.h"
#include "app/PopoverWindow.h"
#include "app/StatusItem.h"
#include "brightness/BrightnessKeyInterceptor.h"
#include "brightness/ValueRampEngine.h"
#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "onboarding/OnboardingSurveyWindowController.h"
#include "onboarding/TakeoverWindow.h"
#include "onboarding/TakeoverWindowController.h"
#include "onboarding/WelcomeWindow.h"
#include "onboarding/WelcomeWindowController.h"
#include "popover/PopoverViewModel.h"
#include "warmth/OverlayWindowController.h"
#include "warmth/PresetManager.h"
#include "warmth/SunsetScheduler.h"

#include <QLoggingCategory>
#include <QPointer>
#include <QTimer>

Q_LOGGING_CATEGORY(lcOnboardingWiring, "com.halcyra.app.onboarding")

namespace {
void call(const std::function<void()>& hook) {
    if (hook) hook();
}
} // namespace

void AppDelegate::wireOnboarding() {
    if (m_takeover) return;
    m_takeover = new TakeoverWindowController(
        *m_sunsetScheduler,
        [](TakeoverWindowController& c) { return std::make_unique<TakeoverWindow>(c); }, {}, {},
        this);
    TakeoverHooks& th = m_takeover->hooks;
    th.pinScheduleOverride = [this] { pinManualOverrideForUser(); };
    th.openPopover = [self = QPointer<AppDelegate>(this)] {
        if (self) self->showPopoverIfNeeded();
    };
    th.brightnessKeysChanged = [this](bool on) {
        call(on ? m_hooks.startKeyInterceptor : m_hooks.stopKeyInterceptor);
    };
    th.disableDitheringChanged = [this](bool on) {
        if (on) call(m_hooks.disableDithering);
    };

    m_welcome = new WelcomeWindowController(
        *m_sunsetScheduler,
        [](WelcomeWindowController& c) { return std::make_unique<WelcomeWindow>(c); }, this);
    WelcomeHooks& wh = m_welcome->hooks;
    wh.pinScheduleOverride = [this] { pinManualOverrideForUser(); };
    wh.startKeyInterceptor = [this] { call(m_hooks.startKeyInterceptor); };
    wh.stopKeyInterceptor = [this] { call(m_hooks.stopKeyInterceptor); };
    wh.cancelWarmthGlides = [] {
        BrightnessKeyInterceptor::shared().ramp().cancel();
        BrightnessKeyInterceptor::shared().warmthRamp().cancel();
    };
    wh.openSurvey = [] { OnboardingSurveyWindowController::shared().open(); };
    m_hooks.previewOnboarding = [this] { previewOnboarding(); };

    if (m_hooks.runFirstRunFlow) return;
    m_hooks.runFirstRunFlow = [this](bool hasSeenWelcome) {
        if (hasSeenWelcome) return;
        UserDefaults& defaults = UserDefaults::standard();
        defaults.setBool(PrefKey::enabled, true);
        defaults.setDouble(PrefKey::temperature, PrefDefault::firstRunTemperature);
        defaults.setDouble(PrefKey::intensity, 4.0);
        defaults.setDouble(PrefKey::brightness, 1.0);
        m_viewModel->setEnabled(true);
        m_viewModel->setTemperature(PrefDefault::firstRunTemperature);
        defaults.setDouble(PrefKey::intensity, 4.0);
        m_viewModel->setBrightness(1.0);
        m_overlayController->updateOverlays();
        defaults.setStringArray(PrefKey::pinnedPresets, PrefDefault::pinnedPresets);
        qCInfo(lcOnboardingWiring).noquote() << QStringLiteral("First run — showing the takeover");

        const QPointer<AppDelegate> self(this);
        const auto markDone = [] {
            UserDefaults& d = UserDefaults::standard();
            d.setBool(PrefKey::welcomeShown, true);
            // The takeover is not shown again, also after a crash a moment later.
            d.synchronize();
        };
        m_takeover->show(
            m_overlayController.get(), m_viewModel.get(),
            [self, markDone] {
                markDone();
                QTimer::singleShot(300, self, [self] {
                    if (self) self->showPopoverIfNeeded();
                });
            },
            [self, markDone] {
                markDone();
                if (self) self->showSettings();
            });
    };
}

void AppDelegate::previewOnboarding() {
    if (!m_welcome) return;
    const QPointer<AppDelegate> self(this);
    m_welcome->showWelcomeWindow(
        m_overlayController.get(), m_viewModel.get(),
        [self](int index) {
            if (self) self->applyPresetAtIndex(index);
        },
        [self] {
            if (self) self->showPopoverIfNeeded();
        },
        true, nullptr);
}
