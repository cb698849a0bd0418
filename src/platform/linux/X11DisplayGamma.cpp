#include "platform/linux/X11DisplayGamma.h"

#include "platform/linux/GammaOriginalsAdoption.h"
#include "platform/linux/GammaRampSampling.h"

#include "platform/linux/GammaSignalRestore.h"
#include "platform/linux/RandRPanels.h"
#include "platform/linux/X11GammaMarker.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QThread>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xlibint.h> // _XSend, for extensions
#include <X11/extensions/Xrandr.h>
#undef min
#undef max
#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

Q_LOGGING_CATEGORY(lcX11Gamma, "com.halcyra.app.overlay")

using Ramps = GammaOriginalsStore::Ramps;

struct X11DisplayGamma::SignalState {
    std::mutex mutex;
    std::map<unsigned long, Ramps> originals;
};

namespace {
// The X errors seen by the innermost live trap on this thread, oldest first.
struct TrappedError {
    unsigned long serial;
    int code;
    int major;
    int minor;
};
thread_local std::vector<TrappedError>* t_trapped = nullptr;

int recordError(Display*, XErrorEvent* event) {
    if (t_trapped)
        t_trapped->push_back(
            {event->serial, event->error_code, event->request_code, event->minor_code});
    return 0;
}

} // namespace

// Catches X errors read while it lives instead of letting Xlib's default handler end
// the process. A push is not waited for, so its refusal can turn up in any later
// call: errors carry the serial of the request they answer.
class X11ErrorTrap {
public:
    X11ErrorTrap() : m_previous(XSetErrorHandler(recordError)), m_outer(t_trapped) {
        t_trapped = &m_errors;
    }
    ~X11ErrorTrap() {
        t_trapped = m_outer;
        XSetErrorHandler(m_previous);
    }
    // The first error answering a request sent at or after `serial`; 0 when none.
    int errorSince(unsigned long serial) const {
        for (const TrappedError& e : m_errors)
            if (e.serial >= serial) return e.code;
        return 0;
    }
    int error() const { return m_errors.empty() ? 0 : m_errors.front().code; }
    const std::vector<TrappedError>& errors() const { return m_errors; }

private:
    XErrorHandler m_previous;
    std::vector<TrappedError>* m_outer;
    std::vector<TrappedError> m_errors;
};

namespace {

int quietIOError(Display*) {
    return 0;
}

void markDead(Display*, void* self) {
    *static_cast<bool*>(self) = true;
}

enum class Send { waitForVerdict, flush, queue };

// Hands the requests Xlib has queued to the server. XFlush also looks for events after
// writing, two empty reads on every tint frame; this connection's events are read when
// its socket says they are there (the socket notifier).
void sendQueued(Display* dpy) {
    LockDisplay(dpy);
    _XSend(dpy, nullptr, 0);
    UnlockDisplay(dpy);
}

// Copies the ramps into `gamma` (which must have their size) and sends them: waits
// for the server's verdict, only flushes, or leaves the request in Xlib's buffer for
// a later flush (Xlib copies the ramps out of `gamma` as it queues them). Returns the
// request's serial; errors land in the caller's trap.
unsigned long loadCrtc(Display* dpy, RRCrtc crtc, XRRCrtcGamma* gamma, const Ramps& ramps,
                       Send send) {
    const size_t bytes = size_t(ramps.size()) * sizeof(unsigned short);
    std::memcpy(gamma->red, ramps.red.data(), bytes);
    std::memcpy(gamma->green, ramps.green.data(), bytes);
    std::memcpy(gamma->blue, ramps.blue.data(), bytes);
    const unsigned long serial = NextRequest(dpy);
    XRRSetCrtcGamma(dpy, crtc, gamma);
    if (send == Send::waitForVerdict)
        XSync(dpy, False);
    else if (send == Send::flush)
        sendQueued(dpy);
    return serial;
}

int writeCrtc(Display* dpy, RRCrtc crtc, const Ramps& ramps) {
    XRRCrtcGamma* gamma = XRRAllocGamma(ramps.size());
    if (!gamma) return DisplayGamma::failure;
    X11ErrorTrap trap;
    const unsigned long serial = loadCrtc(dpy, crtc, gamma, ramps, Send::waitForVerdict);
    XRRFreeGamma(gamma);
    return trap.errorSince(serial) ? DisplayGamma::failure : DisplayGamma::success;
}

} // namespace

