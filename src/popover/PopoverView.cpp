#include "popover/PopoverView.h"

#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "popover/GradientNativeSlider.h"
#include "popover/PopoverChrome.h"
#include "popover/PopoverGlyphs.h"
#include "popover/PopoverStyle.h"
#include "popover/PopoverViewModel.h"
#include "popover/PresetRow.h"
#include "popover/ToggleSwitch.h"
#include "sound/SoundCueEngine.h"
#include "warmth/PresetManager.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPropertyAnimation>
#include <QRandomGenerator>
#include <QResizeEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace {

QHBoxLayout* bareRow(QWidget* owner, int spacing) {
    auto* row = new QHBoxLayout(owner);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(spacing);
    return row;
}

QColor presetColour(const PresetColor& c) {
    return QColor::fromRgbF(float(c.red), float(c.green), float(c.blue), float(c.opacity));
}

} // namespace

PopoverView::PopoverView(PopoverViewModel& viewModel, PresetManager* presets,
                         FeedbackBoxView::Sender sender, QWidget* parent)
    : QWidget(parent), m_viewModel(viewModel),
      m_presets(presets ? presets : &PresetManager::shared()),
      m_quoteIndex(int(QRandomGenerator::global()->bounded(14))) {
    setObjectName(QStringLiteral("PopoverView"));
    setFixedWidth(popoverWidth);
    if (!parent) PopoverWindowClearer::prepare(this);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(padding, padding, padding, padding);
    column->setSpacing(rowSpacing);
    column->setSizeConstraint(QLayout::SetFixedSize);

    // 1. Name and switch. Its fixed width holds the whole column at the popover's width.
    buildHeader();
    m_header->setFixedWidth(popoverWidth - 2 * padding);
    column->addWidget(m_header);

    // 2. Paused banner.
    m_banner = new QWidget(this);
    {
        auto* row = bareRow(m_banner, 4);
        row->addWidget(new GlyphWidget(PopoverGlyphs::exclamationTriangleFill, QSize(11, 11),
                                       QColor::fromRgbF(1.0f, 0.58f, 0.0f, 0.8f)));
        auto* text = new QLabel(QStringLiteral("Paused: high CPU"));
        PopoverStyle::styleLabel(text, PopoverStyle::systemFont(10), GlassPainter::white(0.5));
        row->addWidget(text);
        row->addStretch(1);
    }
    column->addWidget(m_banner);

    // 3–4. Sliders.
    m_warmth = new GradientNativeSlider(QStringLiteral("Warmth"), warmthGradient(), this);
    m_brightness =
        new GradientNativeSlider(QStringLiteral("Brightness"), brightnessGradient(), this);
    column->addWidget(m_warmth);
    column->addWidget(m_brightness);
    connect(m_warmth, &GradientNativeSlider::valueEdited, this,
            [this](double p) { m_viewModel.setInvertedTemp(p); });
    connect(m_brightness, &GradientNativeSlider::valueEdited, this,
            [this](double p) { m_viewModel.setBrightnessSliderPosition(p); });
    connect(m_warmth, &GradientNativeSlider::editingChanged, this, &PopoverView::onSliderEditing);
    connect(m_brightness, &GradientNativeSlider::editingChanged, this,
            &PopoverView::onSliderEditing);

    // 5. Room light.
    m_roomLine = new QWidget(this);
    {
        auto* row = bareRow(m_roomLine, 4);
        row->addWidget(
            new GlyphWidget(PopoverGlyphs::lightRecessed, QSize(11, 11), GlassPainter::white(0.3)));
        m_roomText = new QLabel;
        PopoverStyle::styleLabel(m_roomText, PopoverStyle::systemFont(10),
                                 GlassPainter::white(0.3));
        row->addWidget(m_roomText);
        row->addStretch(1);
    }
    column->addWidget(m_roomLine);

    // 6. Preset chips.
    m_presetRow = new PresetRow([this](SoundCue cue) { m_viewModel.cues().play(cue); }, this);
    column->addWidget(m_presetRow);
    connect(m_presetRow, &PresetRow::chipActivated, this, [this](int, const PresetChip& chip) {
        // The chip carries the preset it was made from; position told it apart.
        m_viewModel.applyPresetByUser(chip.name, chip.temperature);
    });
    connect(m_presets, &PresetManager::changed, this, &PopoverView::reloadPresets);

    // 7. Feedback.
    m_feedback = new FeedbackBoxView(std::move(sender), this);
    column->addWidget(m_feedback);
    connect(m_feedback, &FeedbackBoxView::stateChanged, this, &PopoverView::refreshFeedbackBox);

    // 8. Footer.
    auto* footer = new QWidget(this);
    {
        auto* row = bareRow(footer, 8);
        m_quote = new QLabel;
        PopoverStyle::styleLabel(m_quote, PopoverStyle::systemFont(9), GlassPainter::white(0.65));
        m_quote->setWordWrap(true);
        m_quote->setTextFormat(Qt::PlainText);
        m_quote->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        m_quote->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        m_quote->setGraphicsEffect(new QGraphicsOpacityEffect(m_quote));
        row->addWidget(m_quote, 1);
        m_settings = new HoverLiftButton(PopoverGlyphs::gear, QSize(14, 14), 6, 4);
        m_settings->setAccessibleName(QStringLiteral("Settings"));
        m_settings->setToolTip(QStringLiteral("Settings"));
        m_settings->onHoverEntered = [this] { m_viewModel.cues().play(SoundCue::hover); };
        connect(m_settings, &QAbstractButton::clicked, this, [this] {
            if (m_viewModel.onSettingsPressed) m_viewModel.onSettingsPressed();
        });
        row->addWidget(m_settings, 0, Qt::AlignVCenter);
    }
    column->addWidget(footer);
    setQuoteIndex(m_quoteIndex);

    m_quoteTimer = new QTimer(this);
    m_quoteTimer->setInterval(quoteIntervalMs);
    m_quoteTimer->setTimerType(Qt::PreciseTimer);
    connect(m_quoteTimer, &QTimer::timeout, this, &PopoverView::advanceQuote);
    m_quoteTimer->start();

    connect(&m_viewModel, &PopoverViewModel::enabledChanged, this, &PopoverView::refreshFromModel);
    // A key ramp changes these sixty times a second, mostly with the popover closed:
    // the sliders catch up when it opens.
    connect(&m_viewModel, &PopoverViewModel::temperatureChanged, this,
            &PopoverView::refreshValuesIfShown);
    connect(&m_viewModel, &PopoverViewModel::brightnessChanged, this,
            &PopoverView::refreshValuesIfShown);
    connect(&m_viewModel, &PopoverViewModel::pausedByWatchdogChanged, this,
            &PopoverView::refreshFromModel);
    connect(&m_viewModel, &PopoverViewModel::showFeedbackBoxChanged, this,
            &PopoverView::refreshFeedbackBox);
    connect(&UserDefaults::standard(), &UserDefaults::changed, this, [this](const QStringList& k) {
        if (k.contains(PrefKey::adaptToRoomLighting)) refreshRoomLine();
        // The settings window pins and unpins by writing the list itself.
        if (k.contains(PrefKey::pinnedPresets) || k.contains(PrefKey::customPresetTemperature))
            reloadPresets();
    });

    reloadPresets();
    refreshFromModel();
    refreshRoomLine();
    refreshFeedbackBox();
}

