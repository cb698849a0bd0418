#include "platform/linux/X11WindowPixels.h"

#include <QGuiApplication>
#include <QLoggingCategory>
#include <cstring>
#include <xcb/xcb.h>

Q_DECLARE_LOGGING_CATEGORY(lcPlatform)

namespace {

// A ZPixmap of depth 24 or 32 must be 32 bits a pixel, least significant byte first,
// to take the image's rows as they are.
bool usableFormat(xcb_connection_t* c) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    if (!setup || setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) return false;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it))
        if ((it.data->depth == 24 || it.data->depth == 32) && it.data->bits_per_pixel != 32)
            return false;
    return true;
}
} // namespace

const X11WindowPixels::Target* X11WindowPixels::target(void* connection, uint32_t window) {
    auto* c = static_cast<xcb_connection_t*>(connection);
    if (auto it = m_targets.find(window); it != m_targets.end()) return &it->second;
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
    if (!geometry) return nullptr;
    const uint8_t depth = geometry->depth;
    free(geometry);
    if (depth != 24 && depth != 32) return nullptr;
    if (!m_gcByDepth.count(depth)) {
        // A context made on this window serves every window of its depth and outlives it.
        const uint32_t gc = xcb_generate_id(c);
        xcb_create_gc(c, gc, window, 0, nullptr);
        m_gcByDepth[depth] = gc;
    }
    return &(m_targets[window] = Target{depth});
}

void* X11WindowPixels::toolkitConnection() {
    // Looked up once per application object: the lookup goes through the toolkit's
    // meta-object system, and a frame puts pixels sixty times a second.
    if (m_connectionOf != qGuiApp) {
        m_connectionOf = qGuiApp;
        auto* x11 =
            qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
        m_connection = x11 ? x11->connection() : nullptr;
    }
    return m_connection;
}

bool X11WindowPixels::put(quintptr window, const QImage& image, const std::vector<QRect>& pieces) {
    auto* c = static_cast<xcb_connection_t*>(toolkitConnection());
    if (!c || xcb_connection_has_error(c) || !window) return false;
    if (!m_formatChecked) {
        m_formatChecked = true;
        m_formatUsable = usableFormat(c);
        if (!m_formatUsable) qCInfo(lcPlatform) << "X server's image format differs: views repaint";
    }
    if (!m_formatUsable || image.depth() != 32) return false;
    // Each piece is one request; one beyond the server's limit goes the toolkit's way.
    const size_t limit = size_t(xcb_get_maximum_request_length(c)) * 4;
    for (const QRect& r : pieces)
        if (size_t(r.width()) * size_t(r.height()) * 4 + 24 > limit) return false;
    const Target* t = target(c, uint32_t(window));
    if (!t) return false;
    for (const QRect& r : pieces) {
        const QRect piece = r & image.rect();
        if (piece.isEmpty()) continue;
        const size_t rowBytes = size_t(piece.width()) * 4;
        const size_t bytes = rowBytes * size_t(piece.height());
        m_rows.resize(bytes);
        for (int y = 0; y < piece.height(); ++y)
            std::memcpy(m_rows.data() + rowBytes * size_t(y),
                        image.constScanLine(piece.top() + y) + size_t(piece.left()) * 4, rowBytes);
        // The request is copied into the connection's buffer before this returns.
        xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, xcb_window_t(window), m_gcByDepth[t->depth],
                      uint16_t(piece.width()), uint16_t(piece.height()), int16_t(piece.left()),
                      int16_t(piece.top()), 0, t->depth, uint32_t(bytes), m_rows.data());
    }
    xcb_flush(c);
    return true;
}
