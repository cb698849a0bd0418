#include "LiveDesktop.h"

#include "support/XorgServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QThread>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

const QColor LiveDesktop::kBackdrop(0x2e, 0x8b, 0x57); // nothing in the app is sea green

LiveDesktop::LiveDesktop(const XorgServer& server)
    : m_display(server.display()), m_server(server) {}

LiveDesktop::~LiveDesktop() {
    // The window manager last, so nothing is re-parented while it goes.
    for (auto it = m_helpers.rbegin(); it != m_helpers.rend(); ++it) {
        (*it)->terminate();
        if (!(*it)->waitForFinished(2000)) {
            (*it)->kill();
            (*it)->waitForFinished(1000);
        }
    }
}

std::vector<LiveDesktop::Options> LiveDesktop::desks() {
    return {{.compositor = false, .windowManager = false},
            {.compositor = true, .windowManager = false},
            {.compositor = false, .windowManager = true},
            {.compositor = true, .windowManager = true}};
}

std::string LiveDesktop::deskName(const Options& options) {
    return std::string(options.windowManager ? "Openbox" : "Bare") +
           (options.compositor ? "Composited" : "Plain");
}

QString LiveDesktop::missingTools(const Options& options) {
    QStringList tools{QStringLiteral("xdotool"), QStringLiteral("import")};
    if (options.compositor) tools << QStringLiteral("xcompmgr");
    if (options.windowManager) tools << QStringLiteral("openbox");
    if (options.tray) tools << QStringLiteral("trayer");
    QStringList missing;
    for (const QString& t : tools)
        if (QStandardPaths::findExecutable(t).isEmpty()) missing << t;
    return missing.join(QStringLiteral(", "));
}

bool LiveDesktop::start(const Options& options) {
    m_options = options;
    if (const QString missing = missingTools(options); !missing.isEmpty()) {
        m_error = missing + QStringLiteral(" not installed");
        return false;
    }
    if (!paintRoot()) {
        m_error = QStringLiteral("could not paint the root window");
        return false;
    }
    if (options.windowManager &&
        !startHelper(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")},
                     QStringLiteral("WM_S0")))
        return false;
    // -n: plain compositing, no shadows of its own that would blur the windows' edges.
    if (options.compositor && !startHelper(QStringLiteral("xcompmgr"), {QStringLiteral("-n")},
                                           QStringLiteral("_NET_WM_CM_S0")))
        return false;
    if (options.tray &&
        !startHelper(QStringLiteral("trayer"),
                     {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                      QStringLiteral("right"), QStringLiteral("--height"), QStringLiteral("24")},
                     QStringLiteral("_NET_SYSTEM_TRAY_S0")))
        return false;
    return true;
}

bool LiveDesktop::paintRoot() const {
    Display* dpy = XOpenDisplay(m_display.toLocal8Bit().constData());
    if (!dpy) return false;
    const Window root = DefaultRootWindow(dpy);
    const int screen = DefaultScreen(dpy);
    // A compositing manager paints the root from the pixmap named by _XROOTPMAP_ID, not
    // from its background colour: give it both. The pixmap outlives this connection.
    const Pixmap tile = XCreatePixmap(dpy, root, 8, 8, unsigned(DefaultDepth(dpy, screen)));
    const GC gc = XCreateGC(dpy, tile, 0, nullptr);
    const unsigned long pixel =
        (ulong(kBackdrop.red()) << 16) | (ulong(kBackdrop.green()) << 8) | ulong(kBackdrop.blue());
    XSetForeground(dpy, gc, pixel);
    XFillRectangle(dpy, tile, gc, 0, 0, 8, 8);
    XFreeGC(dpy, gc);
    XSetWindowBackgroundPixmap(dpy, root, tile);
    XClearWindow(dpy, root);
    const Atom rootPixmap = XInternAtom(dpy, "_XROOTPMAP_ID", False);
    XChangeProperty(dpy, root, rootPixmap, XA_PIXMAP, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&tile), 1);
    XSetCloseDownMode(dpy, RetainPermanent);
    XCloseDisplay(dpy);
    return true;
}

bool LiveDesktop::startHelper(const QString& program, const QStringList& args,
                              const QString& selection) {
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_display);
    p->setProcessEnvironment(env);
    p->setStandardOutputFile(QProcess::nullDevice());
    p->setStandardErrorFile(QProcess::nullDevice());
    p->start(program, args);
    if (!p->waitForStarted(3000)) {
        m_error = program + QStringLiteral(" did not start");
        return false;
    }
    m_helpers.push_back(std::move(p));
    QElapsedTimer waited;
    waited.start();
    while (!m_server.selectionOwned(selection) && waited.elapsed() < 5000)
        QThread::msleep(30);
    if (!m_server.selectionOwned(selection)) {
        m_error = program + QStringLiteral(" never took ") + selection;
        return false;
    }
    return true;
}

QString LiveDesktop::label() const {
    QStringList parts;
    if (m_options.windowManager) parts << QStringLiteral("openbox");
    if (m_options.compositor) parts << QStringLiteral("xcompmgr");
    return parts.isEmpty() ? QStringLiteral("bare") : parts.join(QLatin1Char('-'));
}

