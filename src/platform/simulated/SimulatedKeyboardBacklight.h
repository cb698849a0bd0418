#pragma once

#include "platform/KeyboardBacklight.h"

#include <vector>

// An in-memory keyboard backlight with `steps` steps above zero (0: continuous).
class SimulatedKeyboardBacklight final : public KeyboardBacklight {
public:
    explicit SimulatedKeyboardBacklight(bool present = true, int steps = 0)
        : m_present(present), m_steps(steps) {}

    void setPresent(bool present) { m_present = present; }
    // The user's own keys move the backlight.
    void setLevelExternally(float level) { m_level = quantise(level); }
    float currentLevel() const { return m_level; }
    const std::vector<float>& writes() const { return m_writes; }

    QString name() const override { return QStringLiteral("simulated"); }
    bool open() override { return m_present; }
    std::optional<float> level() override {
        if (!m_present) return std::nullopt;
        return m_level;
    }
    bool setLevel(float level) override;

private:
    float quantise(float level) const;

    bool m_present;
    int m_steps;
    float m_level = 0.8f;
    std::vector<float> m_writes;
};
