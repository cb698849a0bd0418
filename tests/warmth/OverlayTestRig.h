#pragma once

#include "brightness/NativeBrightnessController.h"
#include "core/Clock.h"
#include "core/FrameTimer.h"
#include "core/Logging.h"
#include "core/Preferences.h"
#include "platform/Platform.h"
#include "platform/simulated/SimulatedDisplayGamma.h"
#include "platform/simulated/SimulatedEDRHeadroom.h"
#include "platform/simulated/SimulatedNativeBacklight.h"
#include "support/TestStore.h"
#include "warmth/ColorTemperature.h"
#include "warmth/OverlayWindowController.h"

#include <QCoreApplication>
#include <memory>
#include <vector>

// A warmth engine over simulated displays, backlight and EDR readings, with a
// hand-stepped clock and hand-fired timers. One rig at a time: it replaces the
// process-wide platform and captures the log.
struct OverlayRig {
    TestStore store;
    LogCapture log;
    ManualClock clock;
    std::vector<ManualFrameTimer*> timers; // edr, pin, backstop, verify, forceLock
    SimulatedDisplayGamma* gamma = nullptr;
    SimulatedNativeBacklight* backlight = nullptr;
    SimulatedEDRHeadroom* edr = nullptr;
    std::unique_ptr<OverlayWindowController> engine;

    OverlayRig() {
        Platform::setInstance(Platform::makeSimulated());
        gamma = Platform::instance().simulatedDisplayGamma();
        backlight = Platform::instance().simulatedNativeBacklight();
        edr = Platform::instance().simulatedEDRHeadroom();
        gamma->removeDisplay(1);
        NativeBrightnessController::resetForTesting();
        DisplayedWarmth::resetForTesting();
        engine = std::make_unique<OverlayWindowController>(clock, [this] {
            auto t = std::make_unique<ManualFrameTimer>();
            timers.push_back(t.get());
            return t;
        });
    }
    ~OverlayRig() {
        engine.reset();
        NativeBrightnessController::resetForTesting();
        Platform::setInstance(Platform::makeSimulated());
    }

    ManualFrameTimer& edrTimer() { return *timers[0]; }
    ManualFrameTimer& pinTimer() { return *timers[1]; }
    ManualFrameTimer& backstopTimer() { return *timers[2]; }
    ManualFrameTimer& verifyTimer() { return *timers[3]; }
    ManualFrameTimer& forceLockTimer() { return *timers[4]; }

    UserDefaults& defaults() { return store.defaults(); }
    void enable(double kelvin = 3400.0, double intensity = 4.0, double brightness = 1.0) {
        defaults().setBool(PrefKey::enabled, true);
        defaults().setDouble(PrefKey::temperature, kelvin);
        defaults().setDouble(PrefKey::intensity, intensity);
        defaults().setDouble(PrefKey::brightness, brightness);
    }
    // Runs the main tasks queued by the engine.
    static void drain() { QCoreApplication::processEvents(); }

    static float top(const std::vector<float>& t) { return t.back(); }
    bool isIdentity(DisplayId id) {
        auto* d = gamma->display(id);
        return d && d->red == SimulatedDisplayGamma::identityTable(d->tableSize) &&
               d->green == d->red && d->blue == d->red;
    }
};
