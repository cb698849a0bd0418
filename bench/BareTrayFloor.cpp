// The floor the start-up figures are held against: the least a Qt tray application
// must do to put a tint on screen. It builds the toolkit, shows a status icon and,
// once the toolkit is up, writes one gamma table (the channel gains given as
// arguments, red green blue) to every active CRTC of the X server, then idles.
// With `--mutter INDEX SIZE` before the gains it sends the table to that CRTC through
// GNOME's display configuration on the session bus instead (GetResources for the
// serial, one SetCrtcGamma), as a tray application on GNOME must.
#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <cstdlib>
#include <vector>

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

namespace {
void pushGains(double r, double g, double b) {
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) return;
    XRRScreenResources* res = XRRGetScreenResourcesCurrent(dpy, DefaultRootWindow(dpy));
    for (int c = 0; res && c < res->ncrtc; ++c) {
        XRRCrtcInfo* info = XRRGetCrtcInfo(dpy, res, res->crtcs[c]);
        const bool active = info && info->mode != 0;
        if (info) XRRFreeCrtcInfo(info);
        const int size = active ? XRRGetCrtcGammaSize(dpy, res->crtcs[c]) : 0;
        if (size < 2) continue;
        XRRCrtcGamma* gamma = XRRAllocGamma(size);
        for (int i = 0; i < size; ++i) {
            const double level = double(i) / (size - 1) * 65535.0;
            gamma->red[i] = static_cast<unsigned short>(level * r);
            gamma->green[i] = static_cast<unsigned short>(level * g);
            gamma->blue[i] = static_cast<unsigned short>(level * b);
        }
        XRRSetCrtcGamma(dpy, res->crtcs[c], gamma);
        XRRFreeGamma(gamma);
    }
    if (res) XRRFreeScreenResources(res);
    XFlush(dpy);
    XCloseDisplay(dpy);
}

void pushThroughMutter(uint index, int size, double r, double g, double b) {
    const QString service = QStringLiteral("org.gnome.Mutter.DisplayConfig");
    const QString path = QStringLiteral("/org/gnome/Mutter/DisplayConfig");
    const QDBusConnection bus = QDBusConnection::sessionBus();
    const QDBusMessage resources = bus.call(
        QDBusMessage::createMethodCall(service, path, service, QStringLiteral("GetResources")));
    if (resources.type() != QDBusMessage::ReplyMessage || size < 2) return;
    QVariantList args{resources.arguments().value(0).toUInt(), index};
    for (double top : {r, g, b}) {
        QList<ushort> ramp;
        for (int i = 0; i < size; ++i)
            ramp.append(static_cast<ushort>(double(i) / (size - 1) * top * 65535.0));
        args << QVariant::fromValue(ramp);
    }
    QDBusMessage set =
        QDBusMessage::createMethodCall(service, path, service, QStringLiteral("SetCrtcGamma"));
    set.setArguments(args);
    bus.call(set);
}
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QPixmap sun(22, 22);
    sun.fill(Qt::transparent);
    {
        QPainter p(&sun);
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(QColor(255, 196, 0));
        p.setPen(Qt::NoPen);
        p.drawEllipse(5, 5, 12, 12);
    }
    QSystemTrayIcon tray{QIcon(sun)};
    tray.show();
    const bool mutter = argc > 3 && qstrcmp(argv[1], "--mutter") == 0;
    const int first = mutter ? 4 : 1;
    const auto gain = [&](int i) { return argc > first + i ? std::atof(argv[first + i]) : 1.0; };
    if (mutter) {
        qDBusRegisterMetaType<QList<ushort>>();
        pushThroughMutter(uint(std::atoi(argv[2])), std::atoi(argv[3]), gain(0), gain(1), gain(2));
    } else {
        pushGains(gain(0), gain(1), gain(2));
    }
    return app.exec();
}
