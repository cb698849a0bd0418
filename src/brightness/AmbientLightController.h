#pragma once

#include "core/FrameTimer.h"

#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class LightSensor;

// Follows the room's light: every 5 s it reads the first light source that answers
// and, as the settings say, dims the tint's brightness in dim rooms and warms its
// temperature. Both adjustments start from the user's own levels (the manual
// baselines), never from a value this controller wrote, and glide over 2 s, writing
// the same settings as the keys and the popover. Other writers take an axis over by
// bumping its lease. Main thread only.
class AmbientLightController : public QObject {
    Q_OBJECT
public:
    enum class TransitionAxis { brightness, temperature };
    struct Reading {
        double lux;
        double cct;
    };
    using SourceProvider = std::function<std::vector<std::shared_ptr<LightSensor>>()>;
    using TimerFactory = std::function<std::unique_ptr<FrameTimer>()>;

    static constexpr double pollInterval = 5.0;
    static constexpr double transitionTick = 1.0 / 30.0;
    static constexpr int transitionTicks = 60;
    static inline const QString fakeLuxVariable = QStringLiteral("HALCYRA_FAKE_LUX_FILE");

    // The one instance, over the platform's light sources.
    static AmbientLightController& shared();
    // `sources`: the light sources in the order they are asked (default: the
    // platform's). `timers`: the poll and transition timers (default: real ones).
    explicit AmbientLightController(SourceProvider sources = {}, TimerFactory timers = {},
                                    QObject* parent = nullptr);
    ~AmbientLightController() override;

    // Whether the interceptor's brightness and warmth ramps are moving; a moving ramp
    // makes the poll leave that axis alone.
    void setRampProbes(std::function<bool()> brightnessBusy, std::function<bool()> warmthBusy);

    // ---- Lifecycle ----
    void start();
    void stop();
    void startALSMonitoring();
    void stopALSMonitoring();

    // ---- Writers of brightness and temperature ----
    quint64 bumpTransitionLease(TransitionAxis axis);
    // Another writer takes the axis: its running transition stops, its lease moves on.
    void yieldAxis(TransitionAxis axis);
    void restoreManualBaselines(double temperature, double brightness);
    // The popover's rule: a value that is not an echo of our own write is the user's.
    void noteUserTemperature(double kelvin);
    void noteUserBrightness(double brightness);

    // ---- Readings ----
    std::optional<Reading> readAmbientLight();
    void pollAmbientLight();

    // ---- State ----
    bool isActive() const { return m_active; }
    bool isAlsAvailable() const { return m_alsAvailable; }
    bool isMonitoring() const { return m_pollTimer && m_pollTimer->isActive(); }
    bool transitionRunning(TransitionAxis axis) const;
    // The last accepted reading; none before the first.
    std::optional<Reading> lastReading() const { return m_reading; }
    double ambientLux() const { return m_reading ? m_reading->lux : 0.0; }
    double ambientCCT() const { return m_reading ? m_reading->cct : 5000.0; }
    double userManualBrightness() const { return m_userManualBrightness; }
    double userManualTemperature() const { return m_userManualTemperature; }
    double lastALSAppliedBrightness() const { return m_lastAppliedBrightness; }
    double lastALSAppliedTemperature() const { return m_lastAppliedTemperature; }
    double appliedWarmthShiftMired() const { return m_appliedShift; }
    std::optional<double> pendingWarmthShiftMired() const { return m_pendingShift; }

signals:
    // A new reading was accepted (or the sensor went away: none).
    void readingChanged();
    // start() or stop() changed isActive().
    void activeChanged();

private:
    std::unique_ptr<FrameTimer> makeTimer();
    std::unique_ptr<FrameTimer>& transitionTimer(TransitionAxis axis);
    void openSources();
    // Runs one call into a sensor backend inside the exception trap; false (logged
    // with `name`) when the backend threw.
    static bool safeExec(const QString& name, const std::function<void()>& block);
    std::optional<double> fakeLux() const;
    void smoothTransition(TransitionAxis axis, double from, double to);
    void apply(TransitionAxis axis, double value);
    void dimmingStep(double lux);
    void warmthStep(double lux);
    void setReading(std::optional<Reading> reading);

    SourceProvider m_sources;
    TimerFactory m_timerFactory;
    std::function<bool()> m_brightnessBusy;
    std::function<bool()> m_warmthBusy;
    // Held weakly: the sources belong to the platform, which may be replaced (a test,
    // a backend change) while this controller lives on.
    std::vector<std::weak_ptr<LightSensor>> m_openSources;
    bool m_noSensorReported = false;

    bool m_active = false;
    bool m_alsAvailable = false;
    std::optional<Reading> m_reading;
    double m_userManualBrightness = 1.0;
    double m_userManualTemperature = 3400.0;
    double m_lastAppliedBrightness = -1;
    double m_lastAppliedTemperature = -1;
    double m_appliedShift = 0;
    std::optional<double> m_pendingShift;
    int m_pendingCount = 0;
    std::map<TransitionAxis, quint64> m_leases;

    std::unique_ptr<FrameTimer> m_pollTimer;
    std::unique_ptr<FrameTimer> m_brightnessTransition;
    std::unique_ptr<FrameTimer> m_temperatureTransition;
};
