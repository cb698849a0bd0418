#include "platform/linux/WlrDisplayGamma.h"

#include "platform/linux/GammaRampSampling.h"

#include "platform/GammaOriginalsStore.h"
#include "platform/SystemEvents.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <wlr-gamma-control-unstable-v1-client-protocol.h>

Q_LOGGING_CATEGORY(lcWlrGamma, "com.halcyra.app.overlay")

using Tables = std::array<std::vector<quint16>, 3>;

struct WlrDisplayGamma::Output {
    WlrDisplayGamma* owner = nullptr;
    uint32_t name = 0;
    uint32_t version = 0;
    wl_output* output = nullptr;
    zwlr_gamma_control_v1* control = nullptr;
    QString connector;
    int gammaSize = 0;
    bool failed = false;
    bool refusedBefore = false; // its first refusal has been logged
    Tables loaded;              // empty: the output's own ramps
};

namespace {
bool builtinName(const QString& name) {
    return name.startsWith(QLatin1String("eDP")) || name.startsWith(QLatin1String("LVDS")) ||
           name.startsWith(QLatin1String("DSI"));
}

// The tables as 16-bit ramps of `size` entries, sampled as every backend does, so
// one tint looks the same on each.
Tables toRamps(const std::vector<float>* in[3], int size) {
    return {GammaRampSampling::rampFromTable(*in[0], size),
            GammaRampSampling::rampFromTable(*in[1], size),
            GammaRampSampling::rampFromTable(*in[2], size)};
}

Tables identity(int size) {
    const GammaOriginalsStore::Ramps linear = GammaOriginalsStore::linearRamps(size);
    return {linear.red, linear.green, linear.blue};
}

// The tables in a sealed memory file, read from offset 0; -1 on failure.
int tablesFile(const Tables& ramps) {
    const int fd = memfd_create("halcyra-gamma", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0) return -1;
    off_t offset = 0;
    for (const std::vector<quint16>& ramp : ramps) {
        const char* bytes = reinterpret_cast<const char*>(ramp.data());
        size_t left = ramp.size() * sizeof(quint16);
        while (left > 0) {
            const ssize_t n = pwrite(fd, bytes, left, offset);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                close(fd);
                return -1;
            }
            bytes += n;
            left -= size_t(n);
            offset += n;
        }
    }
    // A compositor that maps the file must not see it change under it.
    fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
    return fd;
}

void outputGeometry(void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*,
                    const char*, int32_t) {}
void outputMode(void*, wl_output*, uint32_t, int32_t, int32_t, int32_t) {}
void outputDone(void*, wl_output*) {}
void outputScale(void*, wl_output*, int32_t) {}
void outputName(void* data, wl_output*, const char* name) {
    static_cast<WlrDisplayGamma::Output*>(data)->connector = QString::fromUtf8(name);
}
void outputDescription(void*, wl_output*, const char*) {}

const wl_output_listener outputListener = {outputGeometry, outputMode, outputDone,
                                           outputScale,    outputName, outputDescription};
} // namespace

// Reached from the protocol's callbacks, which only see the Output.
class WlrGammaEvents {
public:
    static void gammaSize(void* data, zwlr_gamma_control_v1*, uint32_t size) {
        auto* o = static_cast<WlrDisplayGamma::Output*>(data);
        const DisplayId mainBefore = o->owner->mainDisplay();
        const bool wasUsable = o->gammaSize >= 2;
        // A size beyond any real display's is refused rather than allocated.
        o->gammaSize = size >= 2 && size <= 65536 ? int(size) : 0;
        if (wasUsable || o->gammaSize < 2) return;
        if (o->refusedBefore)
            qCInfo(lcWlrGamma).noquote()
                << QStringLiteral("The compositor granted gamma control of display %1 — it is "
                                  "tinted from now on")
                       .arg(o->connector);
        if (!o->owner->m_settingUp) o->owner->noteChange(true, false, mainBefore);
    }
    static void failed(void* data, zwlr_gamma_control_v1*) {
        auto* o = static_cast<WlrDisplayGamma::Output*>(data);
        o->owner->controlFailed(o);
    }
};