QString LiveDesktop::waitForWindow(const QString& title, qint64 pid, int timeoutMs) const {
    QElapsedTimer waited;
    waited.start();
    const DisplayDriver x = driver();
    do {
        // --all: xdotool matches any one condition by default, and any visible window
        // of the process (its 22-pixel tray icon) would do.
        QStringList args{QStringLiteral("search"), QStringLiteral("--all"),
                         QStringLiteral("--onlyvisible")};
        if (pid > 0) args << QStringLiteral("--pid") << QString::number(pid);
        args << QStringLiteral("--name") << (title.isEmpty() ? QStringLiteral(".*") : title);
        const QStringList found =
            x.run(QStringLiteral("xdotool"), args).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        if (!found.isEmpty()) return found.front();
        QThread::msleep(50);
    } while (waited.elapsed() < timeoutMs);
    return {};
}

QString LiveDesktop::artifactDir() {
    return QStringLiteral(HALCYRA_TEST_ARTIFACTS "/live");
}

QImage LiveDesktop::grabOnce(const QRect& area) const {
    QDir().mkpath(artifactDir());
    const QString file =
        artifactDir() + QStringLiteral("/.grab-%1.png").arg(QCoreApplication::applicationPid());
    QFile::remove(file);
    const QString crop = QStringLiteral("%1x%2+%3+%4")
                             .arg(area.width())
                             .arg(area.height())
                             .arg(area.x())
                             .arg(area.y());
    driver().run(QStringLiteral("import"),
                 {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("-crop"), crop,
                  QStringLiteral("+repage"), file});
    QImage image(file);
    QFile::remove(file);
    return image.convertToFormat(QImage::Format_RGB32);
}

LiveDesktop::Shot LiveDesktop::grabArea(const QRect& area, const QString& name,
                                        int timeoutMs) const {
    Shot shot;
    QElapsedTimer waited;
    waited.start();
    QImage previous;
    do {
        QThread::msleep(120);
        shot.image = grabOnce(area);
        shot.settled = !shot.image.isNull() && shot.image == previous;
        previous = shot.image;
    } while (!shot.settled && waited.elapsed() < timeoutMs);
    shot.path = artifactDir() + QLatin1Char('/') + name + QStringLiteral(".png");
    if (!shot.image.isNull()) shot.image.save(shot.path);
    return shot;
}

LiveDesktop::Shot LiveDesktop::grabSettled(const QString& window, const QString& name,
                                           int timeoutMs) const {
    const QRect frame = frameOf(window);
    if (frame.isEmpty()) return {};
    const QRect screen(0, 0, 1 << 14, 1 << 14);
    const QRect area = frame.adjusted(-kMargin, -kMargin, kMargin, kMargin) & screen;
    Shot shot = grabArea(area, name, timeoutMs);
    shot.window = frame.translated(-area.topLeft());
    return shot;
}

bool LiveDesktop::isBackdrop(const QColor& c, int tolerance) {
    return std::abs(c.red() - kBackdrop.red()) <= tolerance &&
           std::abs(c.green() - kBackdrop.green()) <= tolerance &&
           std::abs(c.blue() - kBackdrop.blue()) <= tolerance;
}

bool LiveDesktop::hasDetail(const QImage& image, const QRect& area, int minContrast) {
    const QRect r = area & image.rect();
    int lo = 255 * 3, hi = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            const int sum = qRed(p) + qGreen(p) + qBlue(p);
            lo = std::min(lo, sum);
            hi = std::max(hi, sum);
        }
    return !r.isEmpty() && hi - lo >= minContrast * 3;
}

double LiveDesktop::backdropShare(const QImage& image, const QRect& area) {
    const QRect r = area & image.rect();
    if (r.isEmpty()) return 0;
    int clear = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            clear += isBackdrop(image.pixelColor(x, y)) ? 1 : 0;
    return double(clear) / (r.width() * r.height());
}

bool LiveDesktop::cornerIsClear(const Shot& shot, Qt::Corner corner, int inset) {
    const QRect w = shot.window;
    QPoint p;
    switch (corner) {
    case Qt::TopLeftCorner:
        p = w.topLeft() + QPoint(inset, inset);
        break;
    case Qt::TopRightCorner:
        p = w.topRight() + QPoint(-inset, inset);
        break;
    case Qt::BottomLeftCorner:
        p = w.bottomLeft() + QPoint(inset, -inset);
        break;
    case Qt::BottomRightCorner:
        p = w.bottomRight() + QPoint(-inset, -inset);
        break;
    }
    return shot.image.rect().contains(p) && isBackdrop(shot.image.pixelColor(p));
}

QRect LiveDesktop::paintedBounds(const QImage& image, const QRect& area) {
    const QRect r = area & image.rect();
    QRect bounds;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (!isBackdrop(image.pixelColor(x, y))) bounds |= QRect(x, y, 1, 1);
    return bounds;
}

int LiveDesktop::brightPixels(const QImage& image, const QRect& area) {
    const QRect r = area & image.rect();
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            n += qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) > 200;
        }
    return n;
}

double LiveDesktop::changedShare(const QImage& a, const QImage& b, const QRect& area) {
    const QRect r = area & a.rect() & b.rect();
    if (r.isEmpty()) return 0;
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const int d = std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                          std::abs(qBlue(p) - qBlue(q));
            n += d > 60;
        }
    return double(n) / (r.width() * r.height());
}

bool LiveDesktop::within(int ms, const std::function<bool()>& probe) {
    QElapsedTimer t;
    t.start();
    while (!probe()) {
        if (t.elapsed() > ms) return false;
        QThread::msleep(50);
    }
    return true;
}
