#include "platform/Platform.h"

#include "platform/MediaApplicationWatcher.h"
#include "platform/linux/DBusMediaApplicationBus.h"
#include "platform/linux/GammaSignalRestore.h"
#include "platform/linux/GnomeNightLight.h"
#include "platform/linux/KWinNightLight.h"
#include "platform/linux/LazyServiceProbes.h"
#include "platform/linux/LinuxDesktopNotifier.h"
#include "platform/linux/LinuxDoNotDisturbProbe.h"
#include "platform/linux/LinuxInstanceLock.h"
#include "platform/linux/LinuxLocationService.h"
#include "platform/linux/LinuxMachineIdentity.h"
#include "platform/linux/LinuxOnboardingMarker.h"
#include "platform/linux/LinuxScreenReaderProbe.h"
#include "platform/linux/LinuxServiceModule.h"
#include "platform/linux/LinuxSystemEvents.h"
#include "platform/linux/MutterDisplayGamma.h"
#include "platform/linux/RandRDithering.h"
#include "platform/linux/SensorProxyLightSensor.h"
#include "platform/linux/SysfsKeyboardBacklight.h"
#include "platform/linux/SysfsLightSensor.h"
#include "platform/linux/SysfsNativeBacklight.h"
#include "platform/linux/UPowerKeyboardBacklight.h"
#include "platform/linux/WlrDisplayGamma.h"
#include "platform/linux/X11DisplayGamma.h"
#include "platform/linux/X11GlobalHotKeys.h"
#include "platform/linux/X11InputHold.h"
#include "platform/linux/X11MediaKeyTap.h"
#include "platform/linux/X11WindowPixels.h"
#include "platform/linux/XdgAutostartEntry.h"
#include "platform/linux/services/ServiceModule.h"
#include "platform/simulated/SimulatedAutostartEntry.h"
#include "platform/simulated/SimulatedDesktopNotifier.h"
#include "platform/simulated/SimulatedDisplayGamma.h"
#include "platform/simulated/SimulatedDithering.h"
#include "platform/simulated/SimulatedDoNotDisturbProbe.h"
#include "platform/simulated/SimulatedEDRHeadroom.h"
#include "platform/simulated/SimulatedGlobalHotKeys.h"
#include "platform/simulated/SimulatedHttpClient.h"
#include "platform/simulated/SimulatedInputHold.h"
#include "platform/simulated/SimulatedInstanceLock.h"
#include "platform/simulated/SimulatedKeyboardBacklight.h"
#include "platform/simulated/SimulatedLightSensor.h"
#include "platform/simulated/SimulatedLocationService.h"
#include "platform/simulated/SimulatedMachineIdentity.h"
#include "platform/simulated/SimulatedMediaApplicationBus.h"
#include "platform/simulated/SimulatedMediaKeyTap.h"
#include "platform/simulated/SimulatedNativeBacklight.h"
#include "platform/simulated/SimulatedNightLight.h"
#include "platform/simulated/SimulatedOnboardingMarker.h"
#include "platform/simulated/SimulatedOutputMuteProbe.h"
#include "platform/simulated/SimulatedScreenCaptureProbe.h"
#include "platform/simulated/SimulatedScreenReaderProbe.h"
#include "platform/simulated/SimulatedSoundCueAudioBackend.h"
#include "platform/simulated/SimulatedSystemEvents.h"
#include "platform/simulated/SimulatedWindowPixels.h"

#include <QDBusConnection>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcPlatform, "com.halcyra.app.platform")

namespace {
std::unique_ptr<Platform>& slot() {
    static std::unique_ptr<Platform> platform;
    return platform;
}
} // namespace

Platform::Platform() = default;
Platform::~Platform() = default;

Platform& Platform::instance() {
    auto& p = slot();
    if (!p) p = makeDefault();
    return *p;
}

void Platform::setInstance(std::unique_ptr<Platform> platform) {
    slot() = std::move(platform);
}

bool Platform::simulationForced() {
    return qEnvironmentVariable("HALCYRA_PLATFORM") == QLatin1String("simulated");
}

bool Platform::hasX11Display() {
    return !qEnvironmentVariableIsEmpty("DISPLAY");
}

