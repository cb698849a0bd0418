#include "platform/linux/MutterDisplayGamma.h"

#include "platform/linux/GammaOriginalsAdoption.h"
#include "platform/linux/GammaRampSampling.h"
#include "platform/linux/GammaSignalRestore.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QLoggingCategory>
#include <algorithm>
#include <mutex>

Q_LOGGING_CATEGORY(lcMutterGamma, "com.halcyra.app.overlay")

const QString MutterDisplayGamma::serviceName = QStringLiteral("org.gnome.Mutter.DisplayConfig");

using Ramps = MutterDisplayGamma::Ramps;
using Crtc = MutterDisplayGamma::Crtc;

struct MutterDisplayGamma::SignalState {
    std::mutex mutex;
    std::map<DisplayId, Ramps> tinted; // the originals of the displays showing a tint
};

namespace {

using namespace MutterDisplayConfig;

// The main thread waits this long for the compositor; the signal-restore worker,
// which has about a second for everything, less.
constexpr int callTimeoutMs = 2000;
constexpr int signalCallTimeoutMs = 300;

bool builtinName(const QString& name) {
    return name.startsWith(QLatin1String("eDP")) || name.startsWith(QLatin1String("LVDS")) ||
           name.startsWith(QLatin1String("DSI"));
}

} // namespace

bool MutterDisplayGamma::isOffered(const QDBusConnection& bus) {
    if (!bus.isConnected() || !bus.interface()) return false;
    return bus.interface()->isServiceRegistered(serviceName).value();
}

std::unique_ptr<MutterDisplayGamma> MutterDisplayGamma::openOnSessionBus() {
    return open(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                              QStringLiteral("halcyra-display-config")),
                QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                              QStringLiteral("halcyra-display-config-signal")));
}

std::unique_ptr<MutterDisplayGamma> MutterDisplayGamma::open(const QDBusConnection& bus,
                                                             const QDBusConnection& signalBus,
                                                             const QString& storePath) {
    if (!isOffered(bus)) return nullptr;
    std::unique_ptr<MutterDisplayGamma> gamma(new MutterDisplayGamma(
        bus, signalBus, storePath.isEmpty() ? GammaOriginalsStore::defaultPath() : storePath));
    std::map<DisplayId, Ramps> current;
    QString why;
    if (!gamma->readResources(&current, &why)) {
        qCWarning(lcMutterGamma).noquote()
            << QStringLiteral("GNOME's display configuration did not describe the displays (%1) "
                              "— running on simulated displays")
                   .arg(why);
        return nullptr;
    }
    if (current.empty()) {
        // A compositor that crashed or stalled on the question is not one without displays.
        if (!why.isEmpty())
            qCWarning(lcMutterGamma).noquote()
                << QStringLiteral("GNOME's display configuration went away or did not answer "
                                  "when asked for a display's gamma (%1) — running on simulated "
                                  "displays")
                       .arg(why);
        else
            qCWarning(lcMutterGamma).noquote()
                << QStringLiteral("GNOME's display configuration offers no display whose gamma "
                                  "can be set — running on simulated displays");
        return nullptr;
    }
    // Writing a display's own ramps back changes nothing on screen and tells whether
    // this compositor lets us write at all.
    QDBusMessage verdict;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const Crtc* first = gamma->crtcIn(current);
        verdict =
            setGamma(bus, gamma->m_serial, first->index, current.at(first->id), callTimeoutMs);
        if (answered(verdict) || noVerdict(verdict)) break;
        const quint32 serial = gamma->m_serial;
        current.clear();
        if (!gamma->readResources(&current) || gamma->m_serial == serial || current.empty()) break;
    }
    if (!answered(verdict) || current.empty()) {
        qCWarning(lcMutterGamma).noquote()
            << QStringLiteral("GNOME's display configuration refused a gamma write (%1) — "
                              "running on simulated displays")
                   .arg(errorText(verdict));
        return nullptr;
    }
    for (const Crtc& c : gamma->m_crtcs)
        if (current.contains(c.id)) gamma->adoptOriginals(c, current.at(c.id));
    return gamma;
}

