#pragma once

#include "core/FrameTimer.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

// The warmth of the tour's presets slide: on arrival the displays flood to deep red,
// a tap glides from the colour on screen to the picked preset, and leaving without a
// pick settles on a calm evening warmth. One frame clock runs only while the slide is
// on screen, so nothing of it fires once the slide has been left.
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
    // Leaving the slide: a glide still under way lands on its target at once.
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
