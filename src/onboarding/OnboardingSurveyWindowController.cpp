#include "onboarding/OnboardingSurveyWindowController.h"

#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "onboarding/OnboardingChrome.h"
#include "onboarding/OnboardingGlyphs.h"
#include "onboarding/OnboardingText.h"
#include "onboarding/OnboardingWindowGeometry.h"
#include "popover/GlassPainter.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>
#include <QVBoxLayout>
#include <tuple>

namespace {
const QColor kAmber = GlassPainter::srgb(1.0, 0.62, 0.24);
const QColor kInk = GlassPainter::srgb(0.15, 0.09, 0.03);
} // namespace

const std::vector<QString>& OnboardingSurveyView::answers() {
    static const std::vector<QString> labels = {
        QStringLiteral("TikTok"),   QStringLiteral("Instagram"), QStringLiteral("YouTube"),
        QStringLiteral("X"),        QStringLiteral("Reddit"),    QStringLiteral("Google"),
        QStringLiteral("A friend"), QStringLiteral("A blog"),    QStringLiteral("Other")};
    return labels;
}

const std::vector<OnboardingGlyphs::Glyph>& OnboardingSurveyView::answerGlyphs() {
    using namespace OnboardingGlyphs;
    static const std::vector<Glyph> glyphs = {
        MusicNote, Camera, PlayRectangle, At, Bubbles, MagnifyingGlass, People, Document, Ellipsis};
    return glyphs;
}

OnboardingSurveyView::OnboardingSurveyView(std::function<void()> onDone, QWidget* parent)
    : QWidget(parent), m_onDone(std::move(onDone)),
      m_source(UserDefaults::standard().stringValue(PrefKey::discoverySource).value_or(QString())) {
    setFixedSize(440, 560);
}

void OnboardingSurveyView::choose(const QString& label) {
    m_source = label;
    // Kept here only; nothing sends it anywhere.
    UserDefaults::standard().setString(PrefKey::discoverySource, label);
    update();
}

bool OnboardingSurveyView::clickAt(QPointF pt) {
    for (size_t i = 0; i < m_tiles.size(); ++i) {
        if (m_tiles[i].contains(pt)) {
            choose(answers()[i]);
            return true;
        }
    }
    for (const QRectF& link : m_links) {
        if (link.contains(pt)) {
            QDesktopServices::openUrl(QUrl(QStringLiteral(HALCYRA_FEEDBACK_BASE_URL "/")));
            return true;
        }
    }
    if (!m_later.contains(pt) && !m_done.contains(pt)) return false;
    if (m_onDone) m_onDone();
    return true;
}

void OnboardingSurveyView::mousePressEvent(QMouseEvent* e) {
    // The background moves the window.
    if (!clickAt(e->position())) e->ignore();
}

