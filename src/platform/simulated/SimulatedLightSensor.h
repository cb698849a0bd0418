#pragma once

#include "platform/LightSensor.h"

// A light sensor driven by tests: present or absent, and a level or a failed read.
class SimulatedLightSensor final : public LightSensor {
public:
    explicit SimulatedLightSensor(bool present = true) : m_present(present) {}

    void setPresent(bool present) { m_present = present; }
    // None makes the next reads fail.
    void setLux(std::optional<double> lux) { m_lux = lux; }
    int readCount() const { return m_reads; }

    QString name() const override { return QStringLiteral("simulated"); }
    bool open() override { return m_present; }
    std::optional<double> readLux() override {
        ++m_reads;
        return m_present ? m_lux : std::nullopt;
    }

private:
    bool m_present;
    std::optional<double> m_lux = 300.0;
    int m_reads = 0;
};
