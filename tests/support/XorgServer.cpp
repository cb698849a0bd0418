#include "XorgServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QThread>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#ifndef HALCYRA_SOURCE_DIR
#define HALCYRA_SOURCE_DIR "."
#endif

namespace {
const char* const kDriver = "/usr/lib/xorg/modules/drivers/dummy_drv.so";

QString configPath() {
    return QStringLiteral(HALCYRA_SOURCE_DIR "/tests/support/xorg-dummy.conf");
}

thread_local int t_error = 0;
int recordError(Display*, XErrorEvent* e) {
    t_error = e->error_code;
    return 0;
}

// A short-lived connection with errors trapped instead of fatal.
class FixtureConnection {
public:
    explicit FixtureConnection(const QString& display) {
        const QByteArray name = display.toLocal8Bit();
        m_dpy = XOpenDisplay(name.constData());
        m_previous = XSetErrorHandler(recordError);
        t_error = 0;
    }
    ~FixtureConnection() {
        if (m_dpy) XCloseDisplay(m_dpy);
        XSetErrorHandler(m_previous);
    }
    Display* get() const { return m_dpy; }
    bool failed() const { return t_error != 0; }

private:
    Display* m_dpy = nullptr;
    XErrorHandler m_previous = nullptr;
};
} // namespace

XorgServer::XorgServer() = default;

XorgServer::~XorgServer() {
    stop();
}

bool XorgServer::isAvailable(QString* why) {
    auto fail = [why](const QString& reason) {
        if (why) *why = reason;
        return false;
    };
    if (QStandardPaths::findExecutable(QStringLiteral("Xorg")).isEmpty())
        return fail(QStringLiteral("Xorg is not installed (xserver-xorg-core)"));
    if (!QFile::exists(QString::fromLatin1(kDriver)))
        return fail(QStringLiteral("the dummy video driver is not installed "
                                   "(xserver-xorg-video-dummy)"));
    // Xorg accepts a configuration file outside its own folders only from root.
    if (::geteuid() != 0) return fail(QStringLiteral("Xorg with a private config needs root"));
    return true;
}

bool XorgServer::start(int timeoutMs) {
    stop();
    m_error.clear();
    if (!isAvailable(&m_error)) return false;
    m_dir = std::make_unique<QTemporaryDir>();
    const QString emptyConfigDir = m_dir->path() + QStringLiteral("/xorg.conf.d");
    QDir().mkpath(emptyConfigDir);

    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    m_process->setStandardErrorFile(m_dir->path() + QStringLiteral("/stderr.txt"));
    // -displayfd 1: Xorg takes the first free display number and writes it to stdout
    // once it accepts connections.
    m_process->start(QStringLiteral("Xorg"),
                     {QStringLiteral("-noreset"), QStringLiteral("-nolisten"),
                      QStringLiteral("tcp"), QStringLiteral("+extension"), QStringLiteral("RANDR"),
                      QStringLiteral("-config"), configPath(), QStringLiteral("-configdir"),
                      emptyConfigDir, QStringLiteral("-logfile"), logFile(),
                      QStringLiteral("-displayfd"), QStringLiteral("1")});
    if (!m_process->waitForStarted(timeoutMs)) {
        m_error = QStringLiteral("Xorg did not start: %1").arg(m_process->errorString());
        stop();
        return false;
    }
    QElapsedTimer elapsed;
    elapsed.start();
    QByteArray out;
    while (!out.contains('\n') && elapsed.elapsed() < timeoutMs &&
           m_process->state() == QProcess::Running) {
        m_process->waitForReadyRead(100);
        out += m_process->readAllStandardOutput();
    }
    bool ok = false;
    const int number = out.trimmed().toInt(&ok);
    if (!ok) {
        m_error = QStringLiteral("Xorg gave no display number (see %1)").arg(logFile());
        stop();
        return false;
    }
    m_display = QStringLiteral(":%1").arg(number);
    while (elapsed.elapsed() < timeoutMs) {
        if (FixtureConnection(m_display).get()) return true;
        QThread::msleep(20);
    }
    m_error = QStringLiteral("Xorg on %1 does not answer").arg(m_display);
    stop();
    return false;
}