void OnboardingSurveyView::paintEvent(QPaintEvent*) {
    using OnboardingText::draw;
    using OnboardingText::font;
    using OnboardingText::span;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF card(0, 0, 440, 560);
    p.fillPath(GlassPainter::continuousRoundedRect(card, 18), GlassPainter::srgb(0.08, 0.07, 0.10));
    const double x = 30, w = 380;
    double y = 34;
    y += draw(nullptr, &p, span(tr("Welcome to Halcyra."), Qt::white), font(22, QFont::Bold), x, y,
              w, Qt::AlignLeft, 1, 0, 0, false);
    y += 4;
    y += draw(nullptr, &p,
              span(tr("You're all set — one optional question, if you have a moment."),
                   GlassPainter::white(0.55)),
              font(13, QFont::Normal), x, y, w, Qt::AlignLeft, 1, 0, 0, false);
    y += 24;
    y += draw(nullptr, &p, span(tr("How did you discover Halcyra?"), GlassPainter::white(0.9)),
              font(14, QFont::DemiBold), x, y, w, Qt::AlignLeft, 1, 0, 0, false);
    y += 10;
    m_tiles.clear();
    const double tw = (w - 16) / 3, th = 10 + 16 + 6 + 14 + 10;
    const auto& icons = OnboardingSurveyView::answerGlyphs();
    for (size_t i = 0; i < answers().size(); ++i) {
        const QRectF tile(x + (i % 3) * (tw + 8), y + (i / 3) * (th + 8), tw, th);
        m_tiles.push_back(tile);
        const bool selected = m_source == answers()[i];
        p.fillPath(GlassPainter::continuousRoundedRect(tile, 10),
                   selected ? kAmber : GlassPainter::white(0.06));
        OnboardingGlyphs::paint(p, icons[i], QRectF(tile.center().x() - 8, tile.top() + 10, 16, 16),
                                selected ? kInk : kAmber);
        p.setFont(font(11, selected ? QFont::DemiBold : QFont::Normal));
        p.setPen(selected ? kInk : GlassPainter::white(0.8));
        p.drawText(QRectF(tile.left(), tile.top() + 32, tile.width(), 14), Qt::AlignCenter,
                   answers()[i]);
    }
    y += 3 * th + 2 * 8 + 18;
    p.fillRect(QRectF(x, y, w, 1), GlassPainter::white(0.1));
    y += 1 + 18;
    m_links.clear();
    const std::tuple<OnboardingGlyphs::Glyph, QString, QString> links[] = {
        {OnboardingGlyphs::Star, tr("Rate Halcyra"), tr("Your rating helps others find the dark.")},
        {OnboardingGlyphs::Camera, tr("Follow us on Instagram"), tr("The dark, daily.")}};
    for (const auto& [glyph, title, sub] : links) {
        const QRectF row(x, y, w, 52);
        m_links.push_back(row);
        p.fillPath(GlassPainter::continuousRoundedRect(row, 10), GlassPainter::white(0.04));
        OnboardingGlyphs::paint(p, glyph, QRectF(row.left() + 12 + 3, row.center().y() - 7, 14, 14),
                                kAmber);
        p.setFont(font(13, QFont::DemiBold));
        p.setPen(GlassPainter::white(0.9));
        p.drawText(QRectF(row.left() + 44, row.top() + 9, w - 80, 17),
                   Qt::AlignLeft | Qt::AlignVCenter, title);
        p.setFont(font(11, QFont::Normal));
        p.setPen(GlassPainter::white(0.45));
        p.drawText(QRectF(row.left() + 44, row.top() + 27, w - 80, 15),
                   Qt::AlignLeft | Qt::AlignVCenter, sub);
        p.save();
        p.translate(row.right() - 18, row.center().y());
        p.rotate(45);
        OnboardingGlyphs::paint(p, OnboardingGlyphs::ArrowUp, QRectF(-5, -5, 10, 10),
                                GlassPainter::white(0.3));
        p.restore();
        y += 52 + 6;
    }
    const double by = 560 - 22 - 38;
    p.setFont(font(13, QFont::Normal));
    p.setPen(GlassPainter::white(0.5));
    m_later = QRectF(x, by, 100, 38);
    p.drawText(m_later, Qt::AlignLeft | Qt::AlignVCenter, tr("Maybe later"));
    const QFont df = font(14, QFont::DemiBold);
    const double dw = QFontMetricsF(df).horizontalAdvance(tr("Done")) + 52;
    m_done = QRectF(x + w - dw, by, dw, 38);
    p.fillPath(GlassPainter::continuousRoundedRect(m_done, 19), kAmber);
    p.setFont(df);
    p.setPen(kInk);
    p.drawText(m_done, Qt::AlignCenter, tr("Done"));
}

OnboardingSurveyWindowController& OnboardingSurveyWindowController::shared() {
    static auto* instance = new OnboardingSurveyWindowController;
    return *instance;
}

QWidget* OnboardingSurveyWindowController::makeWindowIfNeeded() {
    if (m_window) return nullptr;
    auto* window = new QWidget(nullptr, Qt::Window | Qt::WindowStaysOnTopHint);
    window->setAttribute(Qt::WA_DeleteOnClose);
    // Only the rounded card shows; its corners are not the window's.
    window->setAttribute(Qt::WA_TranslucentBackground);
    window->setWindowTitle(QString());
    QPointer<QWidget> weak(window);
    auto* view = new OnboardingSurveyView([this, weak] {
        // Dropped first, so the close that follows finds nothing to clear.
        m_window = nullptr;
        if (weak) weak->close();
    });
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    window->setFixedSize(440, 560);
    OnboardingChrome::frame(window, 18);
    // Centred on the main screen, as a window manager would place a new dialog; without
    // one the window would open in the corner.
    const QRectF area = OnboardingWindowGeometry::visibleFrame();
    if (!area.isEmpty()) window->move((area.center() - QPointF(220, 280)).toPoint());
    m_window = window;
    return window;
}

void OnboardingSurveyWindowController::open() {
    QWidget* window = makeWindowIfNeeded();
    if (!window) return;
    window->show();
    window->raise();
    window->activateWindow();
}
