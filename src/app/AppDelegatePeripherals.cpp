// How AppDelegate wires the room light, the desktop's night light, the keyboard
// backlight, dithering and the XDR boost into the shell and the warmth engine.
#include "app/AppDelegate.h"

#include "brightness/AmbientLightController.h"
#include "brightness/BrightnessKeyInterceptor.h"
#include "brightness/KeyboardBrightnessController.h"
#include "brightness/NightShiftController.h"
#include "core/NotificationCenter.h"
#include "core/NotificationNames.h"
#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "platform/EDRHeadroom.h"
#include "platform/Platform.h"
#include "popover/PopoverView.h"
#include "warmth/DitheringController.h"
#include "warmth/OverlayWindowController.h"
#include "warmth/XDRBoostController.h"
#include "warmth/XDRBoostView.h"

#include <QLoggingCategory>
#include <QPointer>
#include <QTimer>
#include <algorithm>

Q_DECLARE_LOGGING_CATEGORY(lcMenubar)
Q_DECLARE_LOGGING_CATEGORY(lcXDR)

namespace {

const QString kBlocked = QStringLiteral(
    "[Halcyra XDR] Activation blocked — Boost is unavailable in this release (Option A)");

// The largest headroom any screen may show; 1.0 where none shows extended range.
double maxPotentialEDR() {
    double best = 1.0;
    for (const auto& [id, h] : Platform::instance().edrHeadroom().headroomsByDisplay())
        best = std::max(best, h);
    return best;
}

// The boost is never armed: a request for it ends here, and the switch the user sees
// goes back to off, so the settings never claim a boost that is not there.
void refuseActivation() {
    qCInfo(lcXDR).noquote() << kBlocked;
    UserDefaults::standard().setBool(PrefKey::xdrBoostEnabled, false);
}

} // namespace

XDRBoostController& AppDelegate::xdrBoostController() {
    if (!m_xdrBoostController) m_xdrBoostController = std::make_unique<XDRBoostController>();
    return *m_xdrBoostController;
}

