#include "settings/FunFactCard.h"

#include "settings/ScheduleGlyphs.h"
#include "settings/ScheduleViewStyle.h"

#include <QPainter>
#include <QTextLayout>

using namespace ScheduleViewStyle;

namespace {
constexpr double kBadge = 32;
constexpr double kSpacing = 12;

QFont titleFont() {
    return face(12, QFont::DemiBold);
}
QFont bodyFont() {
    return face(11);
}
} // namespace

FunFactCard::FunFactCard(const CircadianFact& fact, QWidget* parent)
    : QWidget(parent), m_fact(fact) {
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void FunFactCard::setFact(const CircadianFact& fact) {
    m_fact = fact;
    updateGeometry();
    update();
}

QStringList FunFactCard::bodyLines(double textWidth) const {
    QStringList lines;
    if (textWidth <= 0) return lines;
    const QFont f = bodyFont();
    QTextLayout layout(m_fact.body, f);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    int start = 0;
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(textWidth);
        if (lines.size() == maxBodyLines - 1) {
            // The last line that fits takes the rest of the text, elided.
            lines << QFontMetricsF(f).elidedText(m_fact.body.mid(start).trimmed(), Qt::ElideRight,
                                                 textWidth);
            break;
        }
        lines << m_fact.body.mid(line.textStart(), line.textLength()).trimmed();
        start = line.textStart() + line.textLength();
    }
    layout.endLayout();
    return lines;
}

int FunFactCard::heightForWidth(int w) const {
    const double textW = w - kBadge - kSpacing;
    const double textH = QFontMetricsF(titleFont()).height() + 2 +
                         bodyLines(textW).size() * QFontMetricsF(bodyFont()).lineSpacing();
    return int(std::ceil(std::max(kBadge, textH)));
}

void FunFactCard::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor tint = colour(m_fact.color);
    const double top = (height() - kBadge) / 2;
    p.setPen(Qt::NoPen);
    p.setBrush(colour(m_fact.color, 0.15));
    p.drawEllipse(QRectF(0, top, kBadge, kBadge));
    ScheduleGlyphs::draw(p, m_fact.icon, QRectF(9, top + 9, 14, 14), tint);

    const double x = kBadge + kSpacing;
    const double textW = width() - x;
    const QStringList lines = bodyLines(textW);
    const QFontMetricsF tm(titleFont()), bm(bodyFont());
    const double blockH = tm.height() + 2 + lines.size() * bm.lineSpacing();
    double y = (height() - blockH) / 2;
    p.setFont(titleFont());
    p.setPen(white(0.9));
    p.drawText(QRectF(x, y, textW, tm.height()), Qt::AlignLeft | Qt::AlignVCenter,
               tm.elidedText(m_fact.title, Qt::ElideRight, textW));
    y += tm.height() + 2;
    p.setFont(bodyFont());
    p.setPen(white(0.55));
    for (const QString& line : lines) {
        p.drawText(QRectF(x, y, textW, bm.height()), Qt::AlignLeft | Qt::AlignVCenter, line);
        y += bm.lineSpacing();
    }
}
