#pragma once

#include "core/FrameTimer.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

// The warmth of the tour's presets slide: on arrival the displays flood to deep red,
// a tap glides from the colour on screen to the picked preset, and leaving without a
// pick glides to a calm evening warmth. A flood or glide under way when the slide is
// left runs to its end; a flood not yet begun never begins. The window's closing
// stops everything.
class WelcomeWowAnimator {
public:
    static constexpr int floodDelayFrames = 27;  // 0.45 s
    static constexpr int revealDelayFrames = 72; // 1.2 s
    static constexpr int floodFrames = 30;
    static constexpr int rampFrames = 24;
    static constexpr double exitKelvin = 3500.0;
    static constexpr double exitIntensity = 4.0;

    struct Callbacks {
        std::function<void()> sweepBegin;
        std::function<void()> ensurePopoverOpen;
        std::function<void(double kelvin, double intensity, bool enabled)> warmthUpdate;
        std::function<void(int libraryIndex)> applyPresetIndex;
        std::function<void(double kelvin, double intensity)> presetTapped;
        std::function<void()> sweepEnd;
        // The preset blocks may show now.
        std::function<void()> revealContent;
    };

    explicit WelcomeWowAnimator(Callbacks callbacks, std::unique_ptr<FrameTimer> frames = {});

    void arrive();
    void tap(const QString& name, double kelvin, int libraryIndex);
    // Leaving the slide: a running flood or glide carries on; otherwise a pick ends the
    // sweep and no pick glides to 3500 K at intensity 4 over 24 frames, then ends it.
    void leave();
    // The window went away: everything stops where it is.
    void stop();

    bool presetChosen() const { return m_presetChosen; }
    const QString& selectedPresetName() const { return m_selectedName; }
    bool animating() const { return m_mode != Mode::idle; }
    double lastKelvin() const { return m_lastKelvin; }
    double lastIntensity() const { return m_lastIntensity; }
    // One 1/60 s step (tests call it directly).
    void tick();

private:
    enum class Mode { idle, flood, ramp };
    struct Target {
        double kelvin, intensity;
        std::optional<int> libraryIndex;
    };
    void ramp(Target target);
    void send(double kelvin, double intensity);
    void settle();

    Callbacks m_cb;
    std::unique_ptr<FrameTimer> m_frames;
    int m_sinceArrival = -1; // -1: off screen
    Mode m_mode = Mode::idle;
    int m_frame = 0;
    double m_fromK = 6500, m_fromI = 0;
    Target m_target{exitKelvin, exitIntensity, std::nullopt};
    bool m_presetChosen = false;
    QString m_selectedName = QStringLiteral("Evening");
    double m_lastKelvin = 6500;
    double m_lastIntensity = 0;
};
