#include "platform/linux/RandRDithering.h"

#include <QByteArray>
#include <QStringList>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <functional>

namespace {
const char* const kProperties[] = {"dithering mode", "dithering depth"};
} // namespace

struct RandRDithering::Impl {
    Display* dpy = nullptr;
    Window root = 0;
    bool opened = false;

    // The connection is made on the first question, after the start-up's first tint
    // (each X connection costs about a millisecond); false without a server that
    // speaks RandR.
    bool connect() {
        if (opened) return dpy != nullptr;
        opened = true;
        dpy = XOpenDisplay(nullptr);
        if (!dpy) return false;
        int eventBase = 0, errorBase = 0;
        if (!XRRQueryExtension(dpy, &eventBase, &errorBase)) {
            XCloseDisplay(dpy);
            dpy = nullptr;
            return false;
        }
        root = DefaultRootWindow(dpy);
        return true;
    }

    // Calls `f` for every connected output with its name.
    void forEachOutput(const std::function<void(RROutput, const QString&)>& f) {
        XRRScreenResources* res = XRRGetScreenResourcesCurrent(dpy, root);
        if (!res) return;
        for (int i = 0; i < res->noutput; ++i) {
            XRROutputInfo* info = XRRGetOutputInfo(dpy, res, res->outputs[i]);
            if (!info) continue;
            const QString name = QString::fromLocal8Bit(info->name, info->nameLen);
            const bool connected = info->connection == RR_Connected;
            XRRFreeOutputInfo(info);
            if (connected) f(res->outputs[i], name);
        }
        XRRFreeScreenResources(res);
    }

    // The atom value of `property` on `output`, as its name; empty when absent.
    QString read(RROutput output, Atom property) {
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        if (XRRGetOutputProperty(dpy, output, property, 0, 1, False, False, AnyPropertyType, &type,
                                 &format, &items, &after, &data) != Success)
            return {};
        QString value;
        if (data && type == XA_ATOM && format == 32 && items == 1) {
            char* n = XGetAtomName(dpy, Atom(*reinterpret_cast<long*>(data)));
            if (n) {
                value = QString::fromLatin1(n);
                XFree(n);
            }
        }
        if (data) XFree(data);
        return value;
    }

    // The values the driver allows for `property` on `output`.
    QStringList allowed(RROutput output, Atom property) {
        QStringList values;
        XRRPropertyInfo* info = XRRQueryOutputProperty(dpy, output, property);
        if (!info) return values;
        for (int i = 0; i < info->num_values; ++i) {
            char* n = XGetAtomName(dpy, Atom(info->values[i]));
            if (n) {
                values << QString::fromLatin1(n);
                XFree(n);
            }
        }
        XFree(info);
        return values;
    }

    bool write(RROutput output, Atom property, const QString& value) {
        if (!allowed(output, property).contains(value)) return false;
        long atom = long(XInternAtom(dpy, value.toLatin1().constData(), False));
        XRRChangeOutputProperty(dpy, output, property, XA_ATOM, 32, PropModeReplace,
                                reinterpret_cast<unsigned char*>(&atom), 1);
        XSync(dpy, False);
        return true;
    }
};

std::unique_ptr<RandRDithering> RandRDithering::open() {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) return nullptr;
    return std::unique_ptr<RandRDithering>(new RandRDithering(std::make_unique<Impl>()));
}

RandRDithering::RandRDithering(std::unique_ptr<Impl> impl) : m(std::move(impl)) {}

RandRDithering::~RandRDithering() {
    if (m->dpy) XCloseDisplay(m->dpy);
}

bool RandRDithering::isAvailable() {
    return !snapshot().isEmpty();
}

QJsonObject RandRDithering::snapshot() {
    QJsonObject all;
    if (!m->connect()) return all;
    m->forEachOutput([&](RROutput output, const QString& name) {
        QJsonObject values;
        for (const char* p : kProperties) {
            const Atom property = XInternAtom(m->dpy, p, True);
            if (property == None) continue;
            const QString v = m->read(output, property);
            if (!v.isEmpty()) values.insert(QString::fromLatin1(p), v);
        }
        if (!values.isEmpty()) all.insert(name, values);
    });
    return all;
}

bool RandRDithering::setDithering(bool enabled) {
    if (!m->connect()) return false;
    const Atom property = XInternAtom(m->dpy, "dithering mode", True);
    if (property == None) return false;
    bool ok = true;
    const QString value = enabled ? QStringLiteral("auto") : QStringLiteral("off");
    m->forEachOutput([&](RROutput output, const QString&) {
        if (m->read(output, property).isEmpty()) return;
        ok = m->write(output, property, value) && ok;
    });
    return ok;
}

bool RandRDithering::restore(const QJsonObject& snapshot) {
    if (!m->connect()) return false;
    bool ok = true;
    m->forEachOutput([&](RROutput output, const QString& name) {
        const QJsonObject values = snapshot.value(name).toObject();
        for (auto it = values.begin(); it != values.end(); ++it) {
            const Atom property = XInternAtom(m->dpy, it.key().toLatin1().constData(), True);
            if (property == None) continue;
            ok = m->write(output, property, it.value().toString()) && ok;
        }
    });
    return ok;
}
