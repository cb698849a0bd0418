#pragma once

#include "insights/ScheduleSettingsModel.h"

#include <QList>
#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>

class SoundCueEngine;
class TestimonialRequest;

// The state behind the settings window: a mirror of the stored settings that the
// window shows and changes. Assigning a mirrored setting runs its change handler,
// which writes the setting and then drives the feature's owner (a callback the
// application installs, a named notification, or a controller hook run just after
// the handler returns). While the model copies in a change made elsewhere (another
// writer, an edit of the settings file) the handlers do nothing, so nothing is
// written back and no controller acts twice.
//
// The schedule's keys (the two mode switches and the points), the window's visibility
// and the schedule callbacks are the schedule views' model, which this one extends:
// the scheduling page binds to this very object, so those keys have one mirror and one
// change runs one handler. Main thread only.
class SettingsViewModel : public ScheduleSettingsModel {
    Q_OBJECT
public:
    // The mirrored switches, in the order a refresh compares them.
    enum class Toggle {
        flickerFree,
        disableDithering,
        launchAtLogin,
        showTemperatureInMenuBar,
        showFeedbackBox,
        keyboardBrightnessSync,
        fullHarmonyEnabled,
        autoSunset,
        useSchedule,
        brightnessKeyInterception,
        autoDisableNightShift,
        ambientDimming,
        adaptToRoomLighting,
        manageTrueTone,
        xdrBoostEnabled,
    };
    static constexpr int toggleCount = 15;
    static QString keyOf(Toggle t);

    enum class UpdateCheckStatus { checking, upToDate, failed };

    // What the switches drive. Each is optional: a feature whose owner is not wired
    // only has its setting written.
    struct Controllers {
        std::function<void()> startKeyInterceptor;
        std::function<void()> stopKeyInterceptor;
        std::function<void()> startKeyboardSync;
        std::function<void()> stopKeyboardSync;
        std::function<void(double intensity)> engageHarmony;
        std::function<void()> disengageHarmonyRestoringBaseline;
        std::function<void()> disableNightShift;
        std::function<void()> restoreNightShift;
        std::function<void()> startALSMonitoring;
        std::function<void()> stopALSMonitoring;
        std::function<void()> restoreTrueTone;
        std::function<void(bool enabled)> setDithering;
        std::function<void()> restoreDithering;
        // Registered once per process, the first time dithering is switched off.
        std::function<void()> registerDitheringReconfiguration;
        // Registers or removes the login item; returns the state read back (none when
        // the system could establish neither).
        std::function<std::optional<bool>(bool on)> applyLoginItem;
        // Shows or hides Halcyra's windows in the taskbar / dock.
        std::function<void(bool shown)> applyDockVisibility;
        // Starts this program again once this copy has gone, then ends this copy.
        std::function<bool()> relaunch;
        std::function<void()> terminate;
        std::function<void(const QString& url)> openUrl;
        // A manual choice that a running schedule leaves alone until its next
        // transition (tagged with whether the schedule is warm now).
        std::function<void()> pinManualOverride;
        // Eases the warmth to a kelvin through the warmth ramp (each step stored and
        // shown; at once with smooth transitions off).
        std::function<void(double kelvin)> glideWarmth;
        // The room's colour temperature from the last light reading, none without one.
        std::function<std::optional<double>()> ambientCCT;
    };

    explicit SettingsViewModel(SoundCueEngine& cues, QObject* parent = nullptr);
    // Over the process-wide sound cue engine.
    SettingsViewModel();
    ~SettingsViewModel() override;

    // ---- Mirrored settings ----
    bool value(Toggle t) const;
    // Runs the change handler on every assignment, also of the value already held.
    void set(Toggle t, bool on);
    // A switch flipped by the user: assigns, then plays toggleOn or toggleOff.
    void setByUser(Toggle t, bool on);

    int transitionMinutes() const { return m_transitionMinutes; }
    void setTransitionMinutes(int minutes);
    double xdrBoostStrength() const { return m_xdrBoostStrength; }
    void setXdrBoostStrength(double strength);

    // Re-reads every mirrored setting and assigns those that differ. Callers hold the
    // echo flag around it.
    void refreshFromPreferences() override;

