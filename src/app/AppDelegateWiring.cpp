// How AppDelegate wires the popover's model, the schedule, insight sampling and the
// system's clock, wake and screensaver events into the shell.
#include "app/AppDelegate.h"
#include "app/CPUWatchdog.h"
#include "core/NotificationNames.h"

#include "app/ScheduleAnnouncementHandler.h"
#include "brightness/AmbientLightController.h"
#include "brightness/BrightnessKeyInterceptor.h"
#include "brightness/KeyboardBrightnessController.h"
#include "core/NotificationCenter.h"
#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "insights/InsightsStore.h"
#include "platform/Platform.h"
#include "platform/SystemEvents.h"
#include "popover/PopoverView.h"
#include "popover/PopoverViewModel.h"
#include "sound/SoundCueEngine.h"
#include "warmth/GammaReassertion.h"
#include "warmth/OverlayWindowController.h"
#include "warmth/PresetManager.h"
#include "warmth/SunsetScheduler.h"

#include <QLoggingCategory>
#include <QTimer>

Q_DECLARE_LOGGING_CATEGORY(lcMenubar)

namespace {

void call(const std::function<void()>& hook) {
    if (hook) hook();
}
} // namespace

void AppDelegate::wireSubsystems() {
    wireSubsystems(SunsetScheduler::shared());
}

void AppDelegate::wireSubsystems(SunsetScheduler& scheduler) {
    if (m_scheduleHandler) return;
    m_sunsetScheduler = &scheduler;
    wireLifecycle();

    ScheduleAnnouncementHandler::Actions actions;
    actions.yieldWarmthToDirectWrite = &BrightnessKeyInterceptor::yieldWarmthToDirectWrite;
    actions.setViewModelEnabled = [this](bool on) { m_viewModel->setEnabled(on); };
    actions.applyGamma = [this](double kelvin, double intensity, double brightness) {
        m_overlayController->applyGamma(kelvin, intensity, brightness);
    };
    // A task of its own, once the announcement has been handled; it only follows a
    // harmony already engaged.
    actions.harmonyWarmthChanged = [this](double intensity) {
        QTimer::singleShot(0, this, [intensity] {
            KeyboardBrightnessController& keyboard = KeyboardBrightnessController::shared();
            if (keyboard.isHarmonyEngaged()) keyboard.harmonyWarmthChanged(intensity);
        });
    };
    actions.updateOverlays = [this] { m_overlayController->updateOverlays(); };
    actions.updateMenuBarIconColor = [this] { updateMenuBarIconColor(); };
    m_scheduleHandler = std::make_unique<ScheduleAnnouncementHandler>(scheduler, std::move(actions),
                                                                      scheduler.clock());

    // Without this, any full re-application (a brightness change, wake, a reload) would
    // jump back to the stored temperature while the schedule governs the tint.
    m_overlayController->setReapplicationWarmthProvider(
        [this]() -> std::optional<OverlayWindowController::ReapplicationWarmth> {
            const auto warmth = m_scheduleHandler->scheduledWarmthForReapplication();
            if (!warmth) return std::nullopt;
            return OverlayWindowController::ReapplicationWarmth{warmth->kelvin, warmth->intensity};
        });

    ShellHooks& h = m_hooks;
    h.setupViewModel = [this] { setupViewModel(); };
    h.setupSunsetScheduler = [this] { setupSunsetScheduler(); };
    h.startInsightsSampling = [] { InsightsStore::shared().startSampling(); };
    h.installSystemEventObservers = [this] { installSystemEventObservers(); };
    // The model read the preview's values when it was made; the restored ones go in
    // through its change handlers, in this order, so the popover shows what is stored.
    // Room light then adapts from them, not from the preview's levels.
    h.recoveredWarmth = [this](double temperature, double brightness, bool enabled) {
        m_viewModel->setTemperature(temperature);
        m_viewModel->setBrightness(brightness);
        m_viewModel->setEnabled(enabled);
        AmbientLightController::shared().restoreManualBaselines(temperature, brightness);
    };
    h.makePopoverContent = [this]() -> QWidget* { return new PopoverView(*m_viewModel); };
    h.popoverVisibilityChanged = [this](bool visible) { m_viewModel->setPopoverVisible(visible); };
    h.toggleEnabled = [this] { toggleEnabled(); };
    h.pinManualOverrideForReload = [this] { pinManualOverrideForReload(); };
    h.syncViewModelFromPreferences = [this] { m_viewModel->syncFromPreferences(); };
    wireKeys();
    wireSettings();
    wireOnboarding();
    wirePeripherals();
}

// ---- View model ----

