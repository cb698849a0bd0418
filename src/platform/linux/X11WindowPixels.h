#pragma once

#include "platform/WindowPixels.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

// Pixels onto an X11 window as one image request on the toolkit's own connection (so
// it is ordered with the toolkit's requests for the same window). Works wherever the
// application runs on the xcb platform; elsewhere every put is declined.
class X11WindowPixels final : public WindowPixels {
public:
    bool put(quintptr window, const QImage& image, const std::vector<QRect>& pieces) override;

private:
    struct Target {
        uint8_t depth = 0;
    };
    void* toolkitConnection();
    // The window's depth, asked of the server once per window.
    const Target* target(void* connection, uint32_t window);

    std::unordered_map<uint32_t, Target> m_targets;
    std::unordered_map<uint8_t, uint32_t> m_gcByDepth; // one graphics context per depth
    std::vector<uchar> m_rows;
    const void* m_connectionOf = nullptr; // the application object it was asked of
    void* m_connection = nullptr;
    bool m_formatChecked = false;
    bool m_formatUsable = false;
};