// Where each ramp entry samples a table of another size: the two neighbours and
// their weights, worked out once per pair of sizes.
struct X11DisplayGamma::Resampling {
    struct Sample {
        int lo, hi;
        double lowWeight, highWeight;
    };
    int tableSize = 0;
    int rampSize = 0;
    std::vector<Sample> samples;
};

const X11DisplayGamma::Resampling& X11DisplayGamma::resampling(int tableSize, int rampSize) {
    for (const Resampling& r : m_resamplings)
        if (r.tableSize == tableSize && r.rampSize == rampSize) return r;
    Resampling r{tableSize, rampSize, {}};
    r.samples.resize(rampSize);
    const int n = tableSize;
    for (int j = 0; j < rampSize; ++j) {
        const double pos = double(j) * double(n - 1) / double(rampSize - 1);
        const int lo = std::min(int(pos), n - 1);
        const double f = pos - lo;
        r.samples[j] = {lo, std::min(lo + 1, n - 1), 1.0 - f, f};
    }
    m_resamplings.push_back(std::move(r));
    return m_resamplings.back();
}

// The 16-bit ramps for a CRTC of `size` entries, made once per distinct set of
// tables and size: several displays, and repeated pushes of one tint, share them.
const Ramps& X11DisplayGamma::convertedRamps(const std::vector<float>& red,
                                             const std::vector<float>& green,
                                             const std::vector<float>& blue, int size) {
    auto same = [](const std::vector<float>& a, const std::vector<float>& b) {
        return a.size() == b.size() &&
               std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
    };
    if (!same(red, m_convertedFrom[0]) || !same(green, m_convertedFrom[1]) ||
        !same(blue, m_convertedFrom[2])) {
        m_convertedFrom[0] = red; // assigned in place: the buffers are reused
        m_convertedFrom[1] = green;
        m_convertedFrom[2] = blue;
        ++m_convertedTables; // every size's ramps are stale; their buffers stay
    }
    auto& [madeFrom, out] = m_converted[size];
    if (madeFrom == m_convertedTables && out.size() == size) return out;
    madeFrom = m_convertedTables;
    out.red.resize(size);
    out.green.resize(size);
    out.blue.resize(size);
    const std::vector<float>* in[3] = {&red, &green, &blue};
    std::vector<quint16>* to[3] = {&out.red, &out.green, &out.blue};
    if (int(red.size()) == size) {
        // A table the size of the ramp (the usual 256 entries) is taken entry for entry.
        for (int c = 0; c < 3; ++c) {
            const float* table = in[c]->data();
            quint16* ramp = to[c]->data();
            for (int j = 0; j < size; ++j)
                ramp[j] = GammaRampSampling::rampLevel(table[j]);
        }
        return out;
    }
    const Resampling& plan = resampling(int(red.size()), size);
    for (int c = 0; c < 3; ++c) {
        const float* table = in[c]->data();
        quint16* ramp = to[c]->data();
        for (int j = 0; j < size; ++j) {
            const Resampling::Sample& s = plan.samples[j];
            // An entry that falls on a table entry takes it alone: a NaN or an infinity
            // beside it must not blacken it through a weight of 0.
            ramp[j] = GammaRampSampling::rampLevel(
                s.highWeight == 0 ? double(table[s.lo])
                                  : table[s.lo] * s.lowWeight + table[s.hi] * s.highWeight);
        }
    }
    return out;
}

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
    int opcode = 0;
    if (XQueryExtension(dpy, RANDR_NAME, &opcode, &eventBase, &errorBase))
        gamma->m_randrOpcode = opcode;
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
        // What one pass of the event loop pushes leaves in one write when the loop is
        // about to wait, together with any round trip made before then.
        if (QAbstractEventDispatcher* loop = QAbstractEventDispatcher::instance(thread())) {
            connect(loop, &QAbstractEventDispatcher::aboutToBlock, this,
                    &X11DisplayGamma::sendPushes);
            m_sendOnIdle = true;
        }
    }
    // A second connection, used only from the signal-restore worker thread. Its
    // handshake with the server runs beside the first reading of the outputs (Xlib
    // connections are independent, and Xlib is thread-initialised since 1.8).
    const QByteArray n = name.toLocal8Bit();
    std::thread opening;
    try {
        opening = std::thread([this, &n] { m_signalDisplay = XOpenDisplay(n.constData()); });
    } catch (const std::system_error&) {
        m_signalDisplay = XOpenDisplay(n.constData());
    }
    refreshOutputs();
    if (opening.joinable()) opening.join();
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
                if (writeCrtc(signalDpy, crtc, ramps) == DisplayGamma::success)
                    X11GammaMarker::remove(signalDpy, DefaultRootWindow(signalDpy),
                                           X11GammaMarker::atom(signalDpy, crtc));
            XSync(signalDpy, False);
        });
    }
}

