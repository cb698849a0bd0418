#pragma once

#include "platform/OutputMuteProbe.h"

#include <mutex>

// An output whose mute switch and volume tests set; both start unknown.
class SimulatedOutputMuteProbe final : public OutputMuteProbe {
public:
    std::optional<bool> muted() const override;
    std::optional<double> volume() const override;

    void setMuted(std::optional<bool> muted);
    void setVolume(std::optional<double> volume);

private:
    mutable std::mutex m_mutex;
    std::optional<bool> m_muted;
    std::optional<double> m_volume;
};
