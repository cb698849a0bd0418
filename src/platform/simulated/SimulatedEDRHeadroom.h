#pragma once

#include "platform/EDRHeadroom.h"

#include <functional>
#include <map>
#include <optional>

// Linux has no extended-dynamic-range headroom to read, so every screen reports 1.0
// unless a test scripts another value. The screens are the online displays.
class SimulatedEDRHeadroom final : public EDRHeadroom {
public:
    using ScreenList = std::function<std::vector<DisplayId>()>;
    explicit SimulatedEDRHeadroom(ScreenList screens) : m_screens(std::move(screens)) {}

    void setHeadroom(DisplayId display, double headroom) { m_headroom[display] = headroom; }
    void clearHeadrooms() { m_headroom.clear(); }
    // Replaces the screen list (absent: the online displays again).
    void setScreens(std::optional<std::vector<DisplayId>> screens) {
        m_override = std::move(screens);
    }

    std::vector<std::pair<DisplayId, double>> headroomsByDisplay() override;
    // A real session has no headroom source: nothing will ever script a change.
    void setFixed(bool fixed) { m_fixed = fixed; }
    bool canChange() const override { return !m_fixed; }

private:
    ScreenList m_screens;
    std::optional<std::vector<DisplayId>> m_override;
    std::map<DisplayId, double> m_headroom;
    bool m_fixed = false;
};
