#pragma once

#include "core/Clock.h"

#include <QObject>
#include <QString>
#include <functional>

class SoundCueEngine;
struct HalcyraPreset;

// The state behind the status-item popover: the on/off switch, the warmth and
// brightness sliders and the flags the popover's views read. Each user gesture
// becomes writes of the stored settings plus a call of the callbacks the application
// installs; outside changes of warmth and brightness (keys, sensors, ramps) come back
// in through the "halcyraBrightnessKeyChanged" observer without being written again.
//
// Every assignment of `enabled`, `temperature` or `brightness` runs its change
// handler, even when the value does not change. Main thread only.
class PopoverViewModel : public QObject {
    Q_OBJECT
public:
    explicit PopoverViewModel(SoundCueEngine& cues, Clock& clock = Clock::system(),
                              QObject* parent = nullptr);
    // Over the process-wide sound cue engine.
    PopoverViewModel();
    ~PopoverViewModel() override;

    // --- Published state -------------------------------------------------------------
    bool pausedByWatchdog() const { return m_pausedByWatchdog; }
    void setPausedByWatchdog(bool paused);
    bool showFeedbackBox() const { return m_showFeedbackBox; }
    void setShowFeedbackBox(bool show);
    bool popoverVisible() const { return m_popoverVisible; }
    void setPopoverVisible(bool visible);

    bool enabled() const { return m_enabled; }
    void setEnabled(bool on);
    double temperature() const { return m_temperature; }
    void setTemperature(double kelvin);
    double brightness() const { return m_brightness; }
    void setBrightness(double value);

    // --- Callbacks the application installs -------------------------------------------
    std::function<void()> onUserToggledEnabled;
    std::function<void()> onUserSetWarmth;
    std::function<void()> onUpdate;
    // Switching on clears a watchdog pause; the watchdog itself is the owner's.
    std::function<void()> onWatchdogPauseCleared;
    std::function<void()> onSettingsPressed; // called by the popover's gear, never here

    // While true, a user write of `temperature` glides through the warmth ramp.
    bool glideNextWarmthWrite = false;
    // A popover slider is being dragged: outside echoes wait until it ends.
    bool userIsDragging = false;
    bool isEchoingExternalChange() const { return m_echoing; }

    SoundCueEngine& cues() const { return m_cues; }

    // --- Bindings --------------------------------------------------------------------
    // The warmth slider's position: 0 at 6500 K, 1 at 500 K (not clamped on read).
    double invertedTemp() const;
    void setInvertedTemp(double position);
    // The on/off switch: writes play toggleOn or toggleOff.
    bool enabledToggle() const { return m_enabled; }
    void setEnabledToggle(bool on);
    // The brightness slider's position: 0 at brightness 0.1, 1 at 1.0 (no clamp).
    double brightnessSliderPosition() const;
    void setBrightnessSliderPosition(double position);

    // The kelvin a warmth slider position asks for: whole hundreds within 500–6500.
    static double kelvinForPosition(double position);

    // --- Operations ------------------------------------------------------------------
    // Copies the stored settings in after an outside writer changed them wholesale.
    void syncFromPreferences();
    void setEnabledByUser(bool on);
    void setBrightnessByUser(double value);
    // A pinned preset chip: switches the tint on, glides to the preset's warmth,
    // writes full intensity and records the use.
    void applyPresetByUser(const HalcyraPreset& preset);
    void applyPresetByUser(const QString& name, double temperature);

signals:
    void enabledChanged(bool enabled);
    void temperatureChanged(double kelvin);
    void brightnessChanged(double brightness);
    void pausedByWatchdogChanged(bool paused);
    void showFeedbackBoxChanged(bool show);
    void popoverVisibleChanged(bool visible);

private:
    void echoExternalChange();
    void noteManualTemperature();
    void noteManualBrightness();
    void callUpdate();

    SoundCueEngine& m_cues;
    Clock& m_clock;
    bool m_pausedByWatchdog = false;
    bool m_showFeedbackBox = true;
    bool m_popoverVisible = false;
    bool m_enabled = false;
    double m_temperature = 0;
    double m_brightness = 1;
    bool m_echoing = false;
};
