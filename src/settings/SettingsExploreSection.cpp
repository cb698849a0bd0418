// The "Explore" page: two partner cards and the articles of Halcyra's web site, each a
// link opened in the default browser.
#include "settings/SettingsGlyphs.h"
#include "settings/SettingsView.h"
#include "settings/SettingsViewModel.h"
#include "settings/SettingsWidgets.h"
#include "sound/SoundCueEngine.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLinearGradient>
#include <QPainter>
#include <QUrl>
#include <QVBoxLayout>
#include <array>
#include <iterator>

namespace {

const QColor cyan = GlassPainter::srgb(0.2, 0.78, 0.9);

struct Partner {
    const char* title;
    const char* tagline;
    const char* symbol;
    const char* path;
    std::array<QColor, 3> gradient;
};

const Partner kPartners[] = {
    {"Dusk Lenses",
     "Amber glasses for the hours away from the screen, so the evening stays warm wherever "
     "you look.",
     "eyeglasses",
     "/partners/dusk-lenses",
     {GlassPainter::srgb(1.0, 0.62, 0.2), GlassPainter::srgb(0.93, 0.36, 0.12),
      GlassPainter::srgb(0.62, 0.14, 0.1)}},
    {"Stillwater",
     "A bedside sound machine that wakes you with light instead of noise.",
     "moon.stars.fill",
     "/partners/stillwater",
     {GlassPainter::srgb(0.35, 0.45, 0.95), GlassPainter::srgb(0.42, 0.26, 0.78),
      GlassPainter::srgb(0.2, 0.12, 0.45)}},
};

struct Article {
    const char* title;
    const char* description;
    const char* path;
};

const Article kArticles[] = {
    {"Screen Flicker Headaches", "Why PWM causes strain",
     "/blog/fix-screen-flicker-headaches-macbook"},
    {"Night Light Alternative", "Full-spectrum warmth", "/blog/night-shift-alternative-mac-2026"},
    {"Blue Light Filter", "Software vs glasses", "/blog/mac-blue-light-filter"},
    {"Display Dithering", "The hidden pixel noise", "/blog/display-dithering"},
};

// The partner's tile: a rounded square on its three-colour gradient, its symbol over it.
class PartnerTile : public QWidget {
public:
    PartnerTile(const QString& symbol, const std::array<QColor, 3>& gradient)
        : m_symbol(symbol), m_gradient(gradient) {
        setFixedSize(84, 84);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient g(0, 0, width(), height());
        for (int i = 0; i < 3; ++i)
            g.setColorAt(i / 2.0, m_gradient[size_t(i)]);
        p.fillPath(GlassPainter::continuousRoundedRect(QRectF(rect()), 14), g);
        SettingsGlyphs::paint(p, m_symbol, QRectF(23, 23, 38, 38), GlassPainter::white(0.95));
    }

private:
    QString m_symbol;
    std::array<QColor, 3> m_gradient;
};

class ExplorePage : public SettingsPage {
public:
    explicit ExplorePage(SettingsView& view) : m_vm(view.viewModel()) {
        auto* column = new QVBoxLayout(this);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(16);
        auto* heading = new QVBoxLayout;
        heading->setSpacing(4);
        heading->addWidget(SettingsStyle::sectionTitle(QStringLiteral("Explore")));
        heading->addWidget(SettingsStyle::label(QStringLiteral("Partner products we love"), 12,
                                                QFont::Normal, GlassPainter::white(0.5)));
        column->addLayout(heading);
        for (const Partner& partner : kPartners)
            column->addWidget(partnerCard(partner));

        column->addWidget(SettingsStyle::sectionTitle(QStringLiteral("Science")));
        GlassCard* header = linkCard(SettingsStyle::siteUrl(QStringLiteral("/blog")));
        auto* row = new QHBoxLayout;
        row->setSpacing(10);
        row->addWidget(new IconCircle(QStringLiteral("flask.fill"), cyan));
        auto* texts = new QVBoxLayout;
        texts->setSpacing(2);
        texts->addWidget(SettingsStyle::label(QStringLiteral("The Science Behind Halcyra"), 13,
                                              QFont::DemiBold, GlassPainter::white(0.92)));
        texts->addWidget(SettingsStyle::label(
            QStringLiteral("Research on blue light, melatonin, and circadian health"), 11,
            QFont::Normal, GlassPainter::white(0.6)));
        row->addLayout(texts, 1);
        row->addWidget(
            new SymbolWidget(QStringLiteral("arrow.up.right"), 10, GlassPainter::white(0.3)));
        header->column()->addLayout(row);
        column->addWidget(header);

        auto* grid = new QGridLayout;
        grid->setVerticalSpacing(10);
        for (int i = 0; i < int(std::size(kArticles)); ++i)
            grid->addWidget(articleCard(kArticles[i]), i / 2, i % 2);
        column->addLayout(grid);
    }

private:
    // A card that opens `url` when clicked; the hover cue plays as the pointer enters.
    GlassCard* linkCard(const QString& url) {
        auto* card = new GlassCard(nullptr, GlassCard::Hover::scale);
        card->setCursor(Qt::PointingHandCursor);
        card->onHoverEntered = [this] { m_vm.cues().play(SoundCue::hover); };
        connect(card, &GlassCard::clicked, this, [this, url] {
            // A link that does not parse opens nothing.
            const QUrl parsed(url, QUrl::StrictMode);
            if (parsed.isValid() && !parsed.scheme().isEmpty()) m_vm.openUrl(url);
        });
        return card;
    }

