#pragma once

#include "core/FrameTimer.h"

#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class KeyboardBacklight;

// The keyboard backlight's level as a step function of the tint's warmth
// (intensity 0..4): full below 1, half below 2.5, a fifth below 3.5, off above.
namespace HarmonyMapping {
float factor(double warmth);
// The baseline that, at this warmth, gives the level the user set by hand.
float rebaselined(float observed, double warmth);
} // namespace HarmonyMapping

// Reads and sets the keyboard backlight and ties it to the tint in one of two ways:
// plain sync (the tint engine writes the tint's brightness, and full when the tint
// goes off; no earlier level is kept) or Full Harmony (the level glides to a band
// factor of the warmth times the user's baseline). Harmony's baseline is persisted
// before it is first changed, so quitting, a termination signal or a restart after a
// crash gives it back. Main thread only.
class KeyboardBrightnessController : public QObject {
    Q_OBJECT
public:
    using DeviceProvider = std::function<std::vector<std::shared_ptr<KeyboardBacklight>>()>;
    using TimerFactory = std::function<std::unique_ptr<FrameTimer>()>;
    static constexpr double pollInterval = 0.5;
    static constexpr double glideInterval = 1.0 / 30.0;

    static KeyboardBrightnessController& shared();
    explicit KeyboardBrightnessController(DeviceProvider devices = {}, TimerFactory timers = {},
                                          QObject* parent = nullptr);
    ~KeyboardBrightnessController() override;

    void start();
    void stop();
    // Sets the hardware level (clamped to 0..1) and publishes it.
    void writeBrightness(float level);

    // ---- Full Harmony ----
    void engageHarmony(double warmth);
    void harmonyWarmthChanged(double warmth);
    void disengageHarmony(bool restoreBaseline);
    // A baseline left by a run that ended while it was changed is written back once.
    void restoreStaleHarmonyBaselineIfNeeded();

    // One pass of the 0.5 s poll.
    void pollBrightness();
    void glideTick();

    float brightness() const { return m_brightness; }
    bool isAvailable() const { return m_available; }
    bool isActive() const { return m_active; }
    bool isHarmonyEngaged() const { return m_harmonyEngaged; }
    float harmonyBaseline() const { return m_harmonyBaseline; }
    bool glideRunning() const { return m_glideTimer && m_glideTimer->isActive(); }

signals:
    void brightnessChanged(float level);

private:
    std::unique_ptr<FrameTimer> makeTimer();
    void discover();
    // The device found by discover(); when its platform let go of it, the first of the
    // current platform's that opens. Null when none.
    std::shared_ptr<KeyboardBacklight> device();
    float readLevel();
    void startPolling();
    void glideTo(float target);
    void persistHarmonyBaseline();
    void removePersisted(const QString& key);

    DeviceProvider m_devices;
    TimerFactory m_timerFactory;
    // Held weakly: the device belongs to the platform, which may be replaced.
    std::weak_ptr<KeyboardBacklight> m_device;
    bool m_hardwareDetected = false;

    float m_brightness = 0;
    bool m_available = false;
    bool m_active = false;
    std::unique_ptr<FrameTimer> m_pollTimer;

    bool m_harmonyEngaged = false;
    float m_harmonyBaseline = 1.0f;
    float m_harmonyLastCommanded = 0;
    double m_harmonyWarmth = 0;
    std::unique_ptr<FrameTimer> m_glideTimer;
    float m_glideTarget = 0;
    std::optional<float> m_holdBand;
};
