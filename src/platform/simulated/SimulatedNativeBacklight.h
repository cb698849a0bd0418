#pragma once

#include "platform/NativeBacklight.h"

#include <vector>

// An in-memory panel backlight. `steps` > 0 quantises levels like a real device with
// that many steps above zero.
class SimulatedNativeBacklight final : public NativeBacklight {
public:
    explicit SimulatedNativeBacklight(bool available = true) : m_available(available) {}

    void setAvailable(bool available) { m_available = available; }
    // Something other than us moves the backlight (the user's own controls).
    void setLevelExternally(float level) { m_level = quantise(level); }
    float level() const { return m_level; }
    void setSteps(int steps) { m_steps = steps; }
    void setGetStatus(int status) { m_getStatus = status; }
    void setSetStatus(int status) { m_setStatus = status; }
    const std::vector<float>& setCalls() const { return m_setCalls; }
    void clearSetCalls() { m_setCalls.clear(); }

    bool isAvailable() const override { return m_available; }
    QString deviceName() const override { return QStringLiteral("simulated"); }
    int brightness(float& level) override;
    int setBrightness(float level) override;

private:
    float quantise(float level) const;

    bool m_available;
    float m_level = 0.7f;
    int m_steps = 0;
    int m_getStatus = success;
    int m_setStatus = success;
    std::vector<float> m_setCalls;
};
