#pragma once

#include "popover/GlowFrame.h"

#include <QColor>
#include <QRect>
#include <QRectF>
#include <memory>
#include <optional>

class FrameTimer;
class QPainter;
class QWidget;
class StatusItemGlowWindow;

// What the glow is drawn around: the application's status item. Where the status area
// says where the icon is, the glow gets a window of its own over it; where it does not,
// the item draws the glow into its icon under the symbol.
class GlowTarget {
public:
    virtual ~GlowTarget() = default;
    // Whether the item is shown in a status area at all.
    virtual bool isGlowHostVisible() const = 0;
    // The item's rectangle on screen; empty when the status area does not say.
    virtual QRect glowHostGeometry() const = 0;
    // Draw this frame under the symbol; none takes the glow away. Used only while the
    // status area gives no geometry.
    virtual void setGlow(const std::optional<GlowFrame>& frame) = 0;
};

// Draws attention to the status item: a warm radial glow that fades in over 0.4 s,
// then breathes (1.5 s each way) until it is hidden, with a 0.3 s fade or at once.
// The glow is a 64 × 64 click-through window centred on the icon, above every other
// window; it is drawn into the icon itself only where the icon's place is unknown.
// One controller per owner; a glow that could not be placed leaves nothing behind.
class StatusItemGlowController {
public:
    static constexpr double fadeIn = 0.4;
    static constexpr double fadeOut = 0.3;
    static constexpr double breath = 1.5;
    // A tray icon update crosses to the status area's process: 20 frames a second
    // keep a 1.5 s breath smooth without flooding it.
    static constexpr double frameInterval = 1.0 / 20.0;

    explicit StatusItemGlowController(std::unique_ptr<FrameTimer> timer = nullptr);
    ~StatusItemGlowController();

    void show(GlowTarget* item);
    void hide(bool animated);
    bool isShown() const { return m_shown != nullptr; }
    // The glow's window while one is shown; none for the in-icon glow.
    QWidget* glowWindow() const;
    // Puts the glow back on top after another window raised itself above it.
    void raise();

    // The frame `seconds` after show().
    static GlowFrame frameAt(double seconds);
    // The glow of `frame` centred in `box`, reaching its edge at full scale.
    static void paint(QPainter& p, const QRectF& box, const GlowFrame& frame,
                      const QColor& warmAccent = GlowFrame::warmAccent()) {
        paintGlow(p, box, frame, warmAccent);
    }

private:
    void tick();
    void endFade();

    std::unique_ptr<FrameTimer> m_timer;
    GlowTarget* m_shown = nullptr;
    std::unique_ptr<StatusItemGlowWindow> m_window; // the shown glow's own window, if any
    double m_elapsed = 0;
    GlowTarget* m_fading = nullptr; // hidden with a fade that has not ended yet
    std::unique_ptr<StatusItemGlowWindow> m_fadingWindow;
    GlowFrame m_fadeFrom;
    double m_fadeElapsed = 0;
};