void AppDelegate::setupViewModel() {
    PopoverViewModel& vm = *m_viewModel;
    vm.onUserToggledEnabled = [this] { pinManualOverrideForUser(); };
    vm.onUserSetWarmth = [this] { pinManualOverrideForUser(); };
    vm.onUpdate = [this] {
        m_overlayController->updateOverlays();
        updateMenuBarIconColor();
    };
    vm.onWatchdogPauseCleared = [] { CPUWatchdog::shared().clearEscalation(); };
    // The settings window comes later; until then the gear only sounds.
    vm.onSettingsPressed = [this] { m_viewModel->cues().play(SoundCue::settingsOpened); };

    NotificationCenter::defaultCenter().removeObserver(this, NotificationName::preferencesChanged);
    NotificationCenter::defaultCenter().addObserver(
        this, NotificationName::preferencesChanged, [this](const Notification&) {
            updateMenuBarIconColor();
            const bool stored = Preferences::shared().showFeedbackBox();
            // Only a change is assigned, so the view sees no spurious updates.
            if (m_viewModel->showFeedbackBox() != stored) m_viewModel->setShowFeedbackBox(stored);
        });
}

void AppDelegate::pinManualOverrideForUser() {
    if (!m_scheduleHandler) return;
    // The view model has already stored and pushed the user's change, but while the
    // schedule governed that push showed the schedule's warmth; once the pin ends the
    // schedule's hold the screen has to show the user's values.
    const bool governedBefore = m_scheduleHandler->scheduledWarmthForReapplication().has_value();
    m_scheduleHandler->pinManualOverride();
    if (governedBefore && !m_scheduleHandler->scheduledWarmthForReapplication()) {
        m_overlayController->updateOverlays();
        updateMenuBarIconColor();
    }
}

void AppDelegate::pinManualOverrideForReload() {
    if (!m_scheduleHandler) return;
    // A reload that leaves the warmth and the switch as the application had them (a
    // brightness edit, say) does not take the warmth over from a governing schedule.
    const Preferences& prefs = Preferences::shared();
    const bool warmthUnchanged = prefs.temperature() == m_viewModel->temperature() &&
                                 prefs.enabled() == m_viewModel->enabled();
    if (warmthUnchanged && m_scheduleHandler->scheduledWarmthForReapplication()) return;
    m_scheduleHandler->pinManualOverride();
}

void AppDelegate::toggleEnabled() {
    Preferences& prefs = Preferences::shared();
    const bool wasOn = prefs.enabled();
    const bool on = !wasOn;
    if (m_scheduleHandler) m_scheduleHandler->pinManualOverride();
    UserDefaults::standard().setBool(PrefKey::enabled, on);
    m_viewModel->setEnabled(on);
    m_overlayController->updateOverlays();
    updateMenuBarIconColor();

    // The peripheral controllers follow once this call has returned.
    if (wasOn) {
        call(m_hooks.restoreDithering);
        QTimer::singleShot(0, this, [this] {
            call(m_hooks.stopKeyInterceptor);
            call(m_hooks.stopPeripherals);
        });
        return;
    }
    if (prefs.disableDithering()) call(m_hooks.disableDithering);
    QTimer::singleShot(0, this, [this] {
        const Preferences& p = Preferences::shared();
        if (p.keyboardBrightnessSync()) call(m_hooks.startKeyboardSync);
        if (p.brightnessKeyInterception()) call(m_hooks.startKeyInterceptor);
        call(m_hooks.startAmbientLight);
        if (p.ambientDimming() || p.adaptToRoomLighting()) call(m_hooks.startALSMonitoring);
    });
}

void AppDelegate::applyPresetAtIndex(int index) {
    const auto applied = PresetManager::shared().resolvedPreset(index);
    if (!applied) return;
    if (!Preferences::shared().enabled()) toggleEnabled();
    PopoverViewModel& vm = *m_viewModel;
    const bool glideBefore = vm.glideNextWarmthWrite;
    vm.glideNextWarmthWrite = true;
    vm.setTemperature(applied->temperature);
    vm.glideNextWarmthWrite = glideBefore;
    // No pin here: the shortcut pins before it calls this, and a pick in the welcome tour
    // leaves the schedule in charge.
    UserDefaults::standard().setDouble(PrefKey::intensity, 4.0);
    InsightsStore::shared().recordPresetUse(applied->name, m_clock.now());
    m_overlayController->updateOverlays();
    updateMenuBarIconColor();
}

// ---- Schedule ----

void AppDelegate::setupSunsetScheduler() {
    if (!m_scheduleHandler) return;
    m_scheduleHandler->install();
    // The settings window is not the only writer of the schedule settings: an edit of
    // the settings file reaches the running application through the store.
    NotificationCenter::defaultCenter().removeObserver(this, UserDefaults::didChangeNotification);
    NotificationCenter::defaultCenter().addObserver(
        this, UserDefaults::didChangeNotification, [this](const Notification& n) {
            if (n.object != &UserDefaults::standard()) return;
            storedSettingsChanged(n.userInfo.value(QStringLiteral("keys")).toStringList());
        });
}

