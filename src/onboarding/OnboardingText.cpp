#include "onboarding/OnboardingText.h"

#include "onboarding/OnboardingPaintCache.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <memory>

namespace OnboardingText {

namespace {

// Room around the text's box for glyphs that overhang it and for the shadow below.
constexpr double kPad = 4.0;

std::unique_ptr<QTextDocument> layOut(const QString& html, const QFont& font, double width,
                                      int align, double lineSpacing) {
    auto doc = std::make_unique<QTextDocument>();
    doc->setDocumentMargin(0);
    doc->setDefaultFont(font);
    doc->setTextWidth(width);
    doc->setHtml(
        QStringLiteral("<div align=\"%1\">%2</div>")
            .arg(align == Qt::AlignHCenter ? QStringLiteral("center") : QStringLiteral("left"),
                 html));
    if (lineSpacing > 0) {
        QTextCursor c(doc.get());
        c.select(QTextCursor::Document);
        QTextBlockFormat f;
        f.setLineHeight(lineSpacing, QTextBlockFormat::LineDistanceHeight);
        c.mergeBlockFormat(f);
    }
    return doc;
}

// The text with its top-left at the painter's origin.
void paintDocument(QPainter& p, QTextDocument& doc, bool shadow) {
    if (shadow) {
        std::unique_ptr<QTextDocument> dark(doc.clone());
        QTextCursor c(dark.get());
        c.select(QTextCursor::Document);
        QTextCharFormat black;
        black.setForeground(QColor(0, 0, 0, 110));
        c.mergeCharFormat(black);
        p.save();
        p.translate(0, 1.5);
        dark->drawContents(&p);
        p.restore();
    }
    doc.drawContents(&p);
}

} // namespace

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

double draw(OnboardingPaintCache* cache, QPainter* p, const QString& html, const QFont& font,
            double x, double y, double width, int align, double opacity, double lift,
            double lineSpacing, bool shadow) {
    std::unique_ptr<QTextDocument> doc;
    const auto document = [&]() -> QTextDocument& {
        if (!doc) doc = layOut(html, font, width, align, lineSpacing);
        return *doc;
    };
    const QString key = QStringLiteral("text|%1|%2|%3|%4|%5|")
                            .arg(OnboardingPaintCache::fontKey(font))
                            .arg(width)
                            .arg(align)
                            .arg(lineSpacing)
                            .arg(int(shadow)) +
                        html;
    const double h = cache ? cache->measure(key, [&] { return document().size().height(); })
                           : document().size().height();
    if (!p || opacity <= 0) return h;
    p->save();
    p->setOpacity(p->opacity() * opacity);
    if (cache) {
        const QRectF box(x - kPad, y + lift - kPad, width + 2 * kPad, h + 2 * kPad + 2);
        cache->draw(*p, key, box, [&](QPainter& ip) {
            ip.translate(kPad, kPad);
            paintDocument(ip, document(), shadow);
        });
    } else {
        p->translate(x, y + lift);
        paintDocument(*p, document(), shadow);
    }
    p->restore();
    return h;
}

} // namespace OnboardingText
