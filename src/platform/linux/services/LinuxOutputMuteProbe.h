#pragma once

#include "platform/OutputMuteProbe.h"

#include <memory>
#include <mutex>

// Mute switch and volume of the default sink of the desktop's sound server
// (PulseAudio, or PipeWire through its PulseAudio service). A background
// connection, opened at the first read, keeps both up to date, so reads never wait
// (the very first answers unknown). Without a server (or a build without its client
// library) both are unknown.
class LinuxOutputMuteProbe final : public OutputMuteProbe {
public:
    LinuxOutputMuteProbe();
    ~LinuxOutputMuteProbe() override;

    std::optional<bool> muted() const override;
    std::optional<double> volume() const override;

    struct Connection;

private:
    Connection& connection() const;

    mutable std::once_flag m_connect;
    mutable std::unique_ptr<Connection> m_connection;
};
