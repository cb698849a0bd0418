#include "popover/GradientNativeSlider.h"

#include "popover/GlassPainter.h"
#include "popover/PopoverStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

// --- GradientTrackControl ------------------------------------------------------------

GradientTrackControl::GradientTrackControl(QList<QColor> gradientColors, QWidget* parent)
    : QSlider(Qt::Horizontal, parent), m_colours(std::move(gradientColors)) {
    setRange(0, steps);
    setSingleStep(steps / 100);
    setPageStep(steps / 10);
    setTracking(true);
    setFixedHeight(int(controlHeight));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_TranslucentBackground);
    setCursor(Qt::PointingHandCursor);
}

void GradientTrackControl::setDrawnValue(double v) {
    m_value = v;
    update();
}

double GradientTrackControl::clampedValue(double v) {
    if (std::isnan(v)) return 0.0;
    return std::clamp(v, 0.0, 1.0);
}

double GradientTrackControl::thumbCentreX(double width, double v) {
    return thumbDiameter / 2 + (width - thumbDiameter) * clampedValue(v);
}

double GradientTrackControl::filledWidth(double width, double v) {
    return std::max(trackHeight, width * clampedValue(v));
}

double GradientTrackControl::valueAtX(double width, double x) {
    const double span = width - thumbDiameter;
    if (span <= 0) return 0.0;
    return clampedValue((x - thumbDiameter / 2) / span);
}

void GradientTrackControl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = width();
    const qreal v = clampedValue(m_value);
    const qreal midY = controlHeight / 2;
    const QRectF track(0, midY - trackHeight / 2, w, trackHeight);
    const QRectF filled(0, track.top(), filledWidth(w, v), trackHeight);
    const auto paintTrack = [&](QPainter& q) {
        const QPainterPath trackPath = GlassPainter::continuousRoundedRect(track, trackRadius);
        q.fillPath(trackPath, GlassPainter::white(0.2));
        q.fillPath(trackPath, GlassPainter::horizontalGradient(m_colours, 0, w, 0.35));
        // The filled part carries the whole gradient within its own width.
        q.fillPath(GlassPainter::continuousRoundedRect(filled, trackRadius),
                   GlassPainter::horizontalGradient(m_colours, 0, filled.width(), 1.0));
    };
    paintTrack(p);
    // The thumb frosts the track it sits on.
    GlassPainter::paintThumb(p, QPointF(thumbCentreX(w, v), midY), thumbDiameter, paintTrack);
}

void GradientTrackControl::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        e->ignore();
        return;
    }
    e->accept();
    setSliderDown(true);
    setSliderPosition(int(std::lround(valueAtX(width(), e->position().x()) * steps)));
}

void GradientTrackControl::mouseMoveEvent(QMouseEvent* e) {
    if (!isSliderDown()) {
        e->ignore();
        return;
    }
    e->accept();
    setSliderPosition(int(std::lround(valueAtX(width(), e->position().x()) * steps)));
}

void GradientTrackControl::mouseReleaseEvent(QMouseEvent* e) {
    if (!isSliderDown() || e->button() != Qt::LeftButton) {
        e->ignore();
        return;
    }
    e->accept();
    setSliderDown(false);
}

void GradientTrackControl::hideEvent(QHideEvent* e) {
    // A popover closed mid-drag takes the pointer grab with it and the release never
    // arrives here: end the drag now, or the held flag would keep shutting out every
    // outside change of the value.
    if (isSliderDown()) setSliderDown(false);
    QSlider::hideEvent(e);
}

// --- GradientNativeSlider ------------------------------------------------------------

GradientNativeSlider::GradientNativeSlider(const QString& label, QList<QColor> gradientColors,
                                           QWidget* parent)
    : QWidget(parent), m_label(label), m_caption(new QLabel(label, this)),
      m_readout(new QLabel(this)), m_control(new GradientTrackControl(std::move(gradientColors))) {
    setAttribute(Qt::WA_TranslucentBackground);
    PopoverStyle::styleLabel(m_caption, PopoverStyle::systemFont(PopoverStyle::subheadlineSize),
                             GlassPainter::white(0.6));
    PopoverStyle::styleLabel(m_readout, PopoverStyle::monospacedFont(PopoverStyle::subheadlineSize),
                             GlassPainter::white(0.6));
    m_readout->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    m_readout->hide();

    auto* caption = new QHBoxLayout;
    caption->setContentsMargins(0, 0, 0, 0);
    caption->setSpacing(0);
    caption->addWidget(m_caption);
    caption->addStretch(1);
    caption->addWidget(m_readout);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    column->addLayout(caption);
    column->addWidget(m_control);

    m_control->setAccessibleName(label);
    connect(m_control, &QSlider::valueChanged, this, &GradientNativeSlider::onControlMoved);
    connect(m_control, &QSlider::sliderPressed, this, [this] { emit editingChanged(true); });
    connect(m_control, &QSlider::sliderReleased, this, [this] { emit editingChanged(false); });
}

void GradientNativeSlider::setDisplayValue(const std::optional<QString>& text) {
    m_displayValue = text;
    m_readout->setText(text.value_or(QString()));
    m_readout->setVisible(text.has_value());
    if (text) m_control->setAccessibleDescription(*text);
}

void GradientNativeSlider::setValue(double v) {
    m_value = v;
    m_control->setDrawnValue(v);
    m_settingFromOutside = true;
    const int position =
        int(std::lround(GradientTrackControl::clampedValue(v) * GradientTrackControl::steps));
    // While the user holds the thumb, the pointer owns the position.
    if (!m_control->isSliderDown()) m_control->setValue(position);
    m_settingFromOutside = false;
}

void GradientNativeSlider::onControlMoved(int position) {
    if (m_settingFromOutside) return;
    m_value = double(position) / GradientTrackControl::steps;
    m_control->setDrawnValue(m_value);
    emit valueEdited(m_value);
}
