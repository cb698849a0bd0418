#pragma once

#include "platform/ScreenCaptureProbe.h"

#include <QElapsedTimer>
#include <atomic>
#include <memory>
#include <mutex>
#include <set>

// Screen sharing through PipeWire, as the desktop portal makes it: a video source node
// that is a screen cast (not a camera) exists while a cast runs. The graph is watched
// on PipeWire's own thread; the answer is read under a lock. Without a PipeWire
// server (or the portal) it cannot tell, and says so; it tries to connect again now
// and then. X11 offers no session flag for a shared screen.
class PipeWireScreenCaptureProbe final : public ScreenCaptureProbe {
public:
    static constexpr qint64 reconnectAfterMs = 30'000;

    PipeWireScreenCaptureProbe();
    ~PipeWireScreenCaptureProbe() override;

    std::optional<bool> screenWatcherPresent() override;
    bool sessionScreenIsShared() override { return false; }

    // Whether a node with these properties is a screen cast (the portal's streams).
    static bool isScreenCast(const char* mediaClass, const char* mediaRole, const char* nodeName,
                             const char* deviceApi);

    struct Graph; // PipeWire objects, made on the first question

private:
    bool connect();
    void disconnect();

    std::unique_ptr<Graph> m_graph;
    QElapsedTimer m_sinceAttempt;
};
