#pragma once

#include <QtGlobal>
#include <optional>

// Tells the system undoing our backlight pin (re-pin it) from the user moving the
// backlight with the system's own controls (take that level over as gamma dimming).
struct TouchBrightnessRouter {
    enum class Kind { idle, repin, pending, route };
    struct Action {
        Kind kind = Kind::idle;
        float level = 0.0f; // for route
        bool operator==(const Action&) const = default;
        static Action idle() { return {Kind::idle, 0.0f}; }
        static Action repin() { return {Kind::repin, 0.0f}; }
        static Action pending() { return {Kind::pending, 0.0f}; }
        static Action route(float level) { return {Kind::route, level}; }
    };

    static constexpr double settleWindow = 1.5; // seconds after a pin
    static constexpr float threshold = 0.99f;
    static constexpr float stableEpsilon = 0.02f;
    static constexpr int ticksToConfirm = 2;

    // Steady milliseconds of the last pin; absent = the distant past.
    std::optional<qint64> lastAssertAtMs;
    float lastReading = 1.0f;
    int stableTicks = 0;

    // Stamps a fresh pin: opens the settle window.
    void notePinned(qint64 nowMs);
    Action evaluate(float current, qint64 nowMs);
};
