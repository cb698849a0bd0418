#include "popover/PresetRow.h"

#include "popover/GlassPainter.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QVariantAnimation>
#include <algorithm>

PresetRow::PresetRow(std::function<void(SoundCue)> playCue, QWidget* parent)
    : QWidget(parent), m_playCue(std::move(playCue)) {
    setMouseTracking(true);
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    hide();
}

QList<PresetChip> PresetRow::ordered(QList<PresetChip> pinned) {
    std::stable_sort(pinned.begin(), pinned.end(), [](const PresetChip& a, const PresetChip& b) {
        return a.temperature > b.temperature;
    });
    return pinned;
}

void PresetRow::setPresets(const QList<PresetChip>& pinned) {
    qDeleteAll(m_animations);
    m_animations.clear();
    m_chips = ordered(pinned);
    m_lift = QList<qreal>(m_chips.size(), 0.0);
    for (int i = 0; i < m_chips.size(); ++i) {
        auto* animation = new QVariantAnimation(this);
        animation->setDuration(150);
        animation->setEasingCurve(QEasingCurve::OutQuad);
        connect(animation, &QVariantAnimation::valueChanged, this, [this, i](const QVariant& v) {
            if (i < m_lift.size()) m_lift[i] = v.toReal();
            repaintWithHalo();
        });
        m_animations.append(animation);
    }
    m_hovered.reset();
    m_pressed.reset();
    setVisible(!m_chips.isEmpty());
    updateGeometry();
    update();
}

QSize PresetRow::sizeHint() const {
    if (m_chips.isEmpty()) return {0, 0};
    return {200, int(chipHeight)};
}

QRectF PresetRow::chipRect(int index) const {
    const int n = int(m_chips.size());
    if (index < 0 || index >= n) return {};
    const qreal w = std::max(0.0, (width() - spacing * (n - 1)) / n);
    return QRectF(index * (w + spacing), 0, w, chipHeight);
}

std::optional<int> PresetRow::chipAt(QPointF pos) const {
    for (int i = 0; i < m_chips.size(); ++i)
        if (chipRect(i).contains(pos)) return i;
    return std::nullopt;
}

void PresetRow::animateChip(int index, qreal target) {
    if (index < 0 || index >= m_animations.size()) return;
    QVariantAnimation* a = m_animations[index];
    a->stop();
    a->setStartValue(m_lift[index]);
    a->setEndValue(target);
    a->start();
}

void PresetRow::setHovered(std::optional<int> index) {
    if (index == m_hovered) return;
    if (m_hovered) animateChip(*m_hovered, 0.0);
    m_hovered = index;
    if (m_hovered) {
        animateChip(*m_hovered, 1.0);
        if (m_playCue) m_playCue(SoundCue::hover);
    }
}

void PresetRow::mouseMoveEvent(QMouseEvent* e) {
    // While a chip is held the pointer's wandering neither re-hovers nor re-presses.
    if (!m_pressed) setHovered(chipAt(e->position()));
    e->accept();
}

void PresetRow::leaveEvent(QEvent* e) {
    if (!m_pressed) setHovered(std::nullopt);
    QWidget::leaveEvent(e);
}

void PresetRow::hideEvent(QHideEvent* e) {
    // Closed while a chip was held: the release went nowhere. Nothing is applied, and
    // the row must not come back still holding the chip, deaf to hovering.
    m_pressed.reset();
    m_hovered.reset();
    for (QVariantAnimation* a : m_animations)
        a->stop();
    m_lift.fill(0.0);
    QWidget::hideEvent(e);
}

void PresetRow::mousePressEvent(QMouseEvent* e) {
    const std::optional<int> chip = chipAt(e->position());
    if (e->button() != Qt::LeftButton || !chip) {
        e->ignore();
        return;
    }
    e->accept();
    if (m_pressed == chip) return;
    m_pressed = chip;
    if (m_playCue) m_playCue(SoundCue::pressDown);
}

void PresetRow::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !m_pressed) {
        e->ignore();
        return;
    }
    e->accept();
    const int index = *m_pressed;
    m_pressed.reset();
    if (m_playCue) m_playCue(SoundCue::releaseUp);
    if (!rect().contains(e->position().toPoint()))
        setHovered(std::nullopt);
    else
        setHovered(chipAt(e->position()));
    if (index < m_chips.size()) emit chipActivated(index, m_chips[index]);
}

bool PresetRow::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        if (const auto chip = chipAt(help->pos())) {
            QToolTip::showText(help->globalPos(), m_chips[*chip].name, this,
                               chipRect(*chip).toAlignedRect());
        } else {
            QToolTip::hideText();
            e->ignore();
        }
        return true;
    }
    return QWidget::event(e);
}

QRectF PresetRow::liftedRect(int index) const {
    const QRectF rest = chipRect(index);
    const qreal scale = 1.0 + 0.03 * m_lift.value(index);
    const QPointF c = rest.center();
    return QRectF(c.x() - rest.width() * scale / 2, c.y() - rest.height() * scale / 2,
                  rest.width() * scale, rest.height() * scale);
}

void PresetRow::repaintWithHalo() {
    update();
    if (parentWidget())
        parentWidget()->update(geometry().adjusted(-haloReach, -haloReach, haloReach, haloReach));
}

void PresetRow::paintHalo(QPainter& p, QPointF origin) const {
    if (!isVisible()) return;
    for (int i = 0; i < m_chips.size(); ++i) {
        const qreal lift = m_lift.value(i);
        if (lift <= 0 || m_chips[i].gradientColors.isEmpty()) continue;
        const qreal scale = 1.0 + 0.03 * lift;
        QColor glow = m_chips[i].gradientColors.front();
        glow.setAlphaF(float(0.35 * lift));
        const QPainterPath shape = GlassPainter::continuousRoundedRect(
            liftedRect(i).translated(origin), cornerRadius * scale);
        GlassPainter::paintShadow(p, shape, glow, 6.0);
    }
}

void PresetRow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < m_chips.size(); ++i) {
        const PresetChip& chip = m_chips[i];
        const qreal lift = m_lift.value(i);
        const qreal scale = 1.0 + 0.03 * lift;
        const QRectF r = liftedRect(i);
        const QPainterPath shape = GlassPainter::continuousRoundedRect(r, cornerRadius * scale);
        p.save();
        p.setOpacity(0.85 + 0.15 * lift);
        p.fillPath(shape,
                   GlassPainter::horizontalGradient(chip.gradientColors, r.left(), r.right()));
        p.restore();
        GlassPainter::strokeInside(p, r, cornerRadius * scale,
                                   GlassPainter::white(0.08 + (0.25 - 0.08) * lift), 1.0);
    }
}