MutterDisplayGamma::MutterDisplayGamma(const QDBusConnection& bus, const QDBusConnection& signalBus,
                                       const QString& storePath)
    : m_bus(bus), m_signalBus(signalBus), m_store(storePath),
      m_signalState(std::make_shared<SignalState>()) {
    qDBusRegisterMetaType<QList<ushort>>();
    m_bus.connect(serviceName, objectPath, interfaceName, QStringLiteral("MonitorsChanged"), this,
                  SLOT(monitorsChanged(QDBusMessage)));
    if (m_signalBus.isConnected()) {
        // The compositor keeps our ramps when this process dies: a termination whose
        // main loop is stuck must still hand them back.
        std::shared_ptr<SignalState> state = m_signalState;
        const QDBusConnection worker = m_signalBus;
        m_signalToken = GammaSignalRestore::install([state, worker] {
            std::map<DisplayId, Ramps> tinted;
            {
                std::lock_guard lock(state->mutex);
                tinted = state->tinted;
            }
            if (tinted.empty()) return;
            const std::optional<Resources> resources = parseResources(
                call(worker, QStringLiteral("GetResources"), {}, signalCallTimeoutMs));
            if (!resources) return;
            for (const Crtc& c : resources->crtcs) {
                auto found = tinted.find(c.id);
                if (found != tinted.end())
                    setGamma(worker, resources->serial, c.index, found->second,
                             signalCallTimeoutMs);
            }
        });
    }
}

MutterDisplayGamma::~MutterDisplayGamma() {
    if (m_signalToken) GammaSignalRestore::uninstall(m_signalToken);
    m_bus.disconnect(serviceName, objectPath, interfaceName, QStringLiteral("MonitorsChanged"),
                     this, SLOT(monitorsChanged(QDBusMessage)));
}

bool MutterDisplayGamma::readResources(std::map<DisplayId, Ramps>* current, QString* why) {
    const QDBusMessage reply = call(m_bus, QStringLiteral("GetResources"), {}, callTimeoutMs);
    std::optional<Resources> resources = parseResources(reply);
    if (!resources) {
        if (why) *why = errorText(reply);
        return false;
    }
    m_serial = resources->serial;
    m_owner = reply.service();
    m_crtcs.clear();
    // The ramps of every CRTC not seen before are asked for at once, not one answer
    // after another.
    std::vector<std::pair<size_t, QDBusPendingCall>> asked;
    for (Crtc& c : resources->crtcs) {
        // A CRTC's gamma size never changes: one whose own ramps are known is not asked
        // again, which keeps the tint's way back after a mode set short.
        if (auto known = m_originals.find(c.id); known != m_originals.end()) {
            c.gammaSize = known->second.size();
        } else if (c.active) {
            QDBusMessage message = QDBusMessage::createMethodCall(
                serviceName, objectPath, interfaceName, QStringLiteral("GetCrtcGamma"));
            message.setArguments({m_serial, c.index});
            asked.emplace_back(m_crtcs.size(), m_bus.asyncCall(message, callTimeoutMs));
        }
        m_crtcs.push_back(std::move(c));
    }
    for (auto& [at, pending] : asked) {
        pending.waitForFinished();
        const QDBusMessage gammaReply = pending.reply();
        // The ramp's length is the CRTC's gamma size; a CRTC without one cannot be tinted.
        if (std::optional<Ramps> ramps = parseRamps(gammaReply)) {
            m_crtcs[at].gammaSize = ramps->size();
            if (current) (*current)[m_crtcs[at].id] = std::move(*ramps);
        } else if (why && noVerdict(gammaReply)) {
            *why = errorText(gammaReply);
        }
    }
    return true;
}

std::optional<Ramps> MutterDisplayGamma::readRamps(const Crtc& crtc) {
    return parseRamps(
        call(m_bus, QStringLiteral("GetCrtcGamma"), {m_serial, crtc.index}, callTimeoutMs));
}

bool MutterDisplayGamma::listed(const Crtc& crtc) const {
    return crtc.active && !m_refused.contains(crtc.id) && m_originals.contains(crtc.id);
}

const Crtc* MutterDisplayGamma::crtc(DisplayId display, bool evenUnlisted) const {
    for (const Crtc& c : m_crtcs)
        if (c.id == display && (evenUnlisted ? c.gammaSize > 0 : listed(c))) return &c;
    return nullptr;
}

const Crtc* MutterDisplayGamma::crtcIn(const std::map<DisplayId, Ramps>& ramps) const {
    for (const Crtc& c : m_crtcs)
        if (ramps.contains(c.id)) return &c;
    return nullptr;
}

QString MutterDisplayGamma::storeKey(DisplayId display) const {
    return QStringLiteral("gnome-display-config/crtc-%1").arg(display);
}