bool Platform::hasWaylandDisplay() {
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

void Platform::restoreGammaFromSignalHandler() {
    // The RandR backend and GNOME's display configuration install a worker here (both
    // keep our ramps after this process dies). A wlroots compositor puts its outputs'
    // own ramps back by itself, so there the handler has nothing to do and never
    // touches the Wayland connection.
    GammaSignalRestore::requestFromSignalHandler();
}

std::unique_ptr<Platform> Platform::makeSimulated() {
    std::unique_ptr<Platform> p(new Platform());
    p->m_simulated = true;
    // One laptop-like screen with its panel backlight.
    auto gamma = std::make_unique<SimulatedDisplayGamma>();
    gamma->addDisplay(1, /*builtin=*/true);
    p->m_displayGamma = std::move(gamma);
    p->m_nativeBacklight = std::make_unique<SimulatedNativeBacklight>();
    p->m_machineIdentity = std::make_unique<SimulatedMachineIdentity>();
    p->m_location = std::make_unique<SimulatedLocationService>();
    p->m_systemEvents = std::make_unique<SimulatedSystemEvents>();
    p->m_desktopNotifier = std::make_unique<SimulatedDesktopNotifier>();
    Platform* raw = p.get();
    p->m_edrHeadroom = std::make_unique<SimulatedEDRHeadroom>(
        [raw] { return raw->displayGamma().onlineDisplays().value_or(std::vector<DisplayId>{}); });
    p->m_outputMuteProbe = std::make_unique<SimulatedOutputMuteProbe>();
    p->m_doNotDisturbProbe = std::make_unique<SimulatedDoNotDisturbProbe>();
    p->m_screenReaderProbe = std::make_unique<SimulatedScreenReaderProbe>();
    p->m_windowPixels = std::make_unique<SimulatedWindowPixels>();
    p->m_inputHold = std::make_unique<SimulatedInputHold>();
    p->m_simulatedKeyboard = std::make_unique<SimulatedKeyboard>();
    p->m_globalHotKeys = std::make_unique<SimulatedGlobalHotKeys>();
    p->m_autostartEntry = std::make_unique<SimulatedAutostartEntry>();
    p->m_onboardingMarker = std::make_unique<SimulatedOnboardingMarker>();
    p->m_screenCaptureProbe = std::make_unique<SimulatedScreenCaptureProbe>();
    p->m_lightSensors.push_back(std::make_unique<SimulatedLightSensor>());
    p->m_keyboardBacklights.push_back(std::make_unique<SimulatedKeyboardBacklight>());
    p->m_nightLights.push_back(std::make_unique<SimulatedNightLight>());
    p->m_trueTone = std::make_unique<SimulatedTrueTone>();
    auto dithering = std::make_unique<SimulatedDithering>();
    dithering->addOutput(QStringLiteral("SIM-1"), QStringLiteral("auto"));
    p->m_dithering = std::move(dithering);
    return p;
}

std::unique_ptr<Platform> Platform::makeDefault() {
    if (simulationForced()) {
        qCInfo(lcPlatform) << "HALCYRA_PLATFORM=simulated — using simulated displays and devices";
        return makeSimulated();
    }
    std::unique_ptr<Platform> p = makeSimulated();
    p->m_simulated = true;
    p->simulatedEDRHeadroom()->setFixed(true);
    // Real backends, service by service, where the device answers.
    p->setMachineIdentity(std::make_unique<LinuxMachineIdentity>());
    // Opened at its first start; where there is no source it answers as the simulated one.
    p->setLocation(std::make_unique<LinuxLocationService>());
    p->m_systemEvents = std::make_unique<LinuxSystemEvents>();
    p->setDesktopNotifier(std::make_unique<LinuxDesktopNotifier>());
    p->setAutostartEntry(std::make_unique<XdgAutostartEntry>());
    p->setOnboardingMarker(std::make_unique<LinuxOnboardingMarker>());
    p->setScreenCaptureProbe(std::make_unique<LazyScreenCaptureProbe>());
    // On Wayland the compositor's own road comes first (wlroots' gamma control, then
    // GNOME's display configuration): XWayland's RandR ramps never reach the screens
    // there, so where GNOME's or a wlroots compositor answers XWayland is not tried.
    bool realGamma = false;
    bool gnomeCompositor = false;
    bool wlrCompositor = false;
    if (hasWaylandDisplay()) {
        auto wlr = WlrDisplayGamma::open();
        if (wlr && wlr->refusedEveryOutput()) {
            wlrCompositor = true;
            qCWarning(lcPlatform) << "The compositor's gamma control offers no display whose "
                                     "gamma can be set — running on simulated displays";
        } else if (auto gamma = std::move(wlr)) {
            gamma->askAgainOn(*p->m_systemEvents);
            qCInfo(lcPlatform) << "Display gamma through the compositor's gamma control";
            p->setDisplayGamma(std::move(gamma));
            p->m_simulated = false;
            realGamma = true;
        } else if (MutterDisplayGamma::isOffered(QDBusConnection::sessionBus())) {
            gnomeCompositor = true;
            if (auto gamma = MutterDisplayGamma::openOnSessionBus()) {
                qCInfo(lcPlatform) << "Display gamma through GNOME's display configuration";
                p->setDisplayGamma(std::move(gamma));
                p->m_simulated = false;
                realGamma = true;
            }
        }
    }
    if (hasX11Display()) {
        if (!realGamma && !gnomeCompositor && !wlrCompositor) {
            if (auto gamma = X11DisplayGamma::open()) {
                p->setDisplayGamma(std::move(gamma));
                p->m_simulated = false;
                p->m_displayGammaViaX11 = true;
                // The keys come from the same X server as the ramps.
                p->m_simulatedKeyboard.reset();
            }
        }
        if (auto hotKeys = X11GlobalHotKeys::open()) p->setGlobalHotKeys(std::move(hotKeys));
        p->setWindowPixels(std::make_unique<X11WindowPixels>());
        p->setInputHold(std::make_unique<X11InputHold>());
    }
    if (auto backlight = SysfsNativeBacklight::probe()) {
        p->setNativeBacklight(std::move(backlight));
        p->m_simulated = false;
    } else {
        p->setNativeBacklight(std::make_unique<SimulatedNativeBacklight>(/*available=*/false));
    }
    // Sound: the sound server and the desktop's buses; each probe says "unknown"
    // by itself when its service is absent. The audio output is chosen when the
    // first cue plays; the sound server's side waits in the service module until then.
    p->m_realAudioOutput = true;
    p->setOutputMuteProbe(std::make_unique<LazyOutputMuteProbe>());
    p->setDoNotDisturbProbe(std::make_unique<LinuxDoNotDisturbProbe>());
    p->setScreenReaderProbe(std::make_unique<LinuxScreenReaderProbe>());
    // Room light, keyboard and night light: the desktop's services first, the kernel's
    // devices next. None is opened before its controller starts. True Tone has no
    // counterpart here: the simulated client reports itself unsupported.
    p->m_lightSensors.clear();
    p->m_lightSensors.push_back(std::make_unique<SensorProxyLightSensor>());
    p->m_lightSensors.push_back(std::make_unique<SysfsLightSensor>());
    p->m_keyboardBacklights.clear();
    p->m_keyboardBacklights.push_back(std::make_unique<UPowerKeyboardBacklight>());
    p->m_keyboardBacklights.push_back(std::make_unique<SysfsKeyboardBacklight>());
    p->m_nightLights.clear();
    p->m_nightLights.push_back(std::make_unique<GnomeNightLight>());
    p->m_nightLights.push_back(std::make_unique<KWinNightLight>());
    p->m_trueTone = std::make_unique<SimulatedTrueTone>(/*supported=*/false);
    std::unique_ptr<DitheringControl> dithering;
    if (hasX11Display()) dithering = RandRDithering::open();
    p->m_dithering = dithering ? std::move(dithering) : std::make_unique<SimulatedDithering>();
    return p;
}

QString Platform::describe() const {
    return m_simulated ? QStringLiteral("simulated") : QStringLiteral("linux");
}

void Platform::setDisplayGamma(std::unique_ptr<DisplayGamma> service) {
    m_displayGamma = std::move(service);
}
SimulatedDisplayGamma* Platform::simulatedDisplayGamma() const {
    return dynamic_cast<SimulatedDisplayGamma*>(m_displayGamma.get());
}

void Platform::setNativeBacklight(std::unique_ptr<NativeBacklight> service) {
    m_nativeBacklight = std::move(service);
}
SimulatedNativeBacklight* Platform::simulatedNativeBacklight() const {
    return dynamic_cast<SimulatedNativeBacklight*>(m_nativeBacklight.get());
}

SimulatedEDRHeadroom* Platform::simulatedEDRHeadroom() const {
    return dynamic_cast<SimulatedEDRHeadroom*>(m_edrHeadroom.get());
}

void Platform::setMachineIdentity(std::unique_ptr<MachineIdentity> service) {
    m_machineIdentity = std::move(service);
}
SimulatedMachineIdentity* Platform::simulatedMachineIdentity() const {
    return dynamic_cast<SimulatedMachineIdentity*>(m_machineIdentity.get());
}

void Platform::setLocation(std::unique_ptr<LocationService> service) {
    m_location = std::move(service);
}
SimulatedLocationService* Platform::simulatedLocation() const {
    return dynamic_cast<SimulatedLocationService*>(m_location.get());
}

std::unique_ptr<InstanceLock> Platform::makeInstanceLock() {
    if (simulationForced()) return std::make_unique<SimulatedInstanceLock>();
    return std::make_unique<LinuxInstanceLock>(LinuxInstanceLock::defaultDirectory());
}

void Platform::setDesktopNotifier(std::unique_ptr<DesktopNotifier> service) {
    m_desktopNotifier = std::move(service);
}
SimulatedDesktopNotifier* Platform::simulatedDesktopNotifier() const {
    return dynamic_cast<SimulatedDesktopNotifier*>(m_desktopNotifier.get());
}

std::unique_ptr<SoundCueAudioBackend> Platform::makeSoundCueAudioBackend() const {
    if (m_realAudioOutput) {
        ServiceModule* services = LinuxServiceModule::get(ServiceModule::Part::sound);
        if (services && services->audioOutputAvailable())
            return services->makeSoundCueAudioBackend();
        qCInfo(lcPlatform) << "No audio output device — sound cues go to the simulated output";
    }
    return std::make_unique<SimulatedSoundCueAudioBackend>();
}

void Platform::setOutputMuteProbe(std::unique_ptr<OutputMuteProbe> service) {
    m_outputMuteProbe = std::move(service);
}
SimulatedOutputMuteProbe* Platform::simulatedOutputMuteProbe() const {
    return dynamic_cast<SimulatedOutputMuteProbe*>(m_outputMuteProbe.get());
}

void Platform::setDoNotDisturbProbe(std::unique_ptr<DoNotDisturbProbe> service) {
    m_doNotDisturbProbe = std::move(service);
}
SimulatedDoNotDisturbProbe* Platform::simulatedDoNotDisturbProbe() const {
    return dynamic_cast<SimulatedDoNotDisturbProbe*>(m_doNotDisturbProbe.get());
}

void Platform::setWindowPixels(std::unique_ptr<WindowPixels> service) {
    m_windowPixels = std::move(service);
}
SimulatedWindowPixels* Platform::simulatedWindowPixels() const {
    return dynamic_cast<SimulatedWindowPixels*>(m_windowPixels.get());
}

void Platform::setInputHold(std::unique_ptr<InputHold> service) {
    m_inputHold = std::move(service);
}
SimulatedInputHold* Platform::simulatedInputHold() const {
    return dynamic_cast<SimulatedInputHold*>(m_inputHold.get());
}

void Platform::setScreenReaderProbe(std::unique_ptr<ScreenReaderProbe> service) {
    m_screenReaderProbe = std::move(service);
}
SimulatedScreenReaderProbe* Platform::simulatedScreenReaderProbe() const {
    return dynamic_cast<SimulatedScreenReaderProbe*>(m_screenReaderProbe.get());
}

SimulatedSystemEvents* Platform::simulatedSystemEvents() const {
    return dynamic_cast<SimulatedSystemEvents*>(m_systemEvents.get());
}

std::unique_ptr<MediaKeyTap> Platform::makeMediaKeyTap(MediaKeyTapDelegate* delegate,
                                                       KeyPressMode mode,
                                                       std::vector<MediaKey> keys,
                                                       bool observeBuiltIn) {
    // The identifier other tap owners know this application by.
    const QString own = QStringLiteral("com.halcyra.app");
    std::unique_ptr<MediaKeyTap> tap;
    std::unique_ptr<MediaApplicationBus> bus;
    if (m_simulatedKeyboard) {
        tap = std::make_unique<SimulatedMediaKeyTap>(*m_simulatedKeyboard, delegate, mode,
                                                     std::move(keys), observeBuiltIn);
        bus = std::make_unique<SimulatedMediaApplicationBus>(
            MediaApplication{QStringLiteral("self"), own, 0});
    } else {
        tap = std::make_unique<X11MediaKeyTap>(QString(), delegate, mode, std::move(keys),
                                               observeBuiltIn);
        bus = std::make_unique<DBusMediaApplicationBus>(own);
    }
    tap->setWatcher(std::make_unique<MediaApplicationWatcher>(std::move(bus), own));
    return tap;
}

bool Platform::mediaKeysAvailable(const std::vector<MediaKey>& keys) {
    if (m_simulatedKeyboard) return !m_simulatedKeyboard->heldElsewhere();
    return X11MediaKeyTap::keysAvailable(QString(), keys);
}

void Platform::setGlobalHotKeys(std::unique_ptr<GlobalHotKeys> service) {
    m_globalHotKeys = std::move(service);
}
SimulatedGlobalHotKeys* Platform::simulatedGlobalHotKeys() const {
    return dynamic_cast<SimulatedGlobalHotKeys*>(m_globalHotKeys.get());
}

void Platform::setAutostartEntry(std::unique_ptr<AutostartEntry> service) {
    m_autostartEntry = std::move(service);
}
SimulatedAutostartEntry* Platform::simulatedAutostartEntry() const {
    return dynamic_cast<SimulatedAutostartEntry*>(m_autostartEntry.get());
}

void Platform::setOnboardingMarker(std::unique_ptr<OnboardingMarker> service) {
    m_onboardingMarker = std::move(service);
}
SimulatedOnboardingMarker* Platform::simulatedOnboardingMarker() const {
    return dynamic_cast<SimulatedOnboardingMarker*>(m_onboardingMarker.get());
}

void Platform::setScreenCaptureProbe(std::unique_ptr<ScreenCaptureProbe> service) {
    m_screenCaptureProbe = std::move(service);
}
SimulatedScreenCaptureProbe* Platform::simulatedScreenCaptureProbe() const {
    return dynamic_cast<SimulatedScreenCaptureProbe*>(m_screenCaptureProbe.get());
}

namespace {
template <typename T>
std::vector<std::shared_ptr<T>> shareAll(std::vector<std::unique_ptr<T>> owned) {
    std::vector<std::shared_ptr<T>> shared;
    for (auto& p : owned)
        shared.push_back(std::move(p));
    return shared;
}
template <typename S, typename T> S* firstOf(const std::vector<std::shared_ptr<T>>& v) {
    return v.empty() ? nullptr : dynamic_cast<S*>(v.front().get());
}
} // namespace

std::vector<std::shared_ptr<LightSensor>> Platform::lightSensors() const {
    return m_lightSensors;
}
void Platform::setLightSensors(std::vector<std::unique_ptr<LightSensor>> sources) {
    m_lightSensors = shareAll(std::move(sources));
}
SimulatedLightSensor* Platform::simulatedLightSensor() const {
    return firstOf<SimulatedLightSensor>(m_lightSensors);
}

std::vector<std::shared_ptr<KeyboardBacklight>> Platform::keyboardBacklights() const {
    return m_keyboardBacklights;
}
void Platform::setKeyboardBacklights(std::vector<std::unique_ptr<KeyboardBacklight>> devices) {
    m_keyboardBacklights = shareAll(std::move(devices));
}
SimulatedKeyboardBacklight* Platform::simulatedKeyboardBacklight() const {
    return firstOf<SimulatedKeyboardBacklight>(m_keyboardBacklights);
}

std::vector<std::shared_ptr<NightLight>> Platform::nightLights() const {
    return m_nightLights;
}
void Platform::setNightLights(std::vector<std::unique_ptr<NightLight>> clients) {
    m_nightLights = shareAll(std::move(clients));
}
SimulatedNightLight* Platform::simulatedNightLight() const {
    return firstOf<SimulatedNightLight>(m_nightLights);
}

SimulatedTrueTone* Platform::simulatedTrueTone() const {
    return dynamic_cast<SimulatedTrueTone*>(m_trueTone.get());
}

std::unique_ptr<HttpClient> Platform::makeHttpClient() const {
    if (m_makeHttpClient) return m_makeHttpClient();
    // The module's failure to open is said once, in its own words.
    if (ServiceModule* network = LinuxServiceModule::get(ServiceModule::Part::network))
        if (auto client = network->makeHttpClient()) return client;
    return std::make_unique<SimulatedHttpClient>();
}

void Platform::setHttpClientMaker(std::function<std::unique_ptr<HttpClient>()> make) {
    m_makeHttpClient = std::move(make);
}

void Platform::setDithering(std::unique_ptr<DitheringControl> service) {
    m_dithering = std::move(service);
}
SimulatedDithering* Platform::simulatedDithering() const {
    return dynamic_cast<SimulatedDithering*>(m_dithering.get());
}
