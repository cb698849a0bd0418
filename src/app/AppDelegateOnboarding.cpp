// The onboarding's wiring: the first-run flow that opens the takeover, what the
// takeover's two ways out hand over to, and the peripherals its slides reach.
#include "app/AppDelegate.h"
#include "app/LoginItemCompat.h"
#include "app/PopoverWindow.h"
#include "app/StatusItem.h"
#include "brightness/AmbientLightController.h"
#include "brightness/BrightnessKeyInterceptor.h"
#include "brightness/KeyboardBrightnessController.h"
#include "brightness/ValueRampEngine.h"
#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "onboarding/OnboardingSurveyWindowController.h"
#include "onboarding/TakeoverWindow.h"
#include "onboarding/TakeoverWindowController.h"
#include "onboarding/WelcomeWindow.h"
#include "onboarding/WelcomeWindowController.h"
#include "popover/PopoverViewModel.h"
#include "popover/StatusItemGlowController.h"
#include "warmth/OverlayWindowController.h"
#include "warmth/PresetManager.h"
#include "warmth/SunsetScheduler.h"

#include <QPointer>
#include <QTimer>

namespace {
void call(const std::function<void()>& hook) {
    if (hook) hook();
}

// An animated frame moves the keyboard backlight only where harmony already drives it:
// a frame never engages harmony, so a tour's preview switches nothing on.
void followKeyboard(double intensity) {
    KeyboardBrightnessController& keyboard = KeyboardBrightnessController::shared();
    if (keyboard.isHarmonyEngaged()) keyboard.harmonyWarmthChanged(intensity);
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
        call(on ? m_hooks.disableDithering : m_hooks.restoreDithering);
    };
    th.harmonyWarmthChanged = followKeyboard;
    th.applyLaunchAtLogin = [this](bool on) -> std::optional<bool> {
        return m_hooks.applyLoginItem ? m_hooks.applyLoginItem(on) : std::nullopt;
    };
    th.statusAreaPresent = [self = QPointer<AppDelegate>(this)] {
        return self && self->m_statusItem && self->m_statusItem->hasButton();
    };
    th.popoverShortcut = [self = QPointer<AppDelegate>(this)] {
        return self ? self->popoverShortcutText() : QString();
    };
    th.launchAtLoginState = []() -> std::optional<bool> {
        return LoginItemCompat::known(LoginItemCompat::currentState());
    };
    // The menu-bar slide points at the sun in the status area with a breathing glow.
    auto glow = std::make_shared<StatusItemGlowController>();
    th.menuBarSlideVisible = [self = QPointer<AppDelegate>(this), glow](bool visible) {
        if (!visible) {
            glow->hide(true);
            return;
        }
        if (self && self->m_statusItem) glow->show(self->m_statusItem.get());
    };

    m_welcome = new WelcomeWindowController(
        *m_sunsetScheduler,
        [](WelcomeWindowController& c) { return std::make_unique<WelcomeWindow>(c); }, this);
    WelcomeHooks& wh = m_welcome->hooks;
    wh.pinScheduleOverride = [this] { pinManualOverrideForUser(); };
    wh.startKeyInterceptor = [this] { call(m_hooks.startKeyInterceptor); };
    wh.stopKeyInterceptor = [this] { call(m_hooks.stopKeyInterceptor); };
    wh.harmonyWarmthChanged = followKeyboard;
    wh.cancelWarmthGlides = [] {
        AmbientLightController& ambient = AmbientLightController::shared();
        ambient.yieldAxis(AmbientLightController::TransitionAxis::brightness);
        ambient.yieldAxis(AmbientLightController::TransitionAxis::temperature);
        BrightnessKeyInterceptor::shared().ramp().cancel();
        BrightnessKeyInterceptor::shared().warmthRamp().cancel();
    };
    wh.restoreAmbientBaselines = [](double temperature, double brightness) {
        AmbientLightController::shared().restoreManualBaselines(temperature, brightness);
    };
    wh.ensureLaunchAtLogin = [this] {
        if (m_hooks.applyLoginItem) m_hooks.applyLoginItem(true);
    };
    wh.openSurvey = [] { OnboardingSurveyWindowController::shared().open(); };
    m_hooks.previewOnboarding = [this] { previewOnboarding(); };

    // The first-run flow (AppDelegateLifecycle.cpp) writes the first warmth, then
    // hands over here; its two completions mark onboarding as done.
    m_hooks.showTakeover = [this](std::function<void()> onFinish,
                                  std::function<void()> onEscFallback) {
        m_takeover->show(m_overlayController.get(), m_viewModel.get(), std::move(onFinish),
                         std::move(onEscFallback));
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