void MutterDisplayGamma::adoptOriginals(const Crtc& crtc, Ramps current) {
    if (m_originals.contains(crtc.id)) return;
    const QString name = crtc.output.isEmpty() ? QString::number(crtc.id) : crtc.output;
    GammaOriginalsAdoption::Adopted adopted =
        GammaOriginalsAdoption::adopt(m_store, storeKey(crtc.id), name, std::move(current));
    m_originals[crtc.id] = adopted.originals;
    if (adopted.leftoverTint) {
        // The compositor keeps a killed run's tint: take it off now.
        m_tinted.insert(crtc.id);
        publishForSignal();
        if (writeRamps(crtc.id, adopted.originals, /*handBack=*/true) == success)
            setTinted(crtc.id, false);
    }
}

void MutterDisplayGamma::setTinted(DisplayId display, bool tinted) {
    if (tinted)
        m_tinted.insert(display);
    else
        m_tinted.erase(display);
    m_store.setTinted(storeKey(display), tinted);
    publishForSignal();
}

void MutterDisplayGamma::publishForSignal() {
    std::map<DisplayId, Ramps> tinted;
    for (DisplayId id : m_tinted) {
        auto found = m_originals.find(id);
        if (found != m_originals.end()) tinted.emplace(id, found->second);
    }
    GammaSignalRestore::withSignalsHeld([this, &tinted] {
        std::lock_guard lock(m_signalState->mutex);
        m_signalState->tinted.swap(tinted);
    });
}

int MutterDisplayGamma::writeRamps(DisplayId display, const Ramps& ramps, bool handBack) {
    QDBusMessage reply;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const Crtc* c = crtc(display, handBack);
        if (!c) return invalidDisplay;
        if (c->gammaSize != ramps.size()) return failure; // resized under us: next push
        reply = setGamma(m_bus, m_serial, c->index, ramps, callTimeoutMs);
        if (answered(reply)) {
            if (handBack)
                m_shown.erase(display);
            else
                m_shown[display] = ramps;
            return success;
        }
        if (noVerdict(reply) || attempt > 0) break;
        // Most likely the monitors changed since the serial was read: once more with
        // the new one, should it have moved.
        const quint32 before = m_serial;
        const std::vector<Crtc> crtcsBefore = m_crtcs;
        if (!readResources() || m_serial == before) break;
        const bool listChanged = crtcsBefore.size() != m_crtcs.size() ||
                                 !std::equal(crtcsBefore.begin(), crtcsBefore.end(),
                                             m_crtcs.begin(), [](const Crtc& a, const Crtc& b) {
                                                 return a.id == b.id && a.active == b.active;
                                             });
        if (listChanged) announceReconfigurationLater({});
    }
    if (noVerdict(reply)) {
        if (!m_goneLogged)
            qCWarning(lcMutterGamma).noquote()
                << QStringLiteral("GNOME's display configuration did not answer a gamma write "
                                  "(%1) — the tint may not show until it does")
                       .arg(errorText(reply));
        m_goneLogged = true;
        return failure;
    }
    if (!m_refusalLogged)
        qCWarning(lcMutterGamma).noquote()
            << QStringLiteral("GNOME's display configuration refused the gamma ramps of display "
                              "%1 (%2) — it stays untinted and leaves the list of displays")
                   .arg(outputName(display).isEmpty() ? QString::number(display)
                                                      : outputName(display),
                        errorText(reply));
    m_refusalLogged = true;
    const DisplayId mainBefore = mainDisplay();
    m_refused.insert(display);
    announceReconfigurationLater({false, true, mainDisplay() != mainBefore});
    return failure;
}

