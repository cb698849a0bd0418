#include "settings/SpectrumWidget.h"

#include "insights/ScheduleViewLogic.h"
#include "popover/GlassPainter.h"

#include <QList>
#include <QPainter>
#include <QPainterPath>

namespace {
const QList<QColor>& spectrumColors() {
    static const QList<QColor> colours{
        QColor::fromRgbF(0.45f, 0.6f, 1.0f),  QColor::fromRgbF(0.55f, 0.75f, 1.0f),
        QColor::fromRgbF(0.85f, 0.85f, 0.7f), QColor::fromRgbF(1.0f, 0.7f, 0.35f),
        QColor::fromRgbF(1.0f, 0.4f, 0.15f),  QColor::fromRgbF(0.85f, 0.2f, 0.1f)};
    return colours;
}
} // namespace

SpectrumWidget::SpectrumWidget(double kelvin, bool active, QWidget* parent)
    : QWidget(parent), m_kelvin(kelvin), m_active(active) {
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(barHeight);
}

void SpectrumWidget::set(double kelvin, bool active) {
    if (kelvin == m_kelvin && active == m_active) return;
    m_kelvin = kelvin;
    m_active = active;
    update();
}

QRectF SpectrumWidget::markerRect() const {
    const double t = ScheduleViewLogic::spectrumPosition(m_kelvin);
    return {t * std::max(0, width() - barHeight), 0, double(barHeight), double(barHeight)};
}

void SpectrumWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF bar(0, 0, width(), barHeight);
    p.fillPath(
        GlassPainter::continuousRoundedRect(bar, barHeight / 2.0),
        GlassPainter::horizontalGradient(spectrumColors(), 0, width(), m_active ? 0.9 : 0.25));
    p.setOpacity(m_active ? 1.0 : 0.3);
    QPainterPath marker;
    marker.addEllipse(markerRect());
    GlassPainter::paintShadow(p, marker, GlassPainter::black(0.3), 2, QPointF(0, 1));
    p.fillPath(marker, Qt::white);
}