void AppDelegate::wirePeripherals() {
    AmbientLightController& ambient = AmbientLightController::shared();
    KeyboardBrightnessController& keyboard = KeyboardBrightnessController::shared();
    NightShiftController& night = NightShiftController::shared();
    DitheringController& dithering = DitheringController::shared();

    ambient.setRampProbes(
        [] { return BrightnessKeyInterceptor::shared().ramp().timer() != nullptr; },
        [] { return BrightnessKeyInterceptor::shared().warmthRamp().timer() != nullptr; });

    ShellHooks& h = m_hooks;
    h.disableDithering = [&dithering] {
        dithering.setDithering(false);
        dithering.registerDisplayCallback();
    };
    h.restoreDithering = [&dithering] { dithering.restore(); };
    h.startAmbientLight = [&ambient, &night] {
        ambient.start();
        night.readNightShiftState();
        night.readTrueToneState();
    };
    h.startALSMonitoring = [&ambient] { ambient.startALSMonitoring(); };
    h.startKeyboardSync = [&keyboard] { keyboard.start(); };
    h.engageHarmony = [&keyboard](double warmth) { keyboard.engageHarmony(warmth); };
    h.restoreStaleHarmonyBaseline = [&keyboard] { keyboard.restoreStaleHarmonyBaselineIfNeeded(); };
    h.disengageHarmonyRestoringBaseline = [&keyboard] { keyboard.disengageHarmony(true); };
    h.stopPeripherals = [&keyboard, &ambient] {
        keyboard.stop();
        ambient.stop();
    };
    h.handBackPeripherals = [&night, &dithering] {
        night.restoreNightShift();
        night.restoreTrueTone();
        dithering.restore();
    };
    h.restoreStalePeripherals = [&night, &dithering] {
        night.restoreStaleStates();
        dithering.restoreStaleState();
    };

    OverlayHooks& o = m_overlayController->hooks();
    o.disableNightShift = [&night] { night.disableNightShift(); };
    o.restoreNightShift = [&night] { night.restoreNightShift(); };
    o.suppressTrueTone = [&night] { night.suppressTrueTone(); };
    o.restoreTrueTone = [&night] { night.restoreTrueTone(); };
    o.writeKeyboardBrightness = [&keyboard](float level) {
        if (keyboard.isAvailable()) keyboard.writeBrightness(level);
    };
    o.harmonyIntensityChanged = [&keyboard](double intensity) {
        if (keyboard.isHarmonyEngaged())
            keyboard.harmonyWarmthChanged(intensity);
        else
            keyboard.engageHarmony(intensity);
    };
    o.harmonyWarmthChangedIfEngaged = [&keyboard](double intensity) {
        keyboard.harmonyWarmthChanged(intensity);
    };
    o.disengageHarmonyRestoringBaseline = [&keyboard] { keyboard.disengageHarmony(true); };

    // The popover shows the room's light while the light controller runs. Without a
    // reading (no sensor) there is no room light to tell, rather than a made-up one.
    auto makeContent = h.makePopoverContent;
    h.makePopoverContent = [makeContent, &ambient]() -> QWidget* {
        QWidget* content = makeContent ? makeContent() : nullptr;
        if (auto* view = qobject_cast<PopoverView*>(content)) {
            auto show = [view, &ambient] {
                const auto r = ambient.lastReading();
                view->setAmbientReading(ambient.isActive() && r ? std::optional<double>(r->cct)
                                                                : std::nullopt);
            };
            show();
            QObject::connect(&ambient, &AmbientLightController::readingChanged, view, show);
            QObject::connect(&ambient, &AmbientLightController::activeChanged, view, show);
        }
        return content;
    };

    // What the settings window's switches drive.
    h.stopKeyboardSync = [&keyboard] {
        if (!keyboard.isHarmonyEngaged()) keyboard.stop();
    };
    h.disableNightShift = [&night] { night.disableNightShift(); };
    h.restoreNightShift = [&night] { night.restoreNightShift(); };
    h.restoreTrueTone = [&night] { night.restoreTrueTone(); };
    h.stopALSMonitoring = [&ambient] { ambient.stopALSMonitoring(); };
    h.registerDitheringReconfiguration = [&dithering] { dithering.registerDisplayCallback(); };
    h.ambientCCT = [&ambient]() -> std::optional<double> {
        const auto r = ambient.lastReading();
        return r ? std::optional<double>(r->cct) : std::nullopt;
    };

    // ---- XDR boost ----
    h.xdrBoostWindowExists = [this] {
        return m_xdrBoostController && m_xdrBoostController->hasWindow();
    };
    h.confirmXDRBoost = [this] { xdrBoostController().confirmBoost(); };
    h.xdrEmergencyReset = [this](const QString& reason) {
        xdrBoostController().emergencyReset(reason);
    };
    h.deactivateXDRBoost = [this] {
        if (m_xdrBoostController) m_xdrBoostController->deactivate();
    };
    h.installXDRObservers = [this] {
        NotificationCenter& center = NotificationCenter::defaultCenter();
        QPointer<AppDelegate> self(this);
        auto* context = new QObject(this);
        center.addObserver(
            context, UserDefaults::didChangeNotification, [self](const Notification& n) {
                if (!self || n.object != &UserDefaults::standard()) return;
                if (!n.userInfo.value(QStringLiteral("keys"))
                         .toStringList()
                         .contains(PrefKey::experimentalXDRBoost))
                    return;
                if (UserDefaults::standard().boolean(PrefKey::experimentalXDRBoost) &&
                    maxPotentialEDR() > 1.0) {
                    self->xdrBoostController();
                    refuseActivation();
                } else if (!Preferences::shared().xdrBoostEnabled()) {
                    self->xdrBoostController().deactivate();
                    self->xdrBoostSuspendedForCapture = false;
                }
            });
        center.addObserver(context, NotificationName::xdrBoostChanged,
                           [self](const Notification& n) {
                               if (!self) return;
                               const QVariant v = n.userInfo.value(QStringLiteral("enabled"));
                               if (v.typeId() == QMetaType::Bool && v.toBool()) {
                                   if (maxPotentialEDR() <= 1.0) return;
                                   // No confirmation is asked for a boost that cannot start.
                                   refuseActivation();
                                   return;
                               }
                               self->xdrBoostController().deactivate();
                               self->xdrBoostSuspendedForCapture = false;
                               self->xdrBoostSuspendedUnconfirmed = false;
                           });
        center.addObserver(
            context, NotificationName::screenCaptureStateChanged, [self](const Notification& n) {
                if (!self) return;
                const QVariant v = n.userInfo.value(QStringLiteral("active"));
                if (v.typeId() == QMetaType::Bool && v.toBool()) {
                    if (!self->m_xdrBoostController || !self->m_xdrBoostController->hasWindow())
                        return;
                    self->xdrBoostSuspendedForCapture = true;
                    self->xdrBoostSuspendedUnconfirmed =
                        self->m_xdrBoostController->awaitingConfirmation();
                    self->m_xdrBoostController->deactivate();
                    qCInfo(lcMenubar).noquote()
                        << QStringLiteral("Capture guard: XDR boost suspended for screen capture");
                    return;
                }
                if (!self->xdrBoostSuspendedForCapture) return;
                self->xdrBoostSuspendedForCapture = false;
                if (maxPotentialEDR() > 1.0) {
                    refuseActivation();
                    self->xdrBoostSuspendedUnconfirmed = false;
                    qCInfo(lcMenubar).noquote() << QStringLiteral(
                        "Capture guard: capture ended — XDR boost stays off (activation blocked)");
                }
            });
        center.addObserver(
            context, NotificationName::xdrStrengthChanged, [self](const Notification& n) {
                if (!self || !self->m_xdrBoostController) return;
                bool ok = false;
                double strength = n.userInfo.value(QStringLiteral("strength")).toDouble(&ok);
                if (!ok) strength = 0.5;
                const float gain =
                    XDRBoostController::computeGain(strength, float(maxPotentialEDR()));
                if (auto* view =
                        qobject_cast<XDRBoostView*>(self->m_xdrBoostController->boostView()))
                    view->updateGain(gain, float(maxPotentialEDR()));
            });
    };
}
