#include "platform/linux/RandRPanels.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

namespace {

int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

QString connectorTypeOf(Display* dpy, RROutput output, Atom property) {
    if (property == None) return {};
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    QString result;
    if (XRRGetOutputProperty(dpy, output, property, 0, 1, False, False, AnyPropertyType, &type,
                             &format, &items, &after, &data) == Success &&
        data && type == XA_ATOM && format == 32 && items == 1) {
        if (char* value = XGetAtomName(dpy, *reinterpret_cast<Atom*>(data))) {
            result = QString::fromLatin1(value);
            XFree(value);
        }
    }
    if (data) XFree(data);
    return result;
}

} // namespace

bool RandRPanels::isBuiltIn(const QString& name, const QString& connectorType) {
    return name.startsWith(QLatin1String("eDP")) || name.startsWith(QLatin1String("LVDS")) ||
           name.startsWith(QLatin1String("DSI")) || connectorType == QLatin1String("Panel");
}

std::vector<QRect> RandRPanels::builtInFrames(const std::vector<Output>& outputs) {
    std::vector<QRect> frames;
    for (const Output& o : outputs)
        if (o.active && o.frame.isValid() && isBuiltIn(o.name, o.connectorType))
            frames.push_back(o.frame);
    return frames;
}

std::vector<QRect> RandRPanels::queryBuiltInFrames(const QString& displayName) {
    const QByteArray name = displayName.toLocal8Bit();
    Display* dpy = XOpenDisplay(name.isEmpty() ? nullptr : name.constData());
    if (!dpy) return {};
    int eventBase = 0, errorBase = 0;
    std::vector<Output> outputs;
    // A server that drops an output while it is read answers with an error, not a crash.
    XErrorHandler previous = XSetErrorHandler(ignoreErrors);
    if (XRRQueryExtension(dpy, &eventBase, &errorBase)) {
        const Window root = DefaultRootWindow(dpy);
        if (XRRScreenResources* res = XRRGetScreenResourcesCurrent(dpy, root)) {
            const Atom connectorType = XInternAtom(dpy, "ConnectorType", True);
            for (int i = 0; i < res->noutput; ++i) {
                XRROutputInfo* info = XRRGetOutputInfo(dpy, res, res->outputs[i]);
                if (!info) continue;
                Output o;
                o.name = QString::fromLocal8Bit(info->name, info->nameLen);
                o.active = info->connection == RR_Connected && info->crtc != None;
                if (o.active) {
                    o.connectorType = connectorTypeOf(dpy, res->outputs[i], connectorType);
                    if (XRRCrtcInfo* crtc = XRRGetCrtcInfo(dpy, res, info->crtc)) {
                        o.frame = QRect(crtc->x, crtc->y, int(crtc->width), int(crtc->height));
                        XRRFreeCrtcInfo(crtc);
                    }
                }
                outputs.push_back(o);
                XRRFreeOutputInfo(info);
            }
            XRRFreeScreenResources(res);
        }
    }
    XSync(dpy, False);
    XSetErrorHandler(previous);
    XCloseDisplay(dpy);
    return builtInFrames(outputs);
}
