#include "NativeBrightnessController.h"

#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "platform/NativeBacklight.h"
#include "platform/Platform.h"

#include <QLoggingCategory>
#include <algorithm>
#include <cmath>

Q_LOGGING_CATEGORY(lcNativeBrightness, "com.halcyra.app.native-brightness")

namespace {
NativeBrightnessController::BrightnessLock g_lockHolders;
} // namespace

NativeBacklight& NativeBrightnessController::backlight() {
    return Platform::instance().nativeBacklight();
}

bool NativeBrightnessController::hasBuiltinBacklight() {
    return backlight().isAvailable();
}

void NativeBrightnessController::set(float level) {
    setReporting(level);
}

bool NativeBrightnessController::setReporting(float level) {
    float v = std::isnan(level) ? 1.0f : std::min(level, 1.0f);
    if (v < 0.0f) v = 0.0f;
    NativeBacklight& device = backlight();
    if (!device.isAvailable()) {
        // A machine without a panel backlight (a desktop) is not a fault.
        qCInfo(lcNativeBrightness).noquote() << "SetBrightness (logind, sysfs) not available";
        return false;
    }
    const int status = device.setBrightness(v);
    if (status != NativeBacklight::success) {
        qCCritical(lcNativeBrightness).noquote()
            << QStringLiteral("SetBrightness (logind, sysfs) failed: %1").arg(status);
        return false;
    }
    qCInfo(lcNativeBrightness).noquote()
        << QStringLiteral("Native brightness set to %1").arg(double(v), 0, 'f', 3);
    return true;
}

std::optional<float> NativeBrightnessController::getQuiet() {
    NativeBacklight& device = backlight();
    if (!device.isAvailable()) {
        qCInfo(lcNativeBrightness).noquote() << "sysfs brightness read not available";
        return std::nullopt;
    }
    float level = 0.0f;
    const int status = device.brightness(level);
    if (status != NativeBacklight::success) {
        qCCritical(lcNativeBrightness).noquote()
            << QStringLiteral("sysfs brightness read failed: %1").arg(status);
        return std::nullopt;
    }
    return level;
}

void NativeBrightnessController::setPreLockBrightness(std::optional<double> level) {
    if (level)
        UserDefaults::standard().setDouble(PrefKey::preBrightnessKeyNativeBrightness, *level);
    else
        UserDefaults::standard().remove(PrefKey::preBrightnessKeyNativeBrightness);
}

void NativeBrightnessController::acquireLock(BrightnessLock holder) {
    // Without a built-in panel there is nothing to save or pin; the holder still counts.
    const bool panel = hasBuiltinBacklight();
    if (panel && g_lockHolders.isEmpty() &&
        !Preferences::shared().preBrightnessKeyNativeBrightness()) {
        if (auto level = getQuiet()) setPreLockBrightness(double(*level));
    }
    const bool reassert = !g_lockHolders.isEmpty();
    g_lockHolders.insert(holder);
    if (!panel) return;
    // Every warmth push re-takes the pin, up to 60 times a second during a ramp: while
    // pinned, only a panel that has drifted from full is written (and logged) again.
    float level = 0.0f;
    if (reassert && backlight().brightness(level) == NativeBacklight::success && level >= 1.0f)
        return;
    set(1.0f);
}

void NativeBrightnessController::restoreSavedLevel() {
    auto saved = Preferences::shared().preBrightnessKeyNativeBrightness();
    if (!saved) return;
    // Every push that wants no pin comes here: without a panel the level simply stays
    // saved, instead of an error line per frame of a ramp.
    if (!hasBuiltinBacklight()) return;
    // A level that could not be put back stays saved for the next release or launch.
    if (setReporting(float(*saved))) setPreLockBrightness(std::nullopt);
}

void NativeBrightnessController::releaseLock(BrightnessLock holder) {
    g_lockHolders.remove(holder);
    if (!g_lockHolders.isEmpty()) return;
    restoreSavedLevel();
}

NativeBrightnessController::BrightnessLock NativeBrightnessController::lockHolders() {
    return g_lockHolders;
}

void NativeBrightnessController::releaseAllLocks() {
    g_lockHolders = {};
    restoreSavedLevel();
}

void NativeBrightnessController::resetForTesting() {
    g_lockHolders = {};
}
