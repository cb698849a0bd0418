#pragma once

#include "popover/FeedbackBoxView.h"
#include "popover/GlassPainter.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QStringList>
#include <QWidget>
#include <optional>

class GlyphWidget;
class GradientNativeSlider;
class HoverLiftButton;
class PopoverViewModel;
class PresetManager;
class PresetRow;
class QLabel;
class QTimer;
class ToggleSwitch;
struct HalcyraPreset;
struct PresetChip;

// The content of the status-item popover: one 320-wide column of dark glass with the
// name and on/off switch, a paused banner, the warmth and brightness sliders, the
// room-light line, the pinned preset chips, the feedback box and a footer with a
// rotating quotation and the settings button. Everything it shows it reads from, and
// every gesture it writes through, the popover's view model.
class PopoverView : public QWidget {
    Q_OBJECT
public:
    using FeedbackState = FeedbackBoxView::FeedbackState;

    static constexpr int popoverWidth = 320;
    static constexpr int padding = 20;
    static constexpr int rowSpacing = 16;
    static constexpr qreal cornerRadius = 14;
    static constexpr int quoteIntervalMs = 30'000;

    // `presets` defaults to the process-wide preset store; `sender` to the feedback
    // service.
    explicit PopoverView(PopoverViewModel& viewModel, PresetManager* presets = nullptr,
                         FeedbackBoxView::Sender sender = nullptr, QWidget* parent = nullptr);
    ~PopoverView() override;

    PopoverViewModel& viewModel() const { return m_viewModel; }

    // --- Read-outs ---------------------------------------------------------------------
    // "%4dK" of the kelvin held to 500–6500 and truncated.
    static QString warmthReadout(double kelvin);
    // "%d%%" of the brightness slider position held to 0–100.
    static QString brightnessReadout(double brightness);
    // "warm" below 3500 K, "cool" above 5500 K, "neutral" between (inclusive).
    static QString roomWord(double ambientKelvin);
    // "Room: 4200K (neutral)".
    static QString roomLine(double ambientKelvin);

    // The gradient stops of the two sliders, left to right.
    static QList<QColor> warmthGradient();
    static QList<QColor> brightnessGradient();

    // The fourteen footer quotations, each "quotation — source".
    static const QStringList& quotes();
    int quoteIndex() const { return m_quoteIndex; }
    void setQuoteIndex(int index);
    // One tick of the quotation timer: the next quotation, but only while the popover
    // is on screen.
    void advanceQuote();

    // The light sensor's last reading while the light controller runs; none while it
    // does not. The room line shows only with the setting on and a reading present.
    void setAmbientReading(std::optional<double> ambientKelvin);

    // A pinned preset as its chip shows it.
    static PresetChip chipFor(const HalcyraPreset& preset);

    // Parts, for tests and the hosting window.
    ToggleSwitch* enabledSwitch() const { return m_switch; }
    GradientNativeSlider* warmthSlider() const { return m_warmth; }
    GradientNativeSlider* brightnessSlider() const { return m_brightness; }
    PresetRow* presetRow() const { return m_presetRow; }
    FeedbackBoxView* feedbackBox() const { return m_feedback; }
    QWidget* pausedBanner() const { return m_banner; }
    QWidget* roomLightLine() const { return m_roomLine; }
    QLabel* quoteLabel() const { return m_quote; }
    HoverLiftButton* settingsButton() const { return m_settings; }
    GlassPainter::Backdrop backdrop() const;
    // How many times the glass card has been rendered; it is kept for its size.
    int cardRenders() const { return m_cardRenders; }

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void showEvent(QShowEvent* e) override;
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void buildHeader();
    void refreshFromModel();
    void refreshValuesIfShown();
    void refreshRoomLine();
    void refreshFeedbackBox();
    void reloadPresets();
    void onSliderEditing(bool editing);
    const QImage& card(GlassPainter::Backdrop look);
    void cutWindowToCard();
    bool isEmbedded() const;

    PopoverViewModel& m_viewModel;
    PresetManager* m_presets;
    int m_quoteIndex;
    std::optional<double> m_ambientKelvin;
    bool m_valuesStale = false; // the model moved while the popover was closed

    QWidget* m_header = nullptr;
    ToggleSwitch* m_switch = nullptr;
    QWidget* m_banner = nullptr;
    GradientNativeSlider* m_warmth = nullptr;
    GradientNativeSlider* m_brightness = nullptr;
    QWidget* m_roomLine = nullptr;
    QLabel* m_roomText = nullptr;
    PresetRow* m_presetRow = nullptr;
    FeedbackBoxView* m_feedback = nullptr;
    QLabel* m_quote = nullptr;
    HoverLiftButton* m_settings = nullptr;
    QTimer* m_quoteTimer = nullptr;

    QImage m_card;
    GlassPainter::Backdrop m_cardLook = GlassPainter::Backdrop::opaque;
    int m_cardRenders = 0;
};
