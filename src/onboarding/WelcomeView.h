#pragma once

#include "core/FrameTimer.h"
#include "onboarding/OnboardingImages.h"
#include "onboarding/OnboardingPaintCache.h"
#include "onboarding/OnboardingSpring.h"
#include "onboarding/WelcomeWindowController.h"
#include "onboarding/WelcomeWowAnimator.h"

#include <QImage>
#include <QPointer>
#include <QWidget>
#include <array>
#include <memory>
#include <vector>

class PopoverViewModel;

// The welcome tour: six slides in a dark glass card of 960 × 620 (scaled by the
// window's fit scale) with a progress bar, a slide counter, pagination dots and one
// primary button; a staged entrance per slide; the live popover on the widget slide;
// a red flood and preset picks on the presets slide. Everything the tour changes goes
// through its callbacks.
class WelcomeView : public QWidget {
    Q_OBJECT
public:
    static constexpr int slideCount = 6;
    static constexpr double columnWidth = 430;

    WelcomeView(WelcomeCallbacks callbacks, bool isPreview, PopoverViewModel* viewModel,
                double fitScale = 1.0, std::unique_ptr<FrameTimer> frames = {},
                std::unique_ptr<FrameTimer> wowFrames = {}, QWidget* parent = nullptr);
    ~WelcomeView() override;

    // The tour fixed on `slide`, fully revealed, after a pick, with nothing animating.
    static std::unique_ptr<WelcomeView> snapshot(int slide);

    // The pictures the slides show (by default those of the install or build tree);
    // `images` must outlive the view.
    void setImages(const OnboardingImages& images);
    // Whether the welcome slide is the photograph (else its two columns and the aurora).
    bool welcomeIsPhotograph() const { return !m_images->welcomeBackdrop.isNull(); }

    // The card came on screen.
    void appear();
    void advance();
    void tick();
    int currentSlide() const { return m_currentSlide; }
    bool flickerFree() const { return m_flickerFree; }
    bool brightnessKeys() const { return m_brightnessKeys; }
    WelcomeWowAnimator& wow() { return m_wow; }
    QString primaryTitle() const;
    // Hit areas, in card coordinates (before the fit scale).
    QRectF buttonRect() const { return m_button; }
    const std::vector<QRectF>& toggleRects() const { return m_toggleRects; }
    const std::vector<std::pair<QRectF, int>>& presetBlocks() const { return m_blocks; }
    QRectF closeRect() const { return m_closeRect; }
    // Whether a control took the click.
    bool clickAt(QPointF cardPoint);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    double reveal(double flagOffset, double duration) const;
    double titleOn() const { return reveal(0.0, 0.7); }
    double bodyOn() const { return reveal(0.15, 0.6); }
    double heroOn() const { return reveal(0.3, 0.6); }
    double chipsOn() const { return reveal(0.45, 0.6); }
    double contentOn() const;
    void slideAppeared(int slide);
    void placeLiveWidget();
    void paintSurface(QPainter& p, const QRectF& card);
    void paintBackdrop(QPainter& p, const QRectF& card);
    void paintChrome(QPainter& p, const QRectF& card);
    // The progress fill and the dots, which spring from slide to slide over the
    // cached bars.
    void paintMovingChrome(QPainter& p, const QRectF& card);
    void paintWelcome(QPainter& p, const QRectF& body);
    void paintWelcomePhotograph(QPainter& p);
    void paintLivesHere(QPainter& p, const QRectF& body);
    void paintWidgetMock(QPainter& p, const QRectF& frame);
    static QPainterPath widgetMockShape(QPointF topLeft);
    // The widget card's wide shadow is a long blur: made with the tour's first frames
    // (drawn as the window fades in), not on the frame the card starts to show.
    void prepareWidgetMockShadow(QPainter& p);
    void paintMenuBar(QPainter& p, const QRectF& body);
    void paintWow(QPainter& p, const QRectF& body);
    void paintFlicker(QPainter& p, const QRectF& body);
    void paintPayoff(QPainter& p, const QRectF& body);
    void paintSunHero(QPainter& p, const QRectF& frame);
    QImage composeSun(const QSizeF& size, qreal scale, double m, double turn, double glowScale);
    // The sun's rays, glow and disc, each drawn once and then only turned and scaled.
    enum class SunLayer { rays, glow, disc };
    QImage sunLayer(SunLayer layer, double m, qreal scale, bool ahead = false);
    // Before the sun fades in: its layers made ahead, one a frame.
    void prepareSunHero(const QPainter& p);
    qreal sunScale(const QPainter& p) const;
    void paintAurora(QPainter& p, const QRectF& card);
    void paintAuroraBloom(QPainter& p, const QRectF& card);
    QRectF bodyRect() const;
    // The slide's own frame: below the 33-point top bar, inside 40 points at each side,
    // above the footer.
    QRectF slideFrame() const;

    WelcomeCallbacks m_cb;
    const OnboardingImages* m_images = &OnboardingImages::shared();
    bool m_isPreview;
    bool m_isSnapshot = false;
    QPointer<PopoverViewModel> m_viewModel;
    double m_fitScale;
    std::unique_ptr<FrameTimer> m_frames;
    WelcomeWowAnimator m_wow;
    int m_currentSlide = 0;
    double m_entranceT = -1; // seconds into the current slide's entrance
    double m_clockT = 0;     // seconds since appearance, for the decorations
    double m_slideInT = 1.0;
    bool m_wowContentVisible = false;
    bool m_flickerFree = true;
    bool m_brightnessKeys = true;
    std::vector<std::pair<double, std::function<void()>>> m_due;
    QRectF m_button;
    QRectF m_closeRect{16, 12, 12, 12};
    std::vector<QRectF> m_toggleRects;
    std::vector<std::pair<QRectF, int>> m_blocks; // block, library index
    QWidget* m_liveWidget = nullptr;
    OnboardingPaintCache m_cache;
    OnboardingSpring m_progress{0.5, 0.8, 1.0 / slideCount}; // share of the track filled
    OnboardingSpring m_dots{0.35, 0.72, 0};                  // where the wide dot stands
    // Each preset block's arrival (0 hidden, 1 in place), its dimming beside a pick and
    // its growth when picked.
    struct BlockMotion {
        OnboardingSpring in{0.42, 0.62, 0};
        OnboardingSpring shown{0.32, 0.7, 1};
        OnboardingSpring scale{0.32, 0.7, 1};
    };
    std::array<BlockMotion, 6> m_blockMotion;
    QImage m_sunFrame; // the sun as last composed, and what it was composed for
    QString m_sunKey;
};
