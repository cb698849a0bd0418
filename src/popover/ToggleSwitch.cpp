#include "popover/ToggleSwitch.h"

#include "popover/GlassPainter.h"

#include <QPainter>
#include <QVariantAnimation>

ToggleSwitch::ToggleSwitch(const QColor& tint, QWidget* parent)
    : QAbstractButton(parent), m_tint(tint), m_animation(new QVariantAnimation(this)) {
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_animation->setDuration(150);
    m_animation->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        m_position = v.toReal();
        update();
    });
}

void ToggleSwitch::checkStateSet() {
    // Slide when shown; a hidden switch simply takes its new place.
    if (isVisible())
        animateTo(isChecked() ? 1.0 : 0.0);
    else {
        m_animation->stop();
        m_position = isChecked() ? 1.0 : 0.0;
        update();
    }
}

void ToggleSwitch::animateTo(qreal target) {
    m_animation->stop();
    m_animation->setStartValue(m_position);
    m_animation->setEndValue(target);
    m_animation->start();
}

void ToggleSwitch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal radius = track.height() / 2.0;
    const QPainterPath trackPath = GlassPainter::continuousRoundedRect(track, radius);
    p.fillPath(trackPath, GlassPainter::white(0.16));
    QColor on = m_tint;
    on.setAlphaF(float(m_position * (isEnabled() ? 1.0 : 0.5)));
    p.fillPath(trackPath, on);
    GlassPainter::strokeInside(p, track, radius, GlassPainter::white(0.1 * (1 - m_position)));

    const qreal inset = 2.0;
    const qreal d = track.height() - 2 * inset;
    const qreal x = track.left() + inset + (track.width() - 2 * inset - d) * m_position;
    QPainterPath knob;
    knob.addEllipse(QRectF(x, track.top() + inset, d, d));
    GlassPainter::paintShadow(p, knob, GlassPainter::black(0.3), 2.0, QPointF(0, 0.5));
    p.fillPath(knob, isDown() ? QColor(235, 235, 235) : QColor(Qt::white));
    if (hasFocus()) GlassPainter::strokeInside(p, track, radius, GlassPainter::white(0.45), 1.0);
}
