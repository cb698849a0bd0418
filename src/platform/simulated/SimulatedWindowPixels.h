#pragma once

#include "platform/WindowPixels.h"

#include <vector>

// No window system to put pixels on unless a test says so; then every put is kept.
class SimulatedWindowPixels final : public WindowPixels {
public:
    bool put(quintptr, const QImage&, const std::vector<QRect>& pieces) override {
        if (m_accepting) m_puts.push_back(pieces);
        return m_accepting;
    }
    void setAccepting(bool accepting) { m_accepting = accepting; }
    // Each accepted put's pieces.
    const std::vector<std::vector<QRect>>& puts() const { return m_puts; }
    void clear() { m_puts.clear(); }

private:
    bool m_accepting = false;
    std::vector<std::vector<QRect>> m_puts;
};
