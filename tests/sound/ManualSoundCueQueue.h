#pragma once

#include "core/Clock.h"
#include "sound/SoundCueQueue.h"

#include <algorithm>
#include <deque>

// A serial queue that runs its tasks only when the test says so, on the test's
// thread, with delays measured on a manual clock.
class ManualSoundCueQueue final : public SoundCueQueue {
public:
    explicit ManualSoundCueQueue(ManualClock& clock) : m_clock(clock) {}

    void async(std::function<void()> task) override { push(0, std::move(task)); }
    void asyncAfter(int milliseconds, std::function<void()> task) override {
        push(milliseconds, std::move(task));
    }
    void shutdown(std::function<void()> last) override {
        if (m_stopped) return;
        runDue();
        m_stopped = true;
        m_tasks.clear();
        if (last) last();
    }

    // Runs every task whose time has come, earliest first (queue order among
    // equals), including tasks those tasks queue.
    int runDue() {
        int ran = 0;
        for (;;) {
            auto due =
                std::min_element(m_tasks.begin(), m_tasks.end(), [](const Task& a, const Task& b) {
                    return a.dueMs < b.dueMs || (a.dueMs == b.dueMs && a.order < b.order);
                });
            if (due == m_tasks.end() || due->dueMs > m_clock.monotonicMs()) return ran;
            std::function<void()> run = std::move(due->run);
            m_tasks.erase(due);
            run();
            ++ran;
        }
    }

    // Moves the clock on and runs what fell due.
    void advance(double seconds) {
        m_clock.advanceSeconds(seconds);
        runDue();
    }

    size_t pending() const { return m_tasks.size(); }

private:
    struct Task {
        qint64 dueMs;
        quint64 order;
        std::function<void()> run;
    };
    void push(int milliseconds, std::function<void()> task) {
        if (!m_stopped)
            m_tasks.push_back({m_clock.monotonicMs() + milliseconds, m_order++, std::move(task)});
    }

    ManualClock& m_clock;
    std::deque<Task> m_tasks;
    quint64 m_order = 0;
    bool m_stopped = false;
};