X11DisplayGamma::~X11DisplayGamma() {
    if (m_pushBuffer) XRRFreeGamma(m_pushBuffer);
    if (m_signalDisplay) {
        GammaSignalRestore::uninstall(m_signalToken);
        XCloseDisplay(m_signalDisplay);
    }
    m_notifier.reset();
    X11ErrorTrap trap; // closing waits for the server: a late refusal must not end the process
    XCloseDisplay(m_display);
}

QString X11DisplayGamma::storeKey(unsigned long crtc) const {
    return QStringLiteral("%1/crtc-%2").arg(m_displayName).arg(crtc);
}

bool X11DisplayGamma::refreshOutputs() {
    if (m_dead) return false;
    X11ErrorTrap trap;
    XRRScreenResources* res = XRRGetScreenResourcesCurrent(m_display, m_root);
    if (!res) {
        noteRefusedPushes(trap);
        return false;
    }
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
            o.builtin = RandRPanels::isBuiltIn(o.name);
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
    noteRefusedPushes(trap);
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
    X11ErrorTrap trap;
    const unsigned long serial = NextRequest(m_display);
    XRRCrtcGamma* gamma = XRRGetCrtcGamma(m_display, crtc);
    noteRefusedPushes(trap);
    if (!gamma || trap.errorSince(serial) || gamma->size < 2) {
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

int X11DisplayGamma::writeRamps(unsigned long crtc, const Ramps& ramps, bool confirm) {
    if (m_dead) return failure;
    if (!m_pushBuffer || m_pushBuffer->size != ramps.size()) {
        if (m_pushBuffer) XRRFreeGamma(m_pushBuffer);
        m_pushBuffer = XRRAllocGamma(ramps.size());
        if (!m_pushBuffer) return failure;
    }
    // Without an event loop a late refusal would go unheard: wait for each verdict.
    confirm = confirm || m_confirmPushes || !m_notifier;
    X11ErrorTrap trap;
    const Send send = confirm                            ? Send::waitForVerdict
                      : m_batches > 0 || sendsWhenIdle() ? Send::queue
                                                         : Send::flush;
    const unsigned long serial = loadCrtc(m_display, crtc, m_pushBuffer, ramps, send);
    m_unflushed = send == Send::queue;
    noteRefusedPushes(trap, confirm ? serial : ~0ul);
    int status = m_dead ? failure : success;
    if (confirm && trap.errorSince(serial)) status = failure;
    // After a refused push each one waits for its verdict, until one goes through.
    if (confirm && status == success) m_confirmPushes = false;
    // Xlib may have queued events without the socket staying readable.
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
    GammaOriginalsAdoption::Adopted adopted = GammaOriginalsAdoption::adopt(
        m_store, key, output.name, std::move(*current),
        X11GammaMarker::read(m_display, m_root, markerAtom(output.crtc)));
    m_originals[output.crtc] = adopted.originals;
    // Put them back now: with the tint off nothing else writes this CRTC, and one that
    // comes online after start-up would keep the stale tint.
    if (adopted.leftoverTint) {
        if (writeRamps(output.crtc, adopted.originals) == success) {
            m_store.setTinted(key, false);
            X11GammaMarker::remove(m_display, m_root, markerAtom(output.crtc));
        } else
            m_tinted.insert(output.crtc);
    }
    publishOriginalsForSignal();
}

unsigned long X11DisplayGamma::markerAtom(unsigned long crtc) {
    auto& atom = m_markerAtoms[crtc];
    if (atom == 0) atom = X11GammaMarker::atom(m_display, crtc);
    return atom;
}

void X11DisplayGamma::publishOriginalsForSignal() {
    GammaSignalRestore::withSignalsHeld([this] {
        std::lock_guard lock(m_signalState->mutex);
        m_signalState->originals = m_originals;
    });
}

void X11DisplayGamma::noteRefusedPushes(const X11ErrorTrap& trap, unsigned long before) {
    for (const TrappedError& e : trap.errors()) {
        if (e.serial >= before || e.major != m_randrOpcode || e.minor != X_RRSetCrtcGamma) continue;
        // The screen may not show the last tint sent: the next push waits for its verdict
        // and reports it.
        if (!m_confirmPushes)
            qCWarning(lcX11Gamma).noquote()
                << QStringLiteral("The X server refused gamma ramps (error %1)").arg(e.code);
        m_confirmPushes = true;
    }
}

void X11DisplayGamma::processEvents() {
    m_processQueued = false;
    if (m_dead) return;
    bool changed = false;
    {
        X11ErrorTrap trap; // reading may bring the refusal of a push sent earlier
        while (XPending(m_display) > 0) {
            XEvent event;
            XNextEvent(m_display, &event);
            const int type = event.type - m_randrEventBase;
            if (type == RRScreenChangeNotify) XRRUpdateConfiguration(&event);
            if (type == RRScreenChangeNotify || type == RRNotify) changed = true;
        }
        noteRefusedPushes(trap);
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
    DisplayReconfiguration change;
    for (DisplayId id : after)
        if (std::find(before.begin(), before.end(), id) == before.end()) change.displayAdded = true;
    for (DisplayId id : before)
        if (std::find(after.begin(), after.end(), id) == after.end()) change.displayRemoved = true;
    change.mainDisplayChanged = m_main != mainBefore;
    announceReconfigurationLater(change);
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
    const Ramps& ramps = convertedRamps(red, green, blue, o->gammaSize);
    if (!m_tinted.contains(crtc)) {
        auto original = m_originals.find(crtc);
        if (original != m_originals.end() && !(original->second == ramps)) {
            // On disk before the tint reaches the screen: a run killed in between must
            // not leave a tint that the next start takes for the display's own ramps.
            m_tinted.insert(crtc);
            m_store.setTinted(storeKey(crtc), true);
            // And on the server, ahead of the tint on the same connection: a start after
            // a kill knows the tint for one even when the state folder is gone.
            X11GammaMarker::write(m_display, m_root, markerAtom(crtc), original->second);
        }
    }
    // A tint frame is not waited for: its rare refusal turns up with the next read.
    return writeRamps(crtc, ramps, false);
}

int X11DisplayGamma::transferTables(DisplayId display, int capacity, std::vector<float>& red,
                                    std::vector<float>& green, std::vector<float>& blue) {
    if (capacity < 1) return badArgument;
    const Output* o = output(display);
    if (!o) return invalidDisplay;
    const std::optional<Ramps> ramps = readRamps(o->crtc);
    if (!ramps) return failure;
    const int n = std::min(capacity, ramps->size());
    red = GammaRampSampling::tableFromRamp(ramps->red, n);
    green = GammaRampSampling::tableFromRamp(ramps->green, n);
    blue = GammaRampSampling::tableFromRamp(ramps->blue, n);
    return success;
}

void X11DisplayGamma::endPushes() {
    if (m_batches == 0 || --m_batches > 0 || sendsWhenIdle()) return;
    sendPushes();
}

bool X11DisplayGamma::sendsWhenIdle() const {
    // Outside a running event loop (start-up, tests) nothing would send them later.
    return m_sendOnIdle && thread()->loopLevel() > 0;
}

void X11DisplayGamma::sendPushes() {
    if (!m_unflushed) return;
    m_unflushed = false;
    if (!m_dead) sendQueued(m_display);
}

void X11DisplayGamma::sync() {
    if (m_dead) return;
    X11ErrorTrap trap;
    XSync(m_display, False);
    noteRefusedPushes(trap);
}

void X11DisplayGamma::restoreColorSettings() {
    if (m_dead) return;
    if (!m_outputs) refreshOutputs();
    for (const auto& [crtc, ramps] : m_originals) {
        if (writeRamps(crtc, ramps) != success) continue;
        m_tinted.erase(crtc);
        m_store.setTinted(storeKey(crtc), false);
        X11GammaMarker::remove(m_display, m_root, markerAtom(crtc));
    }
    // A termination signal ends the process next, before Xlib would send it.
    XFlush(m_display);
}
