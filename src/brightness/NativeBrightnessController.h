#pragma once

#include <optional>

class NativeBacklight;

// The one place that reads and writes the built-in panel's backlight, and the lock
// that lets several components pin it at full level at once: the first holder saves
// the user's level (persisted, so it survives a crash while pinned), the last holder
// to let go puts it back. Without a built-in panel there is nothing to read or pin.
// Main thread only.
class NativeBrightnessController {
public:
    // The holders, as an option set.
    struct BrightnessLock {
        int rawValue = 0;
        static constexpr BrightnessLock overlayPin() { return {1}; }
        static constexpr BrightnessLock keyInterceptor() { return {2}; }
        bool isEmpty() const { return rawValue == 0; }
        bool contains(BrightnessLock other) const {
            return (rawValue & other.rawValue) == other.rawValue;
        }
        void insert(BrightnessLock other) { rawValue |= other.rawValue; }
        void remove(BrightnessLock other) { rawValue &= ~other.rawValue; }
        bool operator==(const BrightnessLock&) const = default;
    };

    NativeBrightnessController() = delete;

    // Sets the panel backlight (clamped to 0..1; not-a-number counts as 1).
    static void set(float level);
    // The panel's level now; absent when it cannot be read (failures are logged).
    static std::optional<float> getQuiet();
    // True when there is a built-in panel backlight to pin.
    static bool hasBuiltinBacklight();

    // Stores (or, with nothing, removes) the level to put back when the pin ends.
    static void setPreLockBrightness(std::optional<double> level);

    static void acquireLock(BrightnessLock holder);
    static void releaseLock(BrightnessLock holder);
    static BrightnessLock lockHolders();

    // At termination: every holder lets go at once, then the saved level (if any) is
    // put back and forgotten.
    static void releaseAllLocks();

    // Tests: forget every holder without touching the backlight.
    static void resetForTesting();

private:
    static NativeBacklight& backlight();
    static bool setReporting(float level);
    static void restoreSavedLevel();
};
