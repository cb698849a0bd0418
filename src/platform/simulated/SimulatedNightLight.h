#pragma once

#include "platform/NightLight.h"

#include <vector>

// An in-memory night light (and True Tone) for tests.
class SimulatedNightLight final : public NightLight {
public:
    explicit SimulatedNightLight(bool available = true) : m_available(available) {}

    void setAvailable(bool available) { m_available = available; }
    void setUserState(bool enabled, float strength) { m_state = {enabled, strength}; }
    void setRefuseWrites(bool refuse) { m_refuse = refuse; }
    State current() const { return m_state; }
    // Every call of setEnabled / setStrength, in order ("on", "off", "strength 0.6").
    const std::vector<QString>& calls() const { return m_calls; }

    QString name() const override { return QStringLiteral("simulated"); }
    bool isAvailable() override { return m_available; }
    std::optional<State> state() override;
    bool setEnabled(bool on) override;
    bool setStrength(float strength) override;

private:
    bool m_available;
    bool m_refuse = false;
    State m_state{true, 0.5f};
    std::vector<QString> m_calls;
};

class SimulatedTrueTone final : public TrueToneClient {
public:
    explicit SimulatedTrueTone(bool supported = false) : m_supported(supported) {}
    void setSupported(bool s) { m_supported = s; }
    void setUserEnabled(bool e) { m_enabled = e; }
    bool supported() override { return m_supported; }
    bool enabled() override { return m_enabled; }
    void setEnabled(bool on) override {
        if (m_supported) m_enabled = on;
    }

private:
    bool m_supported;
    bool m_enabled = true;
};
