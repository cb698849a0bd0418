#pragma once

#include "platform/GammaOriginalsStore.h"

#include <optional>

// Xlib's own declaration; its header defines names that clash with Qt's.
typedef struct _XDisplay Display;

// A CRTC's own ramps kept on the X server itself, as a property of the root window,
// from before the first tint reaches it until they are handed back. Its life is the
// server's: a start that finds it knows the ramps on screen are a tint a killed run left,
// however its state folder fared, and the server drops it when it ends, as it drops
// the tint.
namespace X11GammaMarker {

// The property's name for `crtc` (one round trip; the push path keeps it).
unsigned long atom(Display* dpy, unsigned long crtc);
std::optional<GammaOriginalsStore::Ramps> read(Display* dpy, unsigned long root,
                                               unsigned long atom);
// Queued on the connection without a round trip: it reaches the server ahead of any
// ramps sent after it.
void write(Display* dpy, unsigned long root, unsigned long atom,
           const GammaOriginalsStore::Ramps& own);
void remove(Display* dpy, unsigned long root, unsigned long atom);

} // namespace X11GammaMarker
