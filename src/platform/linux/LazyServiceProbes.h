#pragma once

#include "platform/OutputMuteProbe.h"
#include "platform/ScreenCaptureProbe.h"

#include <QObject>
#include <memory>
#include <mutex>

class QFileSystemWatcher;

// The output's mute switch from the service module, opened at the first read (a cue's
// gate; no cue plays in the first second). Unknown where the module cannot be opened.
class LazyOutputMuteProbe final : public OutputMuteProbe {
public:
    std::optional<bool> muted() const override;
    std::optional<double> volume() const override;

private:
    OutputMuteProbe* real() const;

    mutable std::once_flag m_open;
    mutable std::unique_ptr<OutputMuteProbe> m_real;
};

// The screen-capture probe from the service module. The first question comes from the
// start-up's first push, which does not wait for the module: it is opened on the next
// turn of the event loop, and until then nothing is known to watch the screen (as a
// fresh PipeWire graph knows no cast before its registry answers). Where the runtime
// folder holds no PipeWire server, the module waits for the server's socket to appear
// there, and where the environment names no such folder it is never opened. The change
// handler is told once the real probe is there. Main thread only.
class LazyScreenCaptureProbe final : public ScreenCaptureProbe {
public:
    LazyScreenCaptureProbe();
    ~LazyScreenCaptureProbe() override;

    std::optional<bool> screenWatcherPresent() override;
    bool sessionScreenIsShared() override;
    bool announcesChanges() override;
    void setChangeHandler(std::function<void()> handler) override;

    // True once the module was asked for the real probe (whether or not it gave one).
    bool opened() const { return m_opened; }

private:
    void openSoon();
    void openWhereServed();
    void open();

    std::unique_ptr<QObject> m_context; // where the opening is queued
    std::unique_ptr<ScreenCaptureProbe> m_real;
    std::unique_ptr<QFileSystemWatcher> m_serverWatch; // the runtime folder, while no server
    std::function<void()> m_onChange;
    bool m_queued = false;
    bool m_opened = false;
};