PopoverView::~PopoverView() = default;

void PopoverView::buildHeader() {
    m_header = new QWidget(this);
    auto* row = bareRow(m_header, 0);
    auto* name = new QLabel(QStringLiteral("Halcyra"));
    PopoverStyle::styleLabel(name, PopoverStyle::systemFont(16, QFont::DemiBold), Qt::white);
    row->addWidget(name);
    row->addStretch(1);
    m_switch = new ToggleSwitch(PopoverStyle::accent());
    m_switch->setAccessibleName(QStringLiteral("Halcyra"));
    row->addWidget(m_switch, 0, Qt::AlignVCenter);
    connect(m_switch, &QAbstractButton::clicked, this,
            [this](bool on) { m_viewModel.setEnabledToggle(on); });
}

// --- Read-outs -----------------------------------------------------------------------

QString PopoverView::warmthReadout(double kelvin) {
    const double held = std::isnan(kelvin) ? 500.0 : std::clamp(kelvin, 500.0, 6500.0);
    return QString::asprintf("%4dK", int(held));
}

QString PopoverView::brightnessReadout(double brightness) {
    const double p = (brightness - 0.1) / 0.9;
    const int percent = p < 1 ? int(std::round(std::max(p, 0.0) * 100.0)) : 100;
    return QString::asprintf("%d%%", percent);
}

QString PopoverView::roomWord(double ambientKelvin) {
    if (ambientKelvin < 3500) return QStringLiteral("warm");
    if (ambientKelvin > 5500) return QStringLiteral("cool");
    return QStringLiteral("neutral");
}

QString PopoverView::roomLine(double ambientKelvin) {
    return QStringLiteral("Room: %1K (%2)").arg(qint64(ambientKelvin)).arg(roomWord(ambientKelvin));
}

QList<QColor> PopoverView::warmthGradient() {
    return {GlassPainter::srgb(0.45, 0.70, 1.00), GlassPainter::srgb(1.00, 0.97, 0.10),
            GlassPainter::srgb(1.00, 0.55, 0.00), GlassPainter::srgb(1.00, 0.10, 0.03),
            GlassPainter::srgb(0.55, 0.00, 0.00)};
}