void AppDelegate::storedSettingsChanged(QStringList keys) {
    // An edit of the settings file takes or gives back the keys as the switch does; the
    // switch and the welcome tour act on their own writes.
    if (keys.contains(PrefKey::brightnessKeyInterception) && !settingsWindowIsWriting())
        QTimer::singleShot(0, this, &AppDelegate::followBrightnessKeySetting);
    // A switch or a point edit of the settings window reaches the schedule through its
    // own callback.
    if (settingsWindowIsWriting()) {
        keys.removeAll(PrefKey::useSchedule);
        keys.removeAll(PrefKey::autoSunset);
        keys.removeAll(PrefKey::schedulePoints);
    }
    // The points or their switch: a new schedule announces even an unchanged state.
    if (keys.contains(PrefKey::useSchedule) || keys.contains(PrefKey::schedulePoints)) {
        m_scheduleHandler->scheduleChanged();
        return;
    }
    if (keys.contains(PrefKey::autoSunset))
        m_scheduleHandler->autoSunsetChanged(Preferences::shared().autoSunset());
}

void AppDelegate::followBrightnessKeySetting() {
    const Preferences& prefs = Preferences::shared();
    const bool wanted = prefs.brightnessKeyInterception() && prefs.enabled() && !m_safeModeAtLaunch;
    const bool engaged = m_hooks.keyInterceptorActive && m_hooks.keyInterceptorActive();
    if (wanted && !engaged)
        call(m_hooks.startKeyInterceptor);
    else if (!wanted && engaged)
        call(m_hooks.stopKeyInterceptor);
}

// ---- System events ----

void AppDelegate::installSystemEventObservers() {
    SystemEvents& events = Platform::instance().systemEvents();
    auto logOnly = [](const char* text) {
        return [text] { qCInfo(lcMenubar).noquote() << QString::fromUtf8(text); };
    };
    connect(&events, &SystemEvents::clockDidChange, this, [this] {
        reevaluateScheduleAfterClockChange(
            QStringLiteral("System clock changed — re-evaluating schedule"));
    });
    connect(&events, &SystemEvents::timeZoneDidChange, this, [this] {
        reevaluateScheduleAfterClockChange(
            QStringLiteral("Timezone changed — invalidating solar times + re-evaluating schedule"));
    });
    connect(&events, &SystemEvents::didWake, this, [this] {
        // Asleep, the schedule may have passed a whole morning unseen.
        if (m_scheduleHandler) m_scheduleHandler->timeMovedAbruptly();
        reapplyAfterWake(
            QStringLiteral("System wake detected — scheduling gamma reassert + schedule eval"),
            GammaReassertion::systemWakeDelay);
    });
    connect(&events, &SystemEvents::screensDidWake, this, [this] {
        reapplyAfterWake(
            QStringLiteral("Display wake detected — scheduling gamma reassert + schedule eval"),
            GammaReassertion::displayWakeDelay);
    });
    connect(&events, &SystemEvents::screensaverDidStop, this, [this] {
        qCInfo(lcMenubar).noquote()
            << QStringLiteral("Screensaver stopped — re-applying gamma + schedule eval");
        m_gammaReassertion->scheduleGammaReassert(GammaReassertion::screensaverStopDelay);
        assertScheduleIfActive();
    });
    connect(&events, &SystemEvents::willSleep, this, logOnly("System sleep detected"));
    connect(&events, &SystemEvents::screensDidSleep, this, logOnly("Display sleep detected"));
    connect(&events, &SystemEvents::screensaverDidStart, this, logOnly("Screensaver started"));
}

void AppDelegate::reevaluateScheduleAfterClockChange(const QString& message) {
    qCInfo(lcMenubar).noquote() << message;
    if (!m_sunsetScheduler) return;
    m_sunsetScheduler->clearLastSolarCalcDate();
    if (m_scheduleHandler) m_scheduleHandler->timeMovedAbruptly();
    assertScheduleIfActive();
}

void AppDelegate::reapplyAfterWake(const QString& message, double initialDelay) {
    qCInfo(lcMenubar).noquote() << message;
    // The headroom jump of a wake is not an HDR event.
    m_overlayController->edrGuard().reseed(m_overlayController->currentEDRHeadroomsByDisplay());
    m_gammaReassertion->scheduleGammaReassert(initialDelay);
    assertScheduleIfActive();
}

void AppDelegate::assertScheduleIfActive() {
    // With no schedule on, the engine's answer is "cool", and obeying it would switch
    // off a tint the user turned on by hand.
    const Preferences& prefs = Preferences::shared();
    if (!m_sunsetScheduler || !(prefs.useSchedule() || prefs.autoSunset())) return;
    m_sunsetScheduler->assertDesiredState(m_sunsetScheduler->clock().now());
}
