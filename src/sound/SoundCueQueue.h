#pragma once

#include <QThread>
#include <functional>
#include <mutex>

class QObject;

// A serial queue: tasks run one at a time, in the order they were queued, on one
// thread that is not the caller's. The sound cue output does all its audio work on
// one; tests substitute a queue they drive by hand.
class SoundCueQueue {
public:
    virtual ~SoundCueQueue() = default;
    // Both may be called from any thread and return at once.
    virtual void async(std::function<void()> task) = 0;
    virtual void asyncAfter(int milliseconds, std::function<void()> task) = 0;
    // Runs `last` after the tasks already queued, then stops: delayed tasks still
    // waiting and anything queued later never run. Returns when `last` has run.
    virtual void shutdown(std::function<void()> last) = 0;
};

// The real queue: a dedicated thread with its own event loop.
class SoundCueWorkerQueue final : public SoundCueQueue {
public:
    explicit SoundCueWorkerQueue(const QString& name);
    ~SoundCueWorkerQueue() override;

    void async(std::function<void()> task) override;
    void asyncAfter(int milliseconds, std::function<void()> task) override;
    void shutdown(std::function<void()> last) override;

private:
    std::mutex m_mutex;
    bool m_stopped = false;
    QThread m_thread;
    QObject* m_context; // lives on m_thread; deleted when it finishes
};
