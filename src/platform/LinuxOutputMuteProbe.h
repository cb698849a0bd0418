#pragma once

#include "OutputMuteProbe.h"

#include <memory>

// Mute switch and volume of the default sink of the desktop's sound server
// (PulseAudio, or PipeWire through its PulseAudio service). A background
// connection keeps both up to date, so reads never wait. Without a server (or a
// build without its client library) both are unknown.
class LinuxOutputMuteProbe final : public OutputMuteProbe {
public:
    LinuxOutputMuteProbe();
    ~LinuxOutputMuteProbe() override;

    std::optional<bool> muted() const override;
    std::optional<double> volume() const override;

    struct Connection;

private:
    std::unique_ptr<Connection> m_connection;
};
