#pragma once

#include <QImage>
#include <QRect>
#include <vector>

// Puts pixels a view has already composed straight onto its native window, now,
// beside the toolkit's own backing store. A view that changes a few pixels every
// frame saves the toolkit's round of posted repaint, painter set-up and, on X11, the
// wait for the server to finish with shared memory before the next frame may paint.
// The view stays the owner of its pixels: whatever the toolkit repaints (an expose)
// is drawn from the same image.
class WindowPixels {
public:
    virtual ~WindowPixels() = default;
    // Sends each of `pieces` (device pixels) of `image` to the same place on `window` (a
    // native window id), all in one write. `image` is 32-bit premultiplied ARGB. False
    // when this cannot be done here (nothing was sent); the caller then repaints the
    // usual way.
    virtual bool put(quintptr window, const QImage& image, const std::vector<QRect>& pieces) = 0;
};