namespace {
const zwlr_gamma_control_v1_listener controlListener = {WlrGammaEvents::gammaSize,
                                                        WlrGammaEvents::failed};
} // namespace

std::unique_ptr<WlrDisplayGamma> WlrDisplayGamma::open(const QString& socketName) {
    const QByteArray name = socketName.toLocal8Bit();
    wl_display* display = wl_display_connect(socketName.isEmpty() ? nullptr : name.constData());
    if (!display) return nullptr;
    std::unique_ptr<WlrDisplayGamma> gamma(new WlrDisplayGamma(display));
    if (!gamma->setUp()) return nullptr;
    return gamma;
}

WlrDisplayGamma::WlrDisplayGamma(wl_display* display) : m_display(display) {}

bool WlrDisplayGamma::setUp() {
    static const wl_registry_listener listener = {&WlrDisplayGamma::onGlobal,
                                                  &WlrDisplayGamma::onGlobalRemove};
    m_registry = wl_display_get_registry(m_display);
    wl_registry_add_listener(m_registry, &listener, this);
    if (!roundtrip() || !m_manager) return false;
    // Outputs announced before the manager have no control yet.
    for (const auto& o : m_outputs)
        if (!o->control && !o->failed) ask(o.get());
    // The gamma sizes and the outputs' names.
    if (!roundtrip()) return false;
    m_settingUp = false;
    if (QCoreApplication::instance()) {
        m_notifier =
            std::make_unique<QSocketNotifier>(wl_display_get_fd(m_display), QSocketNotifier::Read);
        connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { processEvents(); });
    }
    return true;
}

WlrDisplayGamma::~WlrDisplayGamma() {
    m_notifier.reset();
    // Destroying the controls hands every output its own ramps back.
    for (const auto& o : m_outputs) {
        if (o->control) zwlr_gamma_control_v1_destroy(o->control);
        if (o->version >= WL_OUTPUT_RELEASE_SINCE_VERSION)
            wl_output_release(o->output);
        else
            wl_output_destroy(o->output);
    }
    if (m_manager) zwlr_gamma_control_manager_v1_destroy(m_manager);
    if (m_registry) wl_registry_destroy(m_registry);
    wl_display_flush(m_display);
    wl_display_disconnect(m_display);
}

void WlrDisplayGamma::onGlobal(void* data, wl_registry* registry, uint32_t name,
                               const char* interface, uint32_t version) {
    auto* self = static_cast<WlrDisplayGamma*>(data);
    if (std::strcmp(interface, wl_output_interface.name) == 0) {
        self->addOutput(name, version);
        self->askRefusedAgain();
    } else if (std::strcmp(interface, zwlr_gamma_control_manager_v1_interface.name) == 0 &&
               !self->m_manager) {
        self->m_manager = static_cast<zwlr_gamma_control_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_gamma_control_manager_v1_interface, 1));
    }
}

void WlrDisplayGamma::onGlobalRemove(void* data, wl_registry*, uint32_t name) {
    auto* self = static_cast<WlrDisplayGamma*>(data);
    self->removeOutput(name);
    self->askRefusedAgain();
}

void WlrDisplayGamma::addOutput(uint32_t name, uint32_t version) {
    auto o = std::make_unique<Output>();
    o->owner = this;
    o->name = name;
    o->version = std::min<uint32_t>(version, 4);
    o->output = static_cast<wl_output*>(
        wl_registry_bind(m_registry, name, &wl_output_interface, o->version));
    wl_output_add_listener(o->output, &outputListener, o.get());
    if (m_manager) ask(o.get());
    // Announced once its gamma size has arrived.
    m_outputs.push_back(std::move(o));
}

void WlrDisplayGamma::ask(Output* output) {
    output->failed = false;
    output->gammaSize = 0;
    output->loaded = {};
    output->control = zwlr_gamma_control_manager_v1_get_gamma_control(m_manager, output->output);
    zwlr_gamma_control_v1_add_listener(output->control, &controlListener, output);
}

