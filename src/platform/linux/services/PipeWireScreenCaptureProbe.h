#pragma once

#include "platform/ScreenCaptureProbe.h"

#include <QElapsedTimer>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <set>

// Screen sharing through PipeWire, as the desktop portal makes it: a video source node
// that is a screen cast (not a camera) exists while a cast runs. The graph is watched
// on PipeWire's own thread; the answer is read under a lock, and a cast coming or
// going is announced on the main thread. Without a PipeWire server (or the portal) it
// cannot tell, and says so; it connects again when the server's socket appears in
// the runtime folder (or, unwatched, when asked 30 s after the last try). X11 offers
// no session flag for a shared screen.
class QFileSystemWatcher;
class QObject;

class PipeWireScreenCaptureProbe final : public ScreenCaptureProbe {
public:
    static constexpr qint64 reconnectAfterMs = 30'000;

    PipeWireScreenCaptureProbe();
    ~PipeWireScreenCaptureProbe() override;

    std::optional<bool> screenWatcherPresent() override;
    bool sessionScreenIsShared() override { return false; }
    bool announcesChanges() override;
    void setChangeHandler(std::function<void()> handler) override;

    // Whether a node with these properties is a screen cast (the portal's streams).
    static bool isScreenCast(const char* mediaClass, const char* mediaRole, const char* nodeName,
                             const char* deviceApi);

    struct Graph; // PipeWire objects, made on the turn after the first question

private:
    bool connect();
    void disconnect();
    // Where a PipeWire server would put its socket; empty when none can appear.
    static QString runtimeFolder();
    void watchForServer();

    std::unique_ptr<Graph> m_graph;
    QElapsedTimer m_sinceAttempt;
    std::function<void()> m_onChange;
    std::unique_ptr<QObject> m_mainThread; // where announcements are delivered
    std::unique_ptr<QFileSystemWatcher> m_serverWatch;
    bool m_firstConnectQueued = false;
    bool m_firstConnectDone = false;
};
