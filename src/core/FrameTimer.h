#pragma once

#include <QTimer>
#include <functional>

// A repeating tick source for animations. Animations count ticks rather than read
// the clock, so a test that steps a ManualFrameTimer sees exactly the frames the
// real one would deliver.
class FrameTimer {
public:
    // One frame at 60 frames per second.
    static constexpr double frameInterval = 1.0 / 60.0;

    virtual ~FrameTimer() = default;
    // Starts (or restarts) ticking every `intervalSeconds`; the previous tick handler,
    // if any, is dropped.
    virtual void start(double intervalSeconds, std::function<void()> onTick) = 0;
    // Stops ticking. Safe to call from inside a tick and when not running.
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

// Ticks from a precise QTimer on the thread that starts it (the main event loop).
class QtFrameTimer final : public FrameTimer {
public:
    QtFrameTimer();
    void start(double intervalSeconds, std::function<void()> onTick) override;
    void stop() override;
    bool isActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
    std::function<void()> m_onTick;
};

// Ticks only when told to; for tests.
class ManualFrameTimer final : public FrameTimer {
public:
    void start(double intervalSeconds, std::function<void()> onTick) override;
    void stop() override;
    bool isActive() const override { return m_active; }

    // Delivers one tick when running. Returns whether a tick was delivered.
    bool fire();
    // Delivers up to `maxTicks` ticks, stopping early once the timer stops; returns the
    // number delivered.
    int fireUntilStopped(int maxTicks = 10000);

    double interval() const { return m_interval; }
    int startCount() const { return m_startCount; }
    int ticksDelivered() const { return m_ticks; }

private:
    std::function<void()> m_onTick;
    double m_interval = 0;
    bool m_active = false;
    int m_startCount = 0;
    int m_ticks = 0;
};