QList<QColor> PopoverView::brightnessGradient() {
    // The desktop's mid gray at half strength, a light gray, then white.
    return {GlassPainter::srgb(0.56, 0.56, 0.58, 0.5), GlassPainter::srgb(0.7, 0.7, 0.7),
            GlassPainter::srgb(1, 1, 1)};
}

const QStringList& PopoverView::quotes() {
    static const QStringList all{
        QStringLiteral("\"Early to bed and early to rise makes a man healthy, wealthy, and "
                       "wise.\" — Benjamin Franklin"),
        QStringLiteral("\"Night is the mother of counsel.\" — Proverb"),
        QStringLiteral("\"Sleep is the golden chain that ties health and our bodies together.\" "
                       "— Thomas Dekker"),
        QStringLiteral("\"O sleep, O gentle sleep, nature's soft nurse.\" — William Shakespeare"),
        QStringLiteral("\"The night is long that never finds the day.\" — William Shakespeare"),
        QStringLiteral("\"Tired nature's sweet restorer, balmy sleep!\" — Edward Young"),
        QStringLiteral("\"There is a time for many words, and there is also a time for "
                       "sleep.\" — Homer"),
        QStringLiteral("\"Let there be light.\" — Genesis 1:3"),
        QStringLiteral("\"What hath night to do with sleep?\" — John Milton"),
        QStringLiteral("\"The day is done, and the darkness falls from the wings of Night.\" — "
                       "Henry Wadsworth Longfellow"),
        QStringLiteral("\"Finish each day and be done with it.\" — Ralph Waldo Emerson"),
        QStringLiteral("\"Rest is not idleness.\" — John Lubbock"),
        QStringLiteral("\"A ruffled mind makes a restless pillow.\" — Charlotte Brontë"),
        QStringLiteral("\"A good laugh and a long sleep are the best cures in the doctor's "
                       "book.\" — Irish proverb"),
    };
    return all;
}

void PopoverView::setQuoteIndex(int index) {
    m_quoteIndex = ((index % 14) + 14) % 14;
    m_quote->setText(quotes().at(m_quoteIndex));
}

void PopoverView::advanceQuote() {
    if (!m_viewModel.popoverVisible()) return;
    m_quoteIndex = (m_quoteIndex + 1) % 14;
    auto* effect = static_cast<QGraphicsOpacityEffect*>(m_quote->graphicsEffect());
    if (!isVisible() || !effect) {
        setQuoteIndex(m_quoteIndex);
        return;
    }
    // A 0.5 s ease-in-out cross-fade: out for the first half, in with the new line.
    auto* out = new QPropertyAnimation(effect, "opacity", this);
    out->setDuration(250);
    out->setEasingCurve(QEasingCurve::InOutQuad);
    out->setStartValue(1.0);
    out->setEndValue(0.0);
    connect(out, &QPropertyAnimation::finished, this, [this, effect] {
        setQuoteIndex(m_quoteIndex);
        auto* in = new QPropertyAnimation(effect, "opacity", this);
        in->setDuration(250);
        in->setEasingCurve(QEasingCurve::InOutQuad);
        in->setStartValue(0.0);
        in->setEndValue(1.0);
        in->start(QAbstractAnimation::DeleteWhenStopped);
    });
    out->start(QAbstractAnimation::DeleteWhenStopped);
}

void PopoverView::setAmbientReading(std::optional<double> ambientKelvin) {
    m_ambientKelvin = ambientKelvin;
    refreshRoomLine();
}

PresetChip PopoverView::chipFor(const HalcyraPreset& preset) {
    const auto [from, to] = preset.gradientColors();
    return PresetChip{
        preset.id, preset.name, preset.temperature, {presetColour(from), presetColour(to)}};
}

// --- Refresh -------------------------------------------------------------------------

void PopoverView::refreshFromModel() {
    const PopoverViewModel& vm = m_viewModel;
    m_switch->setChecked(vm.enabled());
    m_banner->setVisible(vm.pausedByWatchdog() && !vm.enabled());
    m_warmth->setValue(vm.invertedTemp());
    m_warmth->setDisplayValue(warmthReadout(vm.temperature()));
    m_brightness->setValue(vm.brightnessSliderPosition());
    m_brightness->setDisplayValue(brightnessReadout(vm.brightness()));
}

void PopoverView::refreshValuesIfShown() {
    if (isVisible())
        refreshFromModel();
    else
        m_valuesStale = true;
}

void PopoverView::showEvent(QShowEvent* e) {
    if (m_valuesStale) {
        m_valuesStale = false;
        refreshFromModel();
    }
    QWidget::showEvent(e);
}