void WlrDisplayGamma::askRefusedAgain() {
    // One request per refused output and event; one still unanswered is not repeated.
    if (m_dead || m_settingUp || !m_manager) return;
    bool asked = false;
    for (const auto& o : m_outputs)
        if (o->failed && !o->control) {
            ask(o.get());
            asked = true;
        }
    if (asked) flush();
}

void WlrDisplayGamma::askAgainOn(const SystemEvents& events) {
    for (auto signal :
         {&SystemEvents::didWake, &SystemEvents::screensDidWake, &SystemEvents::screensaverDidStop})
        connect(&events, signal, this, &WlrDisplayGamma::askRefusedAgain);
}

bool WlrDisplayGamma::refusedEveryOutput() const {
    return !m_outputs.empty() &&
           std::none_of(m_outputs.begin(), m_outputs.end(),
                        [this](const auto& o) { return usable(o->name) != nullptr; });
}

void WlrDisplayGamma::removeOutput(uint32_t name) {
    auto found = std::find_if(m_outputs.begin(), m_outputs.end(),
                              [name](const auto& o) { return o->name == name; });
    if (found == m_outputs.end()) return;
    const DisplayId mainBefore = mainDisplay();
    const bool wasUsable = usable((*found)->name) != nullptr;
    if ((*found)->control) zwlr_gamma_control_v1_destroy((*found)->control);
    if ((*found)->version >= WL_OUTPUT_RELEASE_SINCE_VERSION)
        wl_output_release((*found)->output);
    else
        wl_output_destroy((*found)->output);
    m_outputs.erase(found);
    if (wasUsable && !m_settingUp) noteChange(false, true, mainBefore);
}

void WlrDisplayGamma::controlFailed(Output* output) {
    const DisplayId mainBefore = mainDisplay();
    const bool wasUsable = usable(output->name) != nullptr;
    // The protocol's refusal carries no reason; only the first one is worth a line.
    if (!output->refusedBefore)
        qCWarning(lcWlrGamma).noquote()
            << QStringLiteral("The compositor refused gamma control of display %1 — it stays "
                              "untinted and is asked again at the next display change or wake "
                              "(the compositor gives no reason: another program may hold its "
                              "ramps, or it may have none)")
                   .arg(output->connector.isEmpty() ? QString::number(output->name)
                                                    : output->connector);
    output->refusedBefore = true;
    output->failed = true;
    output->gammaSize = 0;
    output->loaded = {};
    if (output->control) zwlr_gamma_control_v1_destroy(output->control);
    output->control = nullptr;
    if (wasUsable && !m_settingUp) noteChange(false, true, mainBefore);
}

void WlrDisplayGamma::noteChange(bool added, bool removed, DisplayId mainBefore) {
    announceReconfigurationLater({added, removed, mainDisplay() != mainBefore});
}

bool WlrDisplayGamma::roundtrip() {
    if (m_dead) return false;
    if (wl_display_roundtrip(m_display) >= 0) return true;
    markDead();
    return false;
}

void WlrDisplayGamma::markDead() {
    m_dead = true;
    if (m_notifier) m_notifier->setEnabled(false);
    qCWarning(lcWlrGamma).noquote()
        << QStringLiteral("The connection to the compositor broke (%1) — the displays can no "
                          "longer be tinted")
               .arg(QString::fromLocal8Bit(std::strerror(wl_display_get_error(m_display))));
}

void WlrDisplayGamma::processEvents() {
    if (m_dead) return;
    while (wl_display_prepare_read(m_display) != 0)
        if (wl_display_dispatch_pending(m_display) < 0) return markDead();
    wl_display_flush(m_display);
    pollfd pfd = {wl_display_get_fd(m_display), POLLIN, 0};
    if (poll(&pfd, 1, 0) > 0)
        wl_display_read_events(m_display);
    else
        wl_display_cancel_read(m_display);
    if (wl_display_dispatch_pending(m_display) < 0 || wl_display_get_error(m_display) != 0)
        return markDead();
    // What the events asked for (a new output's bind and gamma control, a removed one's
    // release) goes out now: nothing else may write to the compositor for a long time.
    flush();
}

