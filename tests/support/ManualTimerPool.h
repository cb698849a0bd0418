#pragma once

#include "core/FrameTimer.h"

#include <memory>
#include <vector>

// Manual timers that outlive the component's handle on them: the component gets a
// proxy (destroying it stops the timer, as destroying a real one would), the test
// keeps the timer, so it can still be fired and inspected once the component let go.
class ManualTimerPool {
public:
    std::unique_ptr<FrameTimer> make() {
        m_timers.push_back(std::make_unique<ManualFrameTimer>());
        return std::make_unique<Proxy>(m_timers.back().get());
    }
    ManualFrameTimer& operator[](size_t i) { return *m_timers.at(i); }
    size_t size() const { return m_timers.size(); }
    ManualFrameTimer& last() { return *m_timers.back(); }

private:
    class Proxy final : public FrameTimer {
    public:
        explicit Proxy(ManualFrameTimer* t) : m_t(t) {}
        ~Proxy() override { m_t->stop(); }
        void start(double s, std::function<void()> f) override { m_t->start(s, std::move(f)); }
        void stop() override { m_t->stop(); }
        bool isActive() const override { return m_t->isActive(); }

    private:
        ManualFrameTimer* m_t;
    };
    std::vector<std::unique_ptr<ManualFrameTimer>> m_timers;
};
