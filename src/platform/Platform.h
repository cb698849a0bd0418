#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <vector>

// Services (one line each).
class DisplayGamma;
class MachineIdentity;
class SimulatedMachineIdentity;
class SystemEvents;
class SimulatedSystemEvents;
class InstanceLock;
class DesktopNotifier;
class SimulatedDesktopNotifier;
class SimulatedDisplayGamma;
class NativeBacklight;
class SimulatedNativeBacklight;
class EDRHeadroom;
class SimulatedEDRHeadroom;
class SoundCueAudioBackend;
class OutputMuteProbe;
class SimulatedOutputMuteProbe;
class DoNotDisturbProbe;
class SimulatedDoNotDisturbProbe;
class ScreenReaderProbe;
class SimulatedScreenReaderProbe;
class LocationService;
class SimulatedLocationService;
class MediaKeyTap;
class MediaKeyTapDelegate;
class SimulatedKeyboard;
enum class MediaKey;
enum class KeyPressMode;
class GlobalHotKeys;
class SimulatedGlobalHotKeys;
class AutostartEntry;
class SimulatedAutostartEntry;
class OnboardingMarker;
class SimulatedOnboardingMarker;
class ScreenCaptureProbe;
class SimulatedScreenCaptureProbe;
class LightSensor;
class SimulatedLightSensor;
class KeyboardBacklight;
class SimulatedKeyboardBacklight;
class NightLight;
class SimulatedNightLight;
class TrueToneClient;
class SimulatedTrueTone;
class DitheringControl;
class SimulatedDithering;
class WindowPixels;
class SimulatedWindowPixels;
class InputHold;
class SimulatedInputHold;
class HttpClient;

// Picks a backend for every platform service at start-up: the real Linux backend
// where the device answers, the simulated one otherwise. HALCYRA_PLATFORM=simulated
// forces the simulated backends everywhere (a diagnostic).
//
// Each service is an abstract interface named after its role, with one simulated
// backend (in memory, scriptable by tests) and, where Linux has the thing, a real one.
class Platform {
public:
    static Platform& instance();
    // Replaces the process-wide platform (tests build one from simulated parts).
    static void setInstance(std::unique_ptr<Platform> platform);
    // A platform made only of simulated backends.
    static std::unique_ptr<Platform> makeSimulated();
    // Probes the machine; falls back to simulated backends service by service.
    static std::unique_ptr<Platform> makeDefault();

    // Made apart from the platform, before it, so that a second copy of the application
    // can leave without having touched any device.
    static std::unique_ptr<InstanceLock> makeInstanceLock();

    static bool simulationForced();
    // True when an X11 display can be reached.
    static bool hasX11Display();
    // True when a Wayland compositor is named in the environment.
    static bool hasWaylandDisplay();

    // Async-signal-safe: asks the gamma backend to restore the displays' own tables
    // from a signal handler and waits (at most about a second) until that is done.
    // Returns without doing anything when the backend cannot do this from a signal.
    static void restoreGammaFromSignalHandler();

    // True when every service runs on a simulated backend.
    bool isSimulated() const { return m_simulated; }
    // True when the display gamma goes through an X server's RandR (on a Wayland
    // session: through XWayland).
    bool displayGammaViaX11() const { return m_displayGammaViaX11; }
    QString describe() const;

    // ---- Services: an accessor, a setter (tests swap one backend) and the typed
    // simulated backend (null when the service runs on a real one), per service. ----
    DisplayGamma& displayGamma() { return *m_displayGamma; }
    void setDisplayGamma(std::unique_ptr<DisplayGamma> service);
    SimulatedDisplayGamma* simulatedDisplayGamma() const;

    NativeBacklight& nativeBacklight() { return *m_nativeBacklight; }
    void setNativeBacklight(std::unique_ptr<NativeBacklight> service);
    SimulatedNativeBacklight* simulatedNativeBacklight() const;

    EDRHeadroom& edrHeadroom() { return *m_edrHeadroom; }
    SimulatedEDRHeadroom* simulatedEDRHeadroom() const;

    // The sound cue output owns its backend and runs it on its own thread, so each
    // call makes a new one (simulated where no audio output exists).
    std::unique_ptr<SoundCueAudioBackend> makeSoundCueAudioBackend() const;

    OutputMuteProbe& outputMuteProbe() { return *m_outputMuteProbe; }
    void setOutputMuteProbe(std::unique_ptr<OutputMuteProbe> service);
    SimulatedOutputMuteProbe* simulatedOutputMuteProbe() const;

    DoNotDisturbProbe& doNotDisturbProbe() { return *m_doNotDisturbProbe; }
    void setDoNotDisturbProbe(std::unique_ptr<DoNotDisturbProbe> service);
    SimulatedDoNotDisturbProbe* simulatedDoNotDisturbProbe() const;

    ScreenReaderProbe& screenReaderProbe() { return *m_screenReaderProbe; }
    void setScreenReaderProbe(std::unique_ptr<ScreenReaderProbe> service);
    SimulatedScreenReaderProbe* simulatedScreenReaderProbe() const;

    WindowPixels& windowPixels() { return *m_windowPixels; }
    void setWindowPixels(std::unique_ptr<WindowPixels> service);
    SimulatedWindowPixels* simulatedWindowPixels() const;

    InputHold& inputHold() { return *m_inputHold; }
    void setInputHold(std::unique_ptr<InputHold> service);
    SimulatedInputHold* simulatedInputHold() const;

    DesktopNotifier& desktopNotifier() { return *m_desktopNotifier; }
    void setDesktopNotifier(std::unique_ptr<DesktopNotifier> service);
    SimulatedDesktopNotifier* simulatedDesktopNotifier() const;

