#include "FrameTimer.h"

#include <cmath>

QtFrameTimer::QtFrameTimer() {
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        // Copy: the handler may restart the timer with a new handler.
        auto tick = m_onTick;
        if (tick) tick();
    });
}

void QtFrameTimer::start(double intervalSeconds, std::function<void()> onTick) {
    m_onTick = std::move(onTick);
    m_timer.start(std::max(1, int(std::lround(intervalSeconds * 1000.0))));
}

void QtFrameTimer::stop() {
    m_timer.stop();
    m_onTick = nullptr;
}

void ManualFrameTimer::start(double intervalSeconds, std::function<void()> onTick) {
    m_onTick = std::move(onTick);
    m_interval = intervalSeconds;
    m_active = true;
    ++m_startCount;
}

void ManualFrameTimer::stop() {
    m_active = false;
    m_onTick = nullptr;
}

bool ManualFrameTimer::fire() {
    if (!m_active || !m_onTick) return false;
    ++m_ticks;
    auto tick = m_onTick;
    tick();
    return true;
}

int ManualFrameTimer::fireUntilStopped(int maxTicks) {
    int n = 0;
    while (n < maxTicks && fire())
        ++n;
    return n;
}
