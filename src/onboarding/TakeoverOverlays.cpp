// The takeover's footer (the button, the springing progress dots, the Esc hint), the
// ghost pointer and the confetti of the last slide.
#include "onboarding/TakeoverView.h"

#include "popover/GlassPainter.h"

#include <QPainter>
#include <algorithm>
#include <array>
#include <cmath>

void TakeoverView::layOutFooter() {
    const double w = width(), h = height();
    const double escH = 14;
    const double bottom = h - 48;
    const double dotsTop = bottom - escH - 20 - 6;
    const double buttonH = 50;
    m_button = QRectF((w - 320) / 2, dotsTop - 20 - buttonH, 320, buttonH);
}

void TakeoverView::paintFooter(QPainter& p) {
    const double w = width(), h = height();
    QFont font = this->font();
    font.setPixelSize(11);
    const double escH = 14;
    const double bottom = h - 48;
    const QRectF esc(0, bottom - escH, w, escH);

    const QPainterPath shape = GlassPainter::continuousRoundedRect(m_button, 12);
    p.fillPath(shape, GlassPainter::white(0.14));
    GlassPainter::strokeInside(p, m_button, 12, GlassPainter::white(0.1), 1.0);
    QFont bf = this->font();
    bf.setPixelSize(16);
    bf.setWeight(QFont::DemiBold);
    p.setFont(bf);
    p.setPen(Qt::white);
    p.drawText(m_button, Qt::AlignCenter, buttonTitle());

    p.setFont(font);
    p.setPen(GlassPainter::white(0.3));
    p.drawText(esc, Qt::AlignCenter, tr("Press Esc to exit"));
}

void TakeoverView::paintDots(QPainter& p) {
    // Each dot is as wide and as bright as the wide dot stands on it: 22 and 0.9 on the
    // current slide, 6 and 0.35 elsewhere, in between while it springs across. A slide
    // number outside the row lights none.
    const double at = m_dots.value();
    std::array<double, slideCount> on{};
    double rowW = (slideCount - 1) * 8;
    for (int i = 0; i < slideCount; ++i) {
        on[size_t(i)] = std::clamp(1.0 - std::abs(at - i), 0.0, 1.0);
        rowW += 6 + 16 * on[size_t(i)];
    }
    const double top = height() - 48 - 14 - 20 - 6;
    double x = (width() - rowW) / 2;
    for (int i = 0; i < slideCount; ++i) {
        const double lit = on[size_t(i)];
        const QRectF dot(x, top, 6 + 16 * lit, 6);
        p.fillPath(GlassPainter::continuousRoundedRect(dot.translated(0, 1), 3),
                   GlassPainter::black(0.3));
        p.fillPath(GlassPainter::continuousRoundedRect(dot, 3),
                   GlassPainter::white(0.35 + 0.55 * lit));
        x += dot.width() + 8;
    }
}

void TakeoverView::paintGhost(QPainter& p) {
    if (!m_ghostVisible || m_ghostOpacity <= 0) return;
    p.save();
    p.setOpacity(m_ghostOpacity);
    if (m_ghostRingT >= 0) {
        // The press as a ripple: grows from a fifth and fades out.
        const double s = std::min(1.0, m_ghostRingT / 0.5);
        const double scale = 0.2 + 0.8 * (1 - (1 - s) * (1 - s));
        p.setPen(QPen(GlassPainter::white(0.7 * (1 - s)), 2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(m_ghostPos, 22 * scale, 22 * scale);
    }
    p.translate(m_ghostPos);
    const double scale = m_ghostClicking ? 0.82 : 1.0;
    p.scale(scale, scale);
    // The standard arrow pointer: tip at the centre point.
    QPainterPath arrow;
    arrow.moveTo(0, 0);
    arrow.lineTo(0, 17);
    arrow.lineTo(4, 13);
    arrow.lineTo(7, 20);
    arrow.lineTo(10, 19);
    arrow.lineTo(7, 12);
    arrow.lineTo(12.5, 12);
    arrow.closeSubpath();
    p.fillPath(arrow.translated(1, 2), GlassPainter::black(0.4));
    p.fillPath(arrow, Qt::black);
    p.setPen(QPen(Qt::white, 1.2));
    p.drawPath(arrow);
    p.restore();
}

void TakeoverView::paintConfetti(QPainter& p) {
    for (const Piece& piece : m_confetti) {
        p.save();
        p.translate(piece.x, piece.y);
        p.rotate(piece.angle * 57.2958);
        p.setOpacity(std::clamp(piece.alpha, 0.0, 1.0));
        p.fillPath(GlassPainter::continuousRoundedRect(
                       QRectF(-4 * piece.size, -2 * piece.size, 8 * piece.size, 4 * piece.size), 1),
                   piece.colour);
        p.restore();
    }
}
