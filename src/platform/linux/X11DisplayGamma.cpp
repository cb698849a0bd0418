#include "platform/linux/X11DisplayGamma.h"

#include "platform/linux/GammaSignalRestore.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <mutex>
#include <pthread.h>

Q_LOGGING_CATEGORY(lcX11Gamma, "com.halcyra.app.overlay")

using Ramps = GammaOriginalsStore::Ramps;

struct X11DisplayGamma::SignalState {
    std::mutex mutex;
    std::map<unsigned long, Ramps> originals;
};

namespace {
thread_local int t_lastError = 0;

int recordError(Display*, XErrorEvent* event) {
    t_lastError = event->error_code;
    return 0;
}

// Catches X errors of the calls made while it lives instead of letting Xlib's
// default handler end the process.
class ErrorTrap {
public:
    ErrorTrap() : m_previous(XSetErrorHandler(recordError)) { t_lastError = 0; }
    ~ErrorTrap() { XSetErrorHandler(m_previous); }
    int error() const { return t_lastError; }

private:
    XErrorHandler m_previous;
};

int quietIOError(Display*) {
    return 0;
}

void markDead(Display*, void* self) {
    *static_cast<bool*>(self) = true;
}

bool builtinName(const QString& name) {
    return name.startsWith(QLatin1String("eDP")) || name.startsWith(QLatin1String("LVDS")) ||
           name.startsWith(QLatin1String("DSI"));
}

int writeCrtc(Display* dpy, RRCrtc crtc, const Ramps& ramps) {
    XRRCrtcGamma* gamma = XRRAllocGamma(ramps.size());
    if (!gamma) return DisplayGamma::failure;
    const size_t bytes = size_t(ramps.size()) * sizeof(unsigned short);
    std::memcpy(gamma->red, ramps.red.data(), bytes);
    std::memcpy(gamma->green, ramps.green.data(), bytes);
    std::memcpy(gamma->blue, ramps.blue.data(), bytes);
    ErrorTrap trap;
    XRRSetCrtcGamma(dpy, crtc, gamma);
    // The request still points into the buffer until it is flushed.
    XSync(dpy, False);
    XRRFreeGamma(gamma);
    return trap.error() ? DisplayGamma::failure : DisplayGamma::success;
}

std::vector<quint16> toRamp(const std::vector<float>& table, int size) {
    std::vector<quint16> out(size);
    const int n = int(table.size());
    for (int j = 0; j < size; ++j) {
        const double pos = double(j) * double(n - 1) / double(size - 1);
        const int lo = std::min(int(pos), n - 1);
        const int hi = std::min(lo + 1, n - 1);
        const double f = pos - lo;
        double v = table[lo] * (1.0 - f) + table[hi] * f;
        v = std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 1.0);
        out[j] = quint16(std::lround(v * 65535.0));
    }
    return out;
}

std::vector<float> fromRamp(const std::vector<quint16>& ramp, int size) {
    std::vector<float> out(size);
    const int n = int(ramp.size());
    for (int j = 0; j < size; ++j) {
        const double pos = size > 1 ? double(j) * double(n - 1) / double(size - 1) : 0.0;
        const int lo = std::min(int(pos), n - 1);
        const int hi = std::min(lo + 1, n - 1);
        const double f = pos - lo;
        out[j] = float((ramp[lo] * (1.0 - f) + ramp[hi] * f) / 65535.0);
    }
    return out;
}
} // namespace

std::unique_ptr<X11DisplayGamma> X11DisplayGamma::open(const QString& displayName,
                                                       const QString& storePath) {
    const QByteArray name = displayName.toLocal8Bit();
    Display* dpy = XOpenDisplay(displayName.isEmpty() ? nullptr : name.constData());
    if (!dpy) return nullptr;
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(dpy, &eventBase, &errorBase) || !XRRQueryVersion(dpy, &major, &minor) ||
        major < 1 || (major == 1 && minor < 2)) {
        XCloseDisplay(dpy);
        return nullptr;
    }
    std::unique_ptr<X11DisplayGamma> gamma(
        new X11DisplayGamma(dpy, QString::fromLocal8Bit(DisplayString(dpy)),
                            storePath.isEmpty() ? GammaOriginalsStore::defaultPath() : storePath));
    gamma->m_randrEventBase = eventBase;
    return gamma;
}

