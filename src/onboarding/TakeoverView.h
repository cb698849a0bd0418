#pragma once

#include "core/FrameTimer.h"
#include "onboarding/OnboardingPaintCache.h"
#include "onboarding/OnboardingSpring.h"
#include "warmth/PresetManager.h"

#include <QHash>
#include <QPointF>
#include <QRectF>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TakeoverState;

// The first-run takeover's content: a darkened full-screen backdrop, one of five
// slides at a time (warmth, menu bar, brightness keys, display, protected), the footer
// with the button, progress dots and the Esc hint, the staged entrance of every slide,
// the ghost pointer that demonstrates a preset pick, and the confetti of the last
// slide. Everything the view changes goes through its actions. Painted, not laid out,
// so the warmth slide's thumb can follow the sweep at 60 frames a second.
class TakeoverView : public QWidget {
    Q_OBJECT
public:
    static constexpr int slideCount = 5;
    static constexpr double ghostDelaySeconds = 3.0;
    static constexpr int ghostGlideFrames = 84;

    struct Actions {
        std::function<void(double kelvin, double intensity)> presetTapped;
        std::function<void(double kelvin)> sliderChanged;
        std::function<void(double kelvin)> sliderCommitted;
        std::function<void(double kelvin, double intensity)> ghostPreset;
        std::function<void()> openPopover;
        std::function<void(bool visible)> menuBarSlideVisible;
        std::function<void()> finalSlideAppear;
        std::function<void()> finish;
        // Slide toggles; launch at login answers what the switch then shows.
        std::function<void(bool)> brightnessKeysChanged;
        std::function<void(bool)> flickerFreeChanged;
        std::function<void(bool)> disableDitheringChanged;
        std::function<bool(bool)> launchAtLoginChanged;
        std::function<bool()> launchAtLoginAtAppearance;
    };
    struct Toggles {
        bool brightnessKeys = false;
        bool flickerFree = false;
        bool disableDithering = false;
        bool launchAtLogin = true;
    };

    TakeoverView(TakeoverState& state, Actions actions, Toggles toggles, int startSlide,
                 bool entranceSkipped, std::unique_ptr<FrameTimer> frames = {},
                 QWidget* parent = nullptr);
    ~TakeoverView() override;

    // Where the desktop shows no status icons the menu-bar slide says how to reach
    // Halcyra instead of pointing at the corner: with the popover's `shortcut`.
    void setNoStatusArea(const QString& shortcut);
    bool statusAreaShown() const { return m_noStatusAreaShortcut.isEmpty(); }

    // The appearance steps: launch at login, entrance, the ghost armed for 3 s.
    void appear();
    // One 1/60 s step of every running animation (tests step it directly).
    void tick();
    void advance();
    int currentSlide() const { return m_currentSlide; }
    QString buttonTitle() const;
    const Toggles& toggles() const { return m_toggles; }
    bool ghostVisible() const { return m_ghostVisible; }
    double ghostOpacity() const { return m_ghostOpacity; }
    // Whether the slide before is still on its way out.
    bool slideLeaving() const { return !m_leaving.isNull(); }
    // Where the wide progress dot stands: the slide's index at rest, in between as it springs.
    double dotsPosition() const { return m_dots.value(); }
    QPointF ghostPos() const { return m_ghostPos; }
    bool ghostFired() const { return m_ghostFired; }
    void startConfetti();
    // The cards of slide 0 by preset id, as last laid out.
    const QHash<QString, QRectF>& cardFrames() const { return m_cardFrames; }
    // The slider's track on slide 0, as last laid out.
    QRectF trackRect() const { return m_track; }
    QRectF buttonRect() const { return m_button; }
    // Toggle rows of the current slide, top to bottom.
    const std::vector<QRectF>& toggleRects() const { return m_toggleRects; }

    // Kelvin under a point of the slider track of width `w` at `x` (0 at the cool end).
    static double kelvinForTrack(double x, double w);
    // Thumb centre within a track of width `w` for a shown kelvin.
    static double thumbXForKelvin(double kelvin, double w);
    // The cards: the library without the custom row, split after the third.
    static std::pair<QList<HalcyraPreset>, QList<HalcyraPreset>> cardRows();

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;

private:
    struct Piece {
        double x, y, vx, vy, angle, spin, alpha, size;
        QColor colour;
    };
    // Opacity 0..1 of an element bound to the flag raised `flagOffset` seconds into the
    // entrance, with its own delay and duration.
    double reveal(double flagOffset, double delay, double duration) const;
    double paintSlideVibe(QPainter* p, double top, double width);
    double paintSlideMenuBar(QPainter* p, double top, double width);
    double paintSlideBrightness(QPainter* p, double top, double width);
    double paintSlideDisplay(QPainter* p, double top, double width);
    double paintSlideProtected(QPainter* p, double top, double width);
    double paintSlide(QPainter* p, double top, double width);
    double paintToggleRow(QPainter* p, double top, double centreX, double width, int glyph,
                          const QString& title, bool on, double opacity);
    void layOutFooter();
    void paintFooter(QPainter& p);
    void paintGhost(QPainter& p);
    void paintConfetti(QPainter& p);
    void slideAppeared(int slide);
    void slideLeft(int slide);
    void startGhost();
    void ghostClick();
    void cancelGhost();
    void toggleAt(int index);
    void dragTo(double x, bool end);
    void keepTicking();
    // The ghost fades to `target` over `seconds`: ease in and out when it comes, ease out
    // when it goes.
    void fadeGhost(double target, double seconds);
    // The slide as it stands, drawn once, to move out while the next one moves in.
    void keepLeavingSlide();
    void paintDots(QPainter& p);

    TakeoverState& m_state;
    Actions m_actions;
    Toggles m_toggles;
    std::unique_ptr<FrameTimer> m_frames;
    int m_currentSlide = 0;
    // Seconds since the entrance began; negative while it is still due.
    double m_entranceT = 0;
    bool m_entranceRunning = false;
    double m_slideInT = 1.0; // 0..1 of the slide's entering move
    double m_appearT = 0;    // seconds since the view appeared
    std::vector<std::pair<double, std::function<void()>>> m_due; // deferred steps
    QHash<QString, QRectF> m_cardFrames;
    QRectF m_track;
    QRectF m_button;
    std::vector<QRectF> m_toggleRects;
    bool m_dragging = false;
    bool m_ghostVisible = false;
    bool m_ghostFired = false;
    bool m_ghostClicking = false;
    double m_ghostRingT = -1;
    int m_ghostFrame = -1;
    QPointF m_ghostStart, m_ghostEnd, m_ghostPos;
    double m_ghostOpacity = 0;
    double m_ghostFadeFrom = 0;
    double m_ghostFadeTarget = 0;
    double m_ghostFadeSeconds = 0.25;
    double m_ghostFadeDone = 1.0; // 0..1 of the running fade
    QImage m_leaving;             // the slide moving out, and where it was drawn
    QPointF m_leavingAt;
    OnboardingSpring m_dots{0.35, 0.72, 0}; // where the wide dot stands
    std::vector<Piece> m_confetti;
    double m_confettiT = -1;
    QString m_noStatusAreaShortcut;
    OnboardingPaintCache m_cache;
};
