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

#include <QPointer>
#include <QTimer>

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