X11DisplayGamma::X11DisplayGamma(Display* dpy, const QString& name, const QString& storePath)
    : m_display(dpy), m_store(storePath), m_signalState(std::make_shared<SignalState>()) {
    // ":0.0" and ":0" are the same server; keys name the server, not the screen.
    static const QRegularExpression screenSuffix(QStringLiteral("\\.\\d+$"));
    m_displayName = QString(name).remove(screenSuffix);
    m_root = DefaultRootWindow(dpy);
    XSetIOErrorHandler(quietIOError);
    XSetIOErrorExitHandler(dpy, markDead, &m_dead);
    XRRSelectInput(dpy, m_root,
                   RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
    if (QCoreApplication::instance()) {
        m_notifier =
            std::make_unique<QSocketNotifier>(ConnectionNumber(dpy), QSocketNotifier::Read);
        connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { processEvents(); });
    }
    refreshOutputs();

    // A second connection, used only from the signal-restore worker thread.
    const QByteArray n = name.toLocal8Bit();
    m_signalDisplay = XOpenDisplay(n.constData());
    if (m_signalDisplay) {
        XSetIOErrorExitHandler(m_signalDisplay, markDead, &m_signalDead);
        Display* signalDpy = m_signalDisplay;
        std::shared_ptr<SignalState> state = m_signalState;
        m_signalToken = GammaSignalRestore::install([signalDpy, state] {
            std::map<unsigned long, Ramps> originals;
            {
                std::lock_guard lock(state->mutex);
                originals = state->originals;
            }
            for (const auto& [crtc, ramps] : originals)
                writeCrtc(signalDpy, crtc, ramps);
        });
    }
}

X11DisplayGamma::~X11DisplayGamma() {
    if (m_signalDisplay) {
        GammaSignalRestore::uninstall(m_signalToken);
        XCloseDisplay(m_signalDisplay);
    }
    m_notifier.reset();
    XCloseDisplay(m_display);
}

QString X11DisplayGamma::storeKey(unsigned long crtc) const {
    return QStringLiteral("%1/crtc-%2").arg(m_displayName).arg(crtc);
}

bool X11DisplayGamma::refreshOutputs() {
    if (m_dead) return false;
    ErrorTrap trap;
    XRRScreenResources* res = XRRGetScreenResourcesCurrent(m_display, m_root);
    if (!res) return false;
    const RROutput primary = XRRGetOutputPrimary(m_display, m_root);
    const Atom connectorType = XInternAtom(m_display, "ConnectorType", True);
    std::vector<Output> outputs;
    for (int i = 0; i < res->noutput; ++i) {
        XRROutputInfo* info = XRRGetOutputInfo(m_display, res, res->outputs[i]);
        if (!info) continue;
        if (info->connection == RR_Connected && info->crtc != None) {
            Output o;
            o.id = DisplayId(res->outputs[i]);
            o.crtc = info->crtc;
            o.name = QString::fromLocal8Bit(info->name, info->nameLen);
            o.builtin = builtinName(o.name);
            if (!o.builtin && connectorType != None) {
                Atom type = None;
                int format = 0;
                unsigned long items = 0, after = 0;
                unsigned char* data = nullptr;
                if (XRRGetOutputProperty(m_display, res->outputs[i], connectorType, 0, 1, False,
                                         False, AnyPropertyType, &type, &format, &items, &after,
                                         &data) == Success &&
                    data && type == XA_ATOM && format == 32 && items == 1) {
                    if (char* value = XGetAtomName(m_display, *reinterpret_cast<Atom*>(data))) {
                        o.builtin = qstrcmp(value, "Panel") == 0;
                        XFree(value);
                    }
                }
                if (data) XFree(data);
            }
            o.gammaSize = XRRGetCrtcGammaSize(m_display, o.crtc);
            if (o.gammaSize >= 2) outputs.push_back(o);
        }
        XRRFreeOutputInfo(info);
    }
    XRRFreeScreenResources(res);
    if (m_dead) return false;

    m_main = 0;
    for (const Output& o : outputs)
        if (o.id == primary) m_main = o.id;
    if (m_main == 0 && !outputs.empty()) m_main = outputs.front().id;
    m_outputs = std::move(outputs);
    for (const Output& o : *m_outputs)
        adoptOriginals(o);
    return true;
}