void XorgServer::stop() {
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(5000)) {
            m_process->kill();
            m_process->waitForFinished(2000);
        }
    }
    m_process.reset();
    m_display.clear();
}

bool XorgServer::isRunning() const {
    return m_process && m_process->state() == QProcess::Running && !m_display.isEmpty();
}

qint64 XorgServer::pid() const {
    return m_process ? m_process->processId() : 0;
}

QString XorgServer::logFile() const {
    return m_dir ? m_dir->path() + QStringLiteral("/Xorg.log") : QString();
}

std::vector<XorgServer::Crtc> XorgServer::activeCrtcs() const {
    std::vector<Crtc> crtcs;
    FixtureConnection c(m_display);
    Display* dpy = c.get();
    if (!dpy) return crtcs;
    XRRScreenResources* res = XRRGetScreenResourcesCurrent(dpy, DefaultRootWindow(dpy));
    if (!res) return crtcs;
    for (int i = 0; i < res->noutput; ++i) {
        XRROutputInfo* info = XRRGetOutputInfo(dpy, res, res->outputs[i]);
        if (info && info->connection == RR_Connected && info->crtc != None) {
            Crtc crtc;
            crtc.id = info->crtc;
            crtc.output = res->outputs[i];
            crtc.outputName = QString::fromLocal8Bit(info->name, info->nameLen);
            crtc.gammaSize = XRRGetCrtcGammaSize(dpy, info->crtc);
            crtcs.push_back(crtc);
        }
        if (info) XRRFreeOutputInfo(info);
    }
    XRRFreeScreenResources(res);
    return crtcs;
}

std::optional<XorgServer::Ramps> XorgServer::crtcRamps(unsigned long crtc) const {
    FixtureConnection c(m_display);
    if (!c.get()) return std::nullopt;
    XRRCrtcGamma* gamma = XRRGetCrtcGamma(c.get(), crtc);
    if (!gamma || c.failed()) {
        if (gamma) XRRFreeGamma(gamma);
        return std::nullopt;
    }
    Ramps ramps;
    ramps.red.assign(gamma->red, gamma->red + gamma->size);
    ramps.green.assign(gamma->green, gamma->green + gamma->size);
    ramps.blue.assign(gamma->blue, gamma->blue + gamma->size);
    XRRFreeGamma(gamma);
    return ramps;
}

bool XorgServer::setCrtcRamps(unsigned long crtc, const Ramps& ramps) const {
    FixtureConnection c(m_display);
    if (!c.get() || ramps.red.empty()) return false;
    XRRCrtcGamma* gamma = XRRAllocGamma(int(ramps.red.size()));
    const size_t bytes = ramps.red.size() * sizeof(unsigned short);
    std::memcpy(gamma->red, ramps.red.data(), bytes);
    std::memcpy(gamma->green, ramps.green.data(), bytes);
    std::memcpy(gamma->blue, ramps.blue.data(), bytes);
    XRRSetCrtcGamma(c.get(), crtc, gamma);
    XSync(c.get(), False);
    XRRFreeGamma(gamma);
    return !c.failed();
}

bool XorgServer::selectionOwned(const QString& selection) const {
    FixtureConnection c(m_display);
    if (!c.get()) return false;
    const Atom atom = XInternAtom(c.get(), selection.toLatin1().constData(), False);
    return XGetSelectionOwner(c.get(), atom) != None;
}

XorgServer::Ramps XorgServer::identityRamps(int size) {
    Ramps r;
    r.red.resize(size);
    for (int i = 0; i < size; ++i)
        r.red[i] = quint16((i * 65535L + (size - 1) / 2) / (size - 1));
    r.green = r.blue = r.red;
    return r;
}

std::unique_ptr<XorgServer> XorgServer::startForBenchmark() {
    QString why;
    auto server = std::make_unique<XorgServer>();
    if (!isAvailable(&why) || !server->start()) {
        std::printf("  skipped: no private X server (%s)\n",
                    qPrintable(why.isEmpty() ? server->errorString() : why));
        return nullptr;
    }
    if (server->activeCrtcs().empty()) {
        std::printf("  skipped: the X server has no active CRTC\n");
        return nullptr;
    }
    return server;
}
