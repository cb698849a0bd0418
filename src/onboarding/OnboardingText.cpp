#include "onboarding/OnboardingText.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace OnboardingText {

QFont font(int pixelSize, QFont::Weight weight, bool italic) {
    QFont f = QApplication::font();
    f.setPixelSize(pixelSize);
    f.setWeight(weight);
    f.setItalic(italic);
    return f;
}

QString span(const QString& text, const QColor& colour) {
    return QStringLiteral("<span style=\"color:rgba(%1,%2,%3,%4)\">%5</span>")
        .arg(colour.red())
        .arg(colour.green())
        .arg(colour.blue())
        .arg(colour.alphaF())
        .arg(text.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>")));
}

double draw(QPainter* p, const QString& html, const QFont& font, double x, double y, double width,
            int align, double opacity, double lift, double lineSpacing, bool shadow) {
    QTextDocument doc;
    doc.setDocumentMargin(0);
    doc.setDefaultFont(font);
    doc.setTextWidth(width);
    doc.setHtml(
        QStringLiteral("<div align=\"%1\">%2</div>")
            .arg(align == Qt::AlignHCenter ? QStringLiteral("center") : QStringLiteral("left"),
                 html));
    if (lineSpacing > 0) {
        QTextCursor c(&doc);
        c.select(QTextCursor::Document);
        QTextBlockFormat f;
        f.setLineHeight(lineSpacing, QTextBlockFormat::LineDistanceHeight);
        c.mergeBlockFormat(f);
    }
    const double h = doc.size().height();
    if (p && opacity > 0) {
        p->save();
        p->setOpacity(p->opacity() * opacity);
        if (shadow) {
            QTextDocument* dark = doc.clone();
            QTextCursor c(dark);
            c.select(QTextCursor::Document);
            QTextCharFormat black;
            black.setForeground(QColor(0, 0, 0, 110));
            c.mergeCharFormat(black);
            p->translate(x, y + lift + 1.5);
            dark->drawContents(p);
            p->translate(0, -1.5);
            delete dark;
        } else {
            p->translate(x, y + lift);
        }
        doc.drawContents(p);
        p->restore();
    }
    return h;
}

} // namespace OnboardingText