    // A preset chosen in the window; its intensity is not used. A running schedule
    // leaves it alone until its next transition; the tint goes on at full intensity,
    // onPresetApplied shows that, and the warmth then glides to `temperature`.
    void applyPreset(double temperature, double intensity);

    // ---- Window state (its visibility is the schedule model's) ----
    std::optional<QString> availableUpdateVersion() const { return m_availableUpdateVersion; }
    void setAvailableUpdateVersion(std::optional<QString> version);
    std::optional<UpdateCheckStatus> updateCheckStatus() const { return m_updateCheckStatus; }
    void setUpdateCheckStatus(std::optional<UpdateCheckStatus> status);

    // ---- Settings owned by the general section (written straight to the store) ----
    bool showInDock() const;
    void setShowInDockByUser(bool shown);
    bool smoothTransitions() const;
    void setSmoothTransitionsByUser(bool on);
    bool soundCues() const;
    void setSoundCuesByUser(bool on);
    double soundCueVolume() const;
    // Stores the volume held to 0.2–1.0; `released` plays sliderRelease at it.
    void setSoundCueVolumeByUser(double volume, bool released);
    bool safeMode() const;
    // Clears safe mode (both keys on disk first), starts a fresh copy and ends this one.
    void resetSafeModeAndRelaunch();
    // The feedback mail: "mailto:<support>?subject=Halcyra%20Feedback%20(v<version>)".
    static QString feedbackMailUrl(const QString& version);
    void sendFeedbackMail();
    void openUrl(const QString& url);

    // ---- Testimonial ----
    bool showTestimonialField() const { return m_showTestimonialField; }
    void setShowTestimonialField(bool show);
    QString testimonialText() const { return m_testimonialText; }
    void setTestimonialText(const QString& text);
    bool testimonialSubmitting() const { return m_testimonialSubmitting; }
    bool testimonialSubmitted() const { return m_testimonialSubmitted; }
    // Why the last send did not go through; empty when it did or none was tried.
    QString testimonialError() const { return m_testimonialError; }
    void cancelTestimonial();
    void submitTestimonial();
    TestimonialRequest& testimonialRequest();

    // ---- Callbacks the application installs ----
    std::function<void()> onPresetApplied;
    std::function<void()> checkForUpdates;
    std::function<bool()> getAutoInstallUpdates;
    std::function<void(bool)> setAutoInstallUpdates;
    // onAutoSunsetChanged and onScheduleChanged are the schedule model's.
    std::function<void()> onPreviewOnboarding;
    std::function<void()> closeWindow;
    Controllers controllers;

    // The auto-install switch: the update manager's setting, on without one.
    bool autoInstallUpdates() const {
        return getAutoInstallUpdates ? getAutoInstallUpdates() : true;
    }
    void setAutoInstallUpdatesByUser(bool on);

    SoundCueEngine& cues() const { return m_cues; }

signals:
    void toggleChanged(SettingsViewModel::Toggle toggle, bool on);
    void transitionMinutesChanged(int minutes);
    void xdrBoostStrengthChanged(double strength);
    void updateStateChanged();
    void testimonialChanged();
    // A setting the general section shows changed (its own rows, or the store).
    void generalSettingsChanged();

protected:
    void storeChanged() override;

private:
    void handleToggle(Toggle t);
    void reconcileLoginItem();
    void later(std::function<void()> task);
    void completeTestimonial(bool ok, const QString& error);

    SoundCueEngine& m_cues;
    // The schedule's two switches are read from the schedule model, not from here.
    std::array<bool, toggleCount> m_toggles{};
    int m_transitionMinutes = 20;
    double m_xdrBoostStrength = 0.5;
    std::optional<QString> m_availableUpdateVersion;
    std::optional<UpdateCheckStatus> m_updateCheckStatus;
    bool m_showTestimonialField = false;
    QString m_testimonialText;
    bool m_testimonialSubmitting = false;
    bool m_testimonialSubmitted = false;
    QString m_testimonialError;
    bool m_ditheringCallbackRegistered = false;
    std::unique_ptr<TestimonialRequest> m_testimonial;
};
