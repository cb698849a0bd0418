#include "platform/linux/X11GammaMarker.h"

#include <QByteArray>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace {

// Entries per channel on the largest CRTC a server offers (4096 today), with room.
constexpr long kMaxEntries = 65536;

} // namespace

namespace X11GammaMarker {

unsigned long atom(Display* dpy, unsigned long crtc) {
    const QByteArray name = "_HALCYRA_OWN_GAMMA_CRTC_" + QByteArray::number(qulonglong(crtc));
    return XInternAtom(dpy, name.constData(), False);
}

std::optional<GammaOriginalsStore::Ramps> read(Display* dpy, unsigned long root,
                                               unsigned long atom) {
    if (atom == None) return std::nullopt;
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    // Lengths are counted in 32-bit units.
    const long units = 3 * kMaxEntries / 2;
    const int status = XGetWindowProperty(dpy, root, atom, 0, units, False, XA_CARDINAL, &type,
                                          &format, &items, &after, &data);
    std::optional<GammaOriginalsStore::Ramps> out;
    if (status == Success && data && type == XA_CARDINAL && format == 16 && after == 0 &&
        items >= 6 && items % 3 == 0) {
        // Xlib hands format-16 items back as shorts.
        const auto* values = reinterpret_cast<const unsigned short*>(data);
        const size_t n = items / 3;
        GammaOriginalsStore::Ramps ramps;
        ramps.red.assign(values, values + n);
        ramps.green.assign(values + n, values + 2 * n);
        ramps.blue.assign(values + 2 * n, values + 3 * n);
        out = std::move(ramps);
    }
    if (data) XFree(data);
    return out;
}

void write(Display* dpy, unsigned long root, unsigned long atom,
           const GammaOriginalsStore::Ramps& own) {
    if (atom == None || !own.isValid() || own.size() > kMaxEntries) return;
    std::vector<unsigned short> values;
    values.reserve(size_t(own.size()) * 3);
    for (const auto* channel : {&own.red, &own.green, &own.blue})
        values.insert(values.end(), channel->begin(), channel->end());
    XChangeProperty(dpy, root, atom, XA_CARDINAL, 16, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(values.data()), int(values.size()));
}

void remove(Display* dpy, unsigned long root, unsigned long atom) {
    if (atom != None) XDeleteProperty(dpy, root, atom);
}

} // namespace X11GammaMarker