void WlrDisplayGamma::flush() {
    if (!m_dead) wl_display_flush(m_display);
}

WlrDisplayGamma::Output* WlrDisplayGamma::usable(DisplayId display) const {
    for (const auto& o : m_outputs)
        if (o->name == display && o->control && !o->failed && o->gammaSize >= 2) return o.get();
    return nullptr;
}

QString WlrDisplayGamma::outputName(DisplayId display) const {
    for (const auto& o : m_outputs)
        if (o->name == display) return o->connector;
    return QString();
}

std::optional<std::vector<DisplayId>> WlrDisplayGamma::onlineDisplays() {
    processEvents();
    if (m_dead) return std::nullopt;
    std::vector<DisplayId> ids;
    for (const auto& o : m_outputs)
        if (usable(o->name)) ids.push_back(o->name);
    return ids;
}

DisplayId WlrDisplayGamma::mainDisplay() {
    // Wayland has no primary output: the first one announced stands in.
    if (m_dead) return 0;
    for (const auto& o : m_outputs)
        if (usable(o->name)) return o->name;
    return 0;
}

bool WlrDisplayGamma::isBuiltin(DisplayId display) {
    const Output* o = usable(display);
    return o && builtinName(o->connector);
}

int WlrDisplayGamma::load(DisplayId display, const Tables& ramps) {
    Output* o = usable(display);
    if (!o) return invalidDisplay;
    const int fd = tablesFile(ramps);
    if (fd < 0) {
        qCWarning(lcWlrGamma).noquote()
            << QStringLiteral("No memory file for the gamma ramps (%1) — display %2 keeps its "
                              "current tint")
                   .arg(QString::fromLocal8Bit(std::strerror(errno)), o->connector);
        return failure;
    }
    zwlr_gamma_control_v1_set_gamma(o->control, fd); // the request carries its own copy
    close(fd);
    // A refusal comes back as `failed`; the round trip also may remove the output.
    if (!roundtrip()) return failure;
    o = usable(display);
    if (!o) return failure;
    o->loaded = ramps;
    return success;
}

int WlrDisplayGamma::setTransferTables(DisplayId display, const std::vector<float>& red,
                                       const std::vector<float>& green,
                                       const std::vector<float>& blue) {
    if (red.size() < 2 || red.size() != green.size() || red.size() != blue.size())
        return badArgument;
    if (m_dead) return failure;
    const Output* o = usable(display);
    if (!o) return invalidDisplay;
    const std::vector<float>* in[3] = {&red, &green, &blue};
    return load(display, toRamps(in, o->gammaSize));
}

int WlrDisplayGamma::transferTables(DisplayId display, int capacity, std::vector<float>& red,
                                    std::vector<float>& green, std::vector<float>& blue) {
    if (capacity < 1) return badArgument;
    const Output* o = usable(display);
    if (!o) return invalidDisplay;
    const Tables ramps = o->loaded[0].empty() ? identity(o->gammaSize) : o->loaded;
    const int n = std::min(capacity, o->gammaSize);
    red = GammaRampSampling::tableFromRamp(ramps[0], n);
    green = GammaRampSampling::tableFromRamp(ramps[1], n);
    blue = GammaRampSampling::tableFromRamp(ramps[2], n);
    return success;
}

void WlrDisplayGamma::restoreColorSettings() {
    if (m_dead) return;
    // Only outputs this run tinted: the others still show the compositor's own ramps.
    std::vector<std::pair<DisplayId, int>> tinted;
    for (const auto& o : m_outputs)
        if (usable(o->name) && !o->loaded[0].empty()) tinted.emplace_back(o->name, o->gammaSize);
    for (const auto& [id, size] : tinted)
        if (load(id, identity(size)) == success)
            if (Output* o = usable(id)) o->loaded = {};
}
