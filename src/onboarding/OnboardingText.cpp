#include "onboarding/OnboardingText.h"

#include "onboarding/OnboardingPaintCache.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

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

std::unique_ptr<QTextDocument> shadowOf(const QTextDocument& doc) {
    std::unique_ptr<QTextDocument> dark(doc.clone());
    QTextCursor c(dark.get());
    c.select(QTextCursor::Document);
    QTextCharFormat black;
    black.setForeground(QColor(0, 0, 0, 110));
    c.mergeCharFormat(black);
    return dark;
}

// Each line of the text, where its block's layout puts it.
struct Line {
    const QTextLayout* layout;
    int index;
};
std::vector<Line> linesOf(QTextDocument& doc) {
    doc.size(); // lays the document out, which it otherwise does only to draw
    std::vector<Line> lines;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        const QTextLayout* layout = block.layout();
        for (int i = 0; layout && i < layout->lineCount(); ++i)
            lines.push_back({layout, i});
    }
    return lines;
}

// A text drawn in steps: the shadow's lines, then the text's lines, one a step; the
// steps in order draw just what one pass over the whole text draws.
struct StepText {
    StepText(QTextDocument& text, bool withShadow)
        : doc(text), shadow(withShadow), lines(linesOf(text)) {}

    QTextDocument& doc;
    bool shadow;
    std::vector<Line> lines;
    std::unique_ptr<QTextDocument> dark;
    std::vector<Line> darkLines;

    int steps() const { return std::max<int>(1, int(lines.size())) * (shadow ? 2 : 1); }
    void paint(QPainter& p, int step) {
        if (lines.empty()) return;
        const int n = int(lines.size());
        if (shadow && step < n) {
            if (!dark) {
                dark = shadowOf(doc);
                darkLines = linesOf(*dark);
            }
            if (size_t(step) >= darkLines.size()) return;
            p.translate(0, 1.5);
            const Line& line = darkLines[size_t(step)];
            line.layout->lineAt(line.index).draw(&p, line.layout->position());
            return;
        }
        const Line& line = lines[size_t(step % n)];
        line.layout->lineAt(line.index).draw(&p, line.layout->position());
    }
};

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
    if (!p) return h;
    const QRectF box(x - kPad, y + lift - kPad, width + 2 * kPad, h + 2 * kPad + 2);
    std::optional<StepText> text;
    const auto steps = [&]() -> StepText& {
        if (!text) text.emplace(document(), shadow);
        return *text;
    };
    const auto paintStep = [&](QPainter& ip, int step) {
        ip.translate(kPad, kPad);
        steps().paint(ip, step);
    };
    const int count = cache ? int(cache->measure(key + QStringLiteral("|steps"),
                                                 [&] { return double(steps().steps()); }))
                            : 0;
    if (opacity <= 0 || p->opacity() <= 0) {
        // Not shown yet: made ahead, a line a step, while frames have room, so the frame
        // it first shows on only copies it.
        if (cache) {
            // Glyphs this large on the device are filled from their outlines rather than
            // copied from the glyph cache: a line of them costs about two of small text.
            const double devicePixels = font.pixelSize() * OnboardingPaintCache::deviceScale(*p);
            cache->prepare(*p, key, box, count, paintStep, devicePixels >= 64 ? 2 : 1);
        }
        return h;
    }
    p->save();
    p->setOpacity(p->opacity() * opacity);
    if (cache) {
        cache->draw(*p, key, box, count, paintStep);
    } else {
        p->translate(x, y + lift);
        if (shadow) {
            p->save();
            p->translate(0, 1.5);
            shadowOf(document())->drawContents(p);
            p->restore();
        }
        document().drawContents(p);
    }
    p->restore();
    return h;
}

} // namespace OnboardingText