const X11DisplayGamma::Output* X11DisplayGamma::output(DisplayId display) {
    if (!m_outputs && !refreshOutputs()) return nullptr;
    for (const Output& o : *m_outputs)
        if (o.id == display) return &o;
    return nullptr;
}

unsigned long X11DisplayGamma::crtcOf(DisplayId display) {
    const Output* o = output(display);
    return o ? o->crtc : 0;
}

QString X11DisplayGamma::outputName(DisplayId display) {
    const Output* o = output(display);
    return o ? o->name : QString();
}

std::optional<Ramps> X11DisplayGamma::readRamps(unsigned long crtc) {
    if (m_dead) return std::nullopt;
    ErrorTrap trap;
    XRRCrtcGamma* gamma = XRRGetCrtcGamma(m_display, crtc);
    if (!gamma || trap.error() || gamma->size < 2) {
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

int X11DisplayGamma::writeRamps(unsigned long crtc, const Ramps& ramps) {
    if (m_dead) return failure;
    const int status = writeCrtc(m_display, crtc, ramps);
    // XSync may have queued events without the socket staying readable.
    if (XEventsQueued(m_display, QueuedAlready) > 0 && !m_processQueued) {
        m_processQueued = true;
        QMetaObject::invokeMethod(
            this, [this] { processEvents(); }, Qt::QueuedConnection);
    }
    return status;
}

void X11DisplayGamma::adoptOriginals(const Output& output) {
    if (m_originals.contains(output.crtc)) return;
    std::optional<Ramps> current = readRamps(output.crtc);
    if (!current) return;
    const QString key = storeKey(output.crtc);
    const std::optional<GammaOriginalsStore::Record> saved = m_store.record(key);
    if (saved && saved->tinted && saved->originals.size() == current->size() &&
        GammaOriginalsStore::isStraightRamp(*current)) {
        // Our tint outlived the last run (a crash or kill -9): the saved ramps are the
        // display's own, not what is on screen now.
        qCInfo(lcX11Gamma).noquote()
            << QStringLiteral("Display %1 still carries a tint from a previous run — keeping its "
                              "saved ramps")
                   .arg(output.name);
        m_originals[output.crtc] = saved->originals;
        // Put them back now: with the tint off nothing else writes this CRTC, and one
        // that comes online after start-up would keep the stale tint.
        if (writeRamps(output.crtc, saved->originals) == success)
            m_store.setTinted(key, false);
        else
            m_tinted.insert(output.crtc);
    } else {
        m_originals[output.crtc] = *current;
        if (!saved || saved->tinted || !(saved->originals == *current) ||
            saved->output != output.name)
            m_store.setRecord(key, {output.name, *current, false});
    }
    publishOriginalsForSignal();
}

void X11DisplayGamma::publishOriginalsForSignal() {
    // Keep SIGTERM and SIGINT off this thread while the lock is held, so a handler
    // can never wait for a worker that waits for this thread.
    sigset_t block, previous;
    sigemptyset(&block);
    sigaddset(&block, SIGTERM);
    sigaddset(&block, SIGINT);
    pthread_sigmask(SIG_BLOCK, &block, &previous);
    {
        std::lock_guard lock(m_signalState->mutex);
        m_signalState->originals = m_originals;
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

void X11DisplayGamma::processEvents() {
    m_processQueued = false;
    if (m_dead) return;
    bool changed = false;
    while (XPending(m_display) > 0) {
        XEvent event;
        XNextEvent(m_display, &event);
        const int type = event.type - m_randrEventBase;
        if (type == RRScreenChangeNotify) XRRUpdateConfiguration(&event);
        if (type == RRScreenChangeNotify || type == RRNotify) changed = true;
    }
    if (!changed) return;

    std::vector<DisplayId> before;
    if (m_outputs)
        for (const Output& o : *m_outputs)
            before.push_back(o.id);
    const DisplayId mainBefore = m_main;
    m_outputs.reset();
    refreshOutputs();
    std::vector<DisplayId> after;
    if (m_outputs)
        for (const Output& o : *m_outputs)
            after.push_back(o.id);
    for (DisplayId id : after)
        if (std::find(before.begin(), before.end(), id) == before.end())
            m_pendingChange.displayAdded = true;
    for (DisplayId id : before)
        if (std::find(after.begin(), after.end(), id) == after.end())
            m_pendingChange.displayRemoved = true;
    if (m_main != mainBefore) m_pendingChange.mainDisplayChanged = true;

    // Announced from the event loop, never from inside a table operation.
    if (m_announcePending) return;
    m_announcePending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_announcePending = false;
            const DisplayReconfiguration change = m_pendingChange;
            m_pendingChange = {};
            announceReconfiguration(change);
        },
        Qt::QueuedConnection);
}

std::optional<std::vector<DisplayId>> X11DisplayGamma::onlineDisplays() {
    processEvents();
    if (m_dead) return std::nullopt; // the server went away
    if (!m_outputs && !refreshOutputs()) return std::nullopt;
    std::vector<DisplayId> ids;
    for (const Output& o : *m_outputs)
        ids.push_back(o.id);
    return ids;
}

DisplayId X11DisplayGamma::mainDisplay() {
    if (m_dead) return 0;
    if (!m_outputs) refreshOutputs();
    return m_main;
}

bool X11DisplayGamma::isBuiltin(DisplayId display) {
    const Output* o = output(display);
    return o && o->builtin;
}

int X11DisplayGamma::setTransferTables(DisplayId display, const std::vector<float>& red,
                                       const std::vector<float>& green,
                                       const std::vector<float>& blue) {
    if (red.size() < 2 || red.size() != green.size() || red.size() != blue.size())
        return badArgument;
    const Output* o = output(display);
    if (!o) return invalidDisplay;
    const unsigned long crtc = o->crtc;
    Ramps ramps{toRamp(red, o->gammaSize), toRamp(green, o->gammaSize), toRamp(blue, o->gammaSize)};
    const int status = writeRamps(crtc, ramps);
    if (status != success) return status;
    auto original = m_originals.find(crtc);
    if (original != m_originals.end() && !(original->second == ramps) && !m_tinted.contains(crtc)) {
        m_tinted.insert(crtc);
        m_store.setTinted(storeKey(crtc), true);
    }
    return success;
}

int X11DisplayGamma::transferTables(DisplayId display, int capacity, std::vector<float>& red,
                                    std::vector<float>& green, std::vector<float>& blue) {
    if (capacity < 1) return badArgument;
    const Output* o = output(display);
    if (!o) return invalidDisplay;
    const std::optional<Ramps> ramps = readRamps(o->crtc);
    if (!ramps) return failure;
    const int n = std::min(capacity, ramps->size());
    red = fromRamp(ramps->red, n);
    green = fromRamp(ramps->green, n);
    blue = fromRamp(ramps->blue, n);
    return success;
}

void X11DisplayGamma::restoreColorSettings() {
    if (m_dead) return;
    if (!m_outputs) refreshOutputs();
    for (const auto& [crtc, ramps] : m_originals) {
        if (writeRamps(crtc, ramps) != success) continue;
        m_tinted.erase(crtc);
        m_store.setTinted(storeKey(crtc), false);
    }
}