    SystemEvents& systemEvents() { return *m_systemEvents; }
    SimulatedSystemEvents* simulatedSystemEvents() const;

    MachineIdentity& machineIdentity() { return *m_machineIdentity; }
    void setMachineIdentity(std::unique_ptr<MachineIdentity> service);
    SimulatedMachineIdentity* simulatedMachineIdentity() const;

    LocationService& location() { return *m_location; }
    void setLocation(std::unique_ptr<LocationService> service);
    SimulatedLocationService* simulatedLocation() const;

    // The key tap: X11 grabs on a connection and thread of its own where a display
    // answers, else a tap on the simulated keyboard.
    std::unique_ptr<MediaKeyTap> makeMediaKeyTap(MediaKeyTapDelegate* delegate, KeyPressMode mode,
                                                 std::vector<MediaKey> keys, bool observeBuiltIn);
    // Whether `keys` can be taken now (no other client holds them).
    bool mediaKeysAvailable(const std::vector<MediaKey>& keys);
    SimulatedKeyboard* simulatedKeyboard() const { return m_simulatedKeyboard.get(); }
    GlobalHotKeys& globalHotKeys() { return *m_globalHotKeys; }
    void setGlobalHotKeys(std::unique_ptr<GlobalHotKeys> service);
    SimulatedGlobalHotKeys* simulatedGlobalHotKeys() const;

    AutostartEntry& autostartEntry() { return *m_autostartEntry; }
    void setAutostartEntry(std::unique_ptr<AutostartEntry> service);
    SimulatedAutostartEntry* simulatedAutostartEntry() const;

    OnboardingMarker& onboardingMarker() { return *m_onboardingMarker; }
    void setOnboardingMarker(std::unique_ptr<OnboardingMarker> service);
    SimulatedOnboardingMarker* simulatedOnboardingMarker() const;

    ScreenCaptureProbe& screenCaptureProbe() { return *m_screenCaptureProbe; }
    void setScreenCaptureProbe(std::unique_ptr<ScreenCaptureProbe> service);
    SimulatedScreenCaptureProbe* simulatedScreenCaptureProbe() const;
    // Light sources and keyboard backlights in the order they are tried (first one
    // that answers wins); night lights likewise (first available one is used).
    // They are shared: a controller that keeps one after asking holds it weakly, and so
    // never uses a device this platform (since replaced) has already let go of.
    std::vector<std::shared_ptr<LightSensor>> lightSensors() const;
    void setLightSensors(std::vector<std::unique_ptr<LightSensor>> sources);
    SimulatedLightSensor* simulatedLightSensor() const;

    std::vector<std::shared_ptr<KeyboardBacklight>> keyboardBacklights() const;
    void setKeyboardBacklights(std::vector<std::unique_ptr<KeyboardBacklight>> devices);
    SimulatedKeyboardBacklight* simulatedKeyboardBacklight() const;

    std::vector<std::shared_ptr<NightLight>> nightLights() const;
    void setNightLights(std::vector<std::unique_ptr<NightLight>> clients);
    SimulatedNightLight* simulatedNightLight() const;

    TrueToneClient& trueTone() { return *m_trueTone; }
    SimulatedTrueTone* simulatedTrueTone() const;

    // A client of its own for each caller, made when its first request goes out: the
    // network module's, opened then (with a simulated platform too: the web services
    // are no device), or one that fails every request where the module cannot be opened.
    std::unique_ptr<HttpClient> makeHttpClient() const;
    // Tests link the module's client in and hand it out here instead.
    void setHttpClientMaker(std::function<std::unique_ptr<HttpClient>()> make);

    DitheringControl& dithering() { return *m_dithering; }
    void setDithering(std::unique_ptr<DitheringControl> service);
    SimulatedDithering* simulatedDithering() const;

    ~Platform();

private:
    Platform();
    bool m_simulated = true;
    bool m_displayGammaViaX11 = false;
    // Declaration order is construction order; later services may use earlier ones.
    std::unique_ptr<DisplayGamma> m_displayGamma;
    std::unique_ptr<MachineIdentity> m_machineIdentity;
    std::unique_ptr<SystemEvents> m_systemEvents;
    std::unique_ptr<DesktopNotifier> m_desktopNotifier;
    std::unique_ptr<NativeBacklight> m_nativeBacklight;
    std::unique_ptr<EDRHeadroom> m_edrHeadroom;
    bool m_realAudioOutput = false;
    std::unique_ptr<OutputMuteProbe> m_outputMuteProbe;
    std::unique_ptr<DoNotDisturbProbe> m_doNotDisturbProbe;
    std::unique_ptr<ScreenReaderProbe> m_screenReaderProbe;
    std::unique_ptr<WindowPixels> m_windowPixels;
    std::unique_ptr<InputHold> m_inputHold;
    std::unique_ptr<LocationService> m_location;
    // Null when the keys come from the X server.
    std::unique_ptr<SimulatedKeyboard> m_simulatedKeyboard;
    std::unique_ptr<GlobalHotKeys> m_globalHotKeys;
    std::unique_ptr<AutostartEntry> m_autostartEntry;
    std::unique_ptr<OnboardingMarker> m_onboardingMarker;
    std::unique_ptr<ScreenCaptureProbe> m_screenCaptureProbe;
    std::vector<std::shared_ptr<LightSensor>> m_lightSensors;
    std::vector<std::shared_ptr<KeyboardBacklight>> m_keyboardBacklights;
    std::vector<std::shared_ptr<NightLight>> m_nightLights;
    std::unique_ptr<TrueToneClient> m_trueTone;
    std::unique_ptr<DitheringControl> m_dithering;
    std::function<std::unique_ptr<HttpClient>()> m_makeHttpClient;
};