    GlassCard* partnerCard(const Partner& partner) {
        GlassCard* card = linkCard(SettingsStyle::siteUrl(QString::fromLatin1(partner.path)));
        card->setObjectName(QStringLiteral("PartnerCard"));
        auto* row = new QHBoxLayout;
        row->setSpacing(16);
        row->addWidget(new PartnerTile(QString::fromLatin1(partner.symbol), partner.gradient));
        auto* text = new QVBoxLayout;
        text->setSpacing(4);
        text->addWidget(SettingsStyle::label(QString::fromUtf8(partner.title), 16, QFont::Bold,
                                             GlassPainter::white(0.92)));
        text->addWidget(SettingsStyle::wrapping(QString::fromUtf8(partner.tagline), 12,
                                                GlassPainter::white(0.65)));
        auto* visit = new QHBoxLayout;
        visit->setContentsMargins(0, 2, 0, 0);
        visit->setSpacing(4);
        visit->addWidget(SettingsStyle::label(QStringLiteral("Visit site"), 11, QFont::DemiBold,
                                              SettingsStyle::accent()));
        visit->addWidget(
            new SymbolWidget(QStringLiteral("arrow.up.right"), 9, SettingsStyle::accent()));
        visit->addStretch(1);
        text->addLayout(visit);
        text->addStretch(1);
        row->addLayout(text, 1);
        card->column()->addLayout(row);
        return card;
    }

    GlassCard* articleCard(const Article& article) {
        GlassCard* card = linkCard(SettingsStyle::siteUrl(QString::fromLatin1(article.path)));
        card->setObjectName(QStringLiteral("ArticleCard"));
        card->column()->setSpacing(6);
        card->column()->addWidget(new SymbolWidget(QStringLiteral("doc.text.fill"), 14, cyan));
        QLabel* title = SettingsStyle::label(QString::fromUtf8(article.title), 12, QFont::DemiBold,
                                             GlassPainter::white(0.92));
        title->setWordWrap(true);
        title->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Minimum);
        // Two lines at most.
        title->setMaximumHeight(QFontMetrics(title->font()).lineSpacing() * 2);
        card->column()->addWidget(title);
        QLabel* description = SettingsStyle::label(QString::fromUtf8(article.description), 10,
                                                   QFont::Normal, GlassPainter::white(0.6));
        description->setMinimumWidth(0);
        description->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        card->column()->addWidget(description);
        return card;
    }

    SettingsViewModel& m_vm;
};

} // namespace

SettingsPage* makeExplorePage(SettingsView& view) {
    return new ExplorePage(view);
}