void PopoverView::refreshRoomLine() {
    const bool show = Preferences::shared().adaptToRoomLighting() && m_ambientKelvin.has_value();
    if (m_ambientKelvin) m_roomText->setText(roomLine(*m_ambientKelvin));
    m_roomLine->setVisible(show);
}

void PopoverView::refreshFeedbackBox() {
    fadeVisibility(m_feedback, m_viewModel.showFeedbackBox() && m_feedback->wantsToBeShown());
}

void PopoverView::reloadPresets() {
    QList<PresetChip> chips;
    for (const HalcyraPreset& preset : m_presets->pinnedPresets())
        chips.append(chipFor(preset));
    m_presetRow->setPresets(chips);
}

void PopoverView::onSliderEditing(bool editing) {
    m_viewModel.userIsDragging = editing;
    m_viewModel.cues().play(editing ? SoundCue::pressDown : SoundCue::sliderRelease);
}

// --- Glass ---------------------------------------------------------------------------

GlassPainter::Backdrop PopoverView::backdrop() const {
    return PopoverWindowClearer::backdropOf(window());
}

bool PopoverView::event(QEvent* e) {
    // Placed into the popover's window: clear that window before it first shows, and
    // follow its size from then on.
    if (e->type() == QEvent::ParentChange && window() != this) {
        setAttribute(Qt::WA_TranslucentBackground);
        if (!isEmbedded()) {
            PopoverWindowClearer::prepare(window());
            window()->installEventFilter(this);
        }
    }
    return QWidget::event(e);
}

bool PopoverView::eventFilter(QObject* watched, QEvent* e) {
    if (watched == window() && e->type() == QEvent::Resize) cutWindowToCard();
    return QWidget::eventFilter(watched, e);
}

void PopoverView::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    QWidget* host = window();
    // The window grows and shrinks with the card (the feedback box's e-mail line comes
    // and goes with the note), so nothing of the card is ever outside the window.
    if (host != this && !isEmbedded() && host->size() != size()) host->adjustSize();
    cutWindowToCard();
}

bool PopoverView::isEmbedded() const {
    // The popover's own window holds the view directly; anything else is a view that
    // shows the card among its own drawing.
    return parentWidget() && !parentWidget()->isWindow();
}

void PopoverView::cutWindowToCard() {
    QWidget* host = window();
    // Without a compositor the corners outside the card cannot be see-through; cut the
    // window to the card's outline instead, at the size both have now. A window that
    // holds more than the card is left whole.
    if (isEmbedded() || backdrop() != GlassPainter::Backdrop::opaque || host->size() != size())
        return;
    const QPainterPath outline = GlassPainter::continuousRoundedRect(rect(), cornerRadius);
    host->setMask(QRegion(outline.toFillPolygon().toPolygon()));
}

// The card's blurred shadow makes it by far the dearest thing to paint, and every
// repaint of a see-through child (a slider frame during a drag or a key ramp, a chip's
// lift) repaints the card beneath it: render it once for its size and reuse it.
const QImage& PopoverView::card(GlassPainter::Backdrop look) {
    const qreal dpr = devicePixelRatioF();
    const QSize pixels = size() * dpr;
    if (m_card.size() == pixels && m_card.devicePixelRatio() == dpr && m_cardLook == look)
        return m_card;
    m_card = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    m_card.setDevicePixelRatio(dpr);
    m_card.fill(Qt::transparent);
    m_cardLook = look;
    ++m_cardRenders;
    const bool clear = look == GlassPainter::Backdrop::translucent;
    const QRectF shape = clear ? QRectF(rect()).adjusted(GlassPainter::cardShadowMargin / 2, 0,
                                                         -GlassPainter::cardShadowMargin / 2,
                                                         -GlassPainter::cardShadowMargin)
                               : QRectF(rect());
    QPainter p(&m_card);
    p.setRenderHint(QPainter::Antialiasing);
    GlassPainter::paintCard(p, shape, cornerRadius, look);
    return m_card;
}

void PopoverView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const GlassPainter::Backdrop look = backdrop();
    // Inside another view (the tour's widget slide) the corners outside the card show
    // that view's own drawing: clearing them would punch through to the desktop, and
    // black would square them off.
    if (!isEmbedded()) {
        if (look == GlassPainter::Backdrop::translucent) {
            p.setCompositionMode(QPainter::CompositionMode_Source);
            p.fillRect(rect(), Qt::transparent);
            p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        } else {
            // Outside the card's corners; the window's mask cuts these away where it can.
            p.fillRect(rect(), Qt::black);
        }
    }
    p.drawImage(QPointF(0, 0), card(look));
    if (m_presetRow) m_presetRow->paintHalo(p, m_presetRow->pos());
}
