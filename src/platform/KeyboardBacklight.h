#pragma once

#include <QString>
#include <optional>

// The keyboard's backlight as a level in 0..1 (the device's steps mapped onto it).
class KeyboardBacklight {
public:
    virtual ~KeyboardBacklight() = default;
    virtual QString name() const = 0;
    // Finds the device; false when there is none. May be called again.
    virtual bool open() = 0;
    // None when the level cannot be read.
    virtual std::optional<float> level() = 0;
    // Clamped to 0..1 and rounded to the nearest step; false when the write failed.
    virtual bool setLevel(float level) = 0;
};