void MutterDisplayGamma::monitorsChanged(const QDBusMessage& signal) {
    // Most changes leave the same CRTCs under the next serial. Our ramps go out on that
    // guess, ahead of the question that tells, so that a mode set that reset them is put
    // right before the compositor turns to its own work on the change (which would hold
    // a write after the question back by several milliseconds). A wrong guess is refused
    // and the tint comes back the usual way below; a compositor that replaced the one
    // the CRTCs were read from is never guessed at.
    if (!m_owner.isEmpty() && signal.service() == m_owner)
        for (const auto& [id, ramps] : m_shown)
            if (const Crtc* c = crtc(id)) {
                QDBusMessage guess = QDBusMessage::createMethodCall(
                    serviceName, objectPath, interfaceName, QStringLiteral("SetCrtcGamma"));
                guess.setArguments(gammaArguments(m_serial + 1, c->index, ramps));
                m_bus.send(guess);
            }
    std::vector<DisplayId> before;
    if (const auto ids = onlineDisplays()) before = *ids;
    const DisplayId mainBefore = mainDisplay();
    std::map<DisplayId, Ramps> current;
    if (!readResources(&current)) return;
    // A display the compositor refused gets another chance after a change.
    m_refused.clear();
    for (const Crtc& c : m_crtcs)
        if (current.contains(c.id)) adoptOriginals(c, current.at(c.id));
    const std::vector<DisplayId> after = onlineDisplays().value_or(std::vector<DisplayId>{});
    DisplayReconfiguration change;
    for (DisplayId id : after)
        if (std::find(before.begin(), before.end(), id) == before.end()) change.displayAdded = true;
    for (DisplayId id : before)
        if (std::find(after.begin(), after.end(), id) == after.end()) change.displayRemoved = true;
    change.mainDisplayChanged = mainDisplay() != mainBefore;
    // Announced even when the list stayed the same: a change of mode may have reset the
    // ramps, and the tint is put back on every announcement. Announced now rather than
    // from the loop's next pass: that pass first handles whatever else the change set
    // off in this process (the toolkit's own screen events), which held the tint back
    // by several milliseconds.
    announceReconfiguration(change);
}

QString MutterDisplayGamma::outputName(DisplayId display) const {
    for (const Crtc& c : m_crtcs)
        if (c.id == display) return c.output;
    return QString();
}

std::optional<std::vector<DisplayId>> MutterDisplayGamma::onlineDisplays() {
    std::vector<DisplayId> ids;
    for (const Crtc& c : m_crtcs)
        if (listed(c)) ids.push_back(c.id);
    return ids;
}

DisplayId MutterDisplayGamma::mainDisplay() {
    DisplayId first = 0;
    for (const Crtc& c : m_crtcs) {
        if (!listed(c)) continue;
        if (c.primary) return c.id;
        if (first == 0) first = c.id;
    }
    return first;
}

bool MutterDisplayGamma::isBuiltin(DisplayId display) {
    const Crtc* c = crtc(display);
    return c && builtinName(c->output);
}

int MutterDisplayGamma::setTransferTables(DisplayId display, const std::vector<float>& red,
                                          const std::vector<float>& green,
                                          const std::vector<float>& blue) {
    if (red.size() < 2 || red.size() != green.size() || red.size() != blue.size())
        return badArgument;
    const Crtc* c = crtc(display);
    if (!c) return invalidDisplay;
    const int size = c->gammaSize;
    const Ramps ramps{GammaRampSampling::rampFromTable(red, size),
                      GammaRampSampling::rampFromTable(green, size),
                      GammaRampSampling::rampFromTable(blue, size)};
    if (!m_tinted.contains(display)) {
        auto original = m_originals.find(display);
        // On disk before the tint reaches the screen: a run killed in between must not
        // leave a tint that the next start takes for the display's own ramps.
        if (original != m_originals.end() && !(original->second == ramps)) setTinted(display, true);
    }
    return writeRamps(display, ramps);
}

int MutterDisplayGamma::transferTables(DisplayId display, int capacity, std::vector<float>& red,
                                       std::vector<float>& green, std::vector<float>& blue) {
    if (capacity < 1) return badArgument;
    const Crtc* c = crtc(display);
    if (!c) return invalidDisplay;
    const std::optional<Ramps> ramps = readRamps(*c);
    if (!ramps) return failure;
    const int n = std::min(capacity, ramps->size());
    red = GammaRampSampling::tableFromRamp(ramps->red, n);
    green = GammaRampSampling::tableFromRamp(ramps->green, n);
    blue = GammaRampSampling::tableFromRamp(ramps->blue, n);
    return success;
}

void MutterDisplayGamma::restoreColorSettings() {
    // Only displays that may show our tint: the others carry what the compositor (or
    // its own night light) put there, which is theirs to keep. One switched off since it
    // was tinted is among them: the compositor keeps its ramps for when it comes back.
    const std::set<DisplayId> tinted = m_tinted;
    // Whatever comes of the writes, no tint is to be put back after a change from now.
    m_shown.clear();
    for (DisplayId id : tinted) {
        auto original = m_originals.find(id);
        if (original == m_originals.end()) continue;
        if (writeRamps(id, original->second, /*handBack=*/true) == success) setTinted(id, false);
    }
}
