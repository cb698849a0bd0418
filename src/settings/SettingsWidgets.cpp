#include "settings/SettingsWidgets.h"

#include "popover/PopoverChrome.h"
#include "popover/ToggleSwitch.h"
#include "settings/SettingsGlyphs.h"

#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <QVariantAnimation>
#include <cmath>

// ---- Style ------------------------------------------------------------------------------

QLabel* SettingsStyle::label(const QString& text, int size, QFont::Weight weight,
                             const QColor& colour, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    PopoverStyle::styleLabel(l, PopoverStyle::systemFont(size, weight), colour);
    l->setTextFormat(Qt::PlainText);
    return l;
}

QLabel* SettingsStyle::sectionTitle(const QString& text, QWidget* parent) {
    return label(text, 18, QFont::Bold, GlassPainter::white(1.0), parent);
}

QLabel* SettingsStyle::wrapping(const QString& text, int size, const QColor& colour,
                                QWidget* parent) {
    QLabel* l = label(text, size, QFont::Normal, colour, parent);
    l->setWordWrap(true);
    l->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Minimum);
    return l;
}

GlassPainter::Backdrop SettingsStyle::backdropOf(const QWidget* w) {
    return PopoverWindowClearer::backdropOf(w ? w->window() : nullptr);
}

// ---- GlassCard --------------------------------------------------------------------------

GlassCard::GlassCard(QWidget* parent, Hover hover)
    : QWidget(parent), m_column(new QVBoxLayout(this)), m_hover(hover),
      m_animation(new QVariantAnimation(this)) {
    m_column->setContentsMargins(16, 16, 16, 16);
    m_column->setSpacing(0);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    setAttribute(Qt::WA_Hover, hover != Hover::none);
    m_animation->setEasingCurve(QEasingCurve::OutCubic);
    m_animation->setDuration(hover == Hover::scale ? 150 : 200);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        m_amount = v.toReal();
        update();
    });
}

void GlassCard::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // The shadow reaches past the edge; the card keeps 2 points of room for it.
    QRectF card = QRectF(rect()).adjusted(2, 1, -2, -3);
    const GlassPainter::Backdrop backdrop = SettingsStyle::backdropOf(this);
    if (m_amount == 0) {
        const qreal dpr = devicePixelRatioF();
        if (m_rest.size() != size() * dpr || m_rest.devicePixelRatio() != dpr ||
            m_restBackdrop != int(backdrop)) {
            m_rest = QPixmap(size() * dpr);
            m_rest.setDevicePixelRatio(dpr);
            m_rest.fill(Qt::transparent);
            QPainter rp(&m_rest);
            rp.setRenderHint(QPainter::Antialiasing);
            GlassPainter::paintGlassCard(rp, card, 12, backdrop);
            m_restBackdrop = int(backdrop);
        }
        p.drawPixmap(0, 0, m_rest);
        return;
    }
    if (m_hover == Hover::scale) {
        const qreal grow = 0.01 * m_amount;
        card.adjust(-card.width() * grow, -card.height() * grow, card.width() * grow,
                    card.height() * grow);
    }
    GlassPainter::paintGlassCard(p, card, 12, backdrop);
    if (m_hover == Hover::highlight && m_amount > 0)
        p.fillPath(GlassPainter::continuousRoundedRect(card, 12),
                   GlassPainter::white(0.06 * m_amount));
}

void GlassCard::enterEvent(QEnterEvent*) {
    if (m_hover == Hover::none) return;
    m_hovered = true;
    m_animation->stop();
    m_animation->setStartValue(m_amount);
    m_animation->setEndValue(1.0);
    m_animation->start();
    if (onHoverEntered) onHoverEntered();
}

void GlassCard::leaveEvent(QEvent*) {
    if (m_hover == Hover::none) return;
    m_hovered = false;
    m_animation->stop();
    m_animation->setStartValue(m_amount);
    m_animation->setEndValue(0.0);
    m_animation->start();
}

void GlassCard::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && rect().contains(e->pos())) emit clicked();
}

// ---- Symbols ----------------------------------------------------------------------------

IconCircle::IconCircle(const QString& symbol, const QColor& colour, QWidget* parent)
    : QWidget(parent), m_symbol(symbol), m_colour(colour) {
    setFixedSize(32, 32);
}

void IconCircle::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QColor disc = m_colour;
    disc.setAlphaF(0.15f);
    p.setPen(Qt::NoPen);
    p.setBrush(disc);
    p.drawEllipse(QRectF(0, 0, 32, 32));
    SettingsGlyphs::paint(p, m_symbol, QRectF(9, 9, 14, 14), m_colour);
}

SymbolWidget::SymbolWidget(const QString& symbol, int size, const QColor& colour, QWidget* parent)
    : QWidget(parent), m_symbol(symbol), m_colour(colour) {
    setFixedSize(size, size);
}

void SymbolWidget::setSymbol(const QString& symbol) {
    m_symbol = symbol;
    update();
}

void SymbolWidget::setColour(const QColor& colour) {
    m_colour = colour;
    update();
}

void SymbolWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    SettingsGlyphs::paint(p, m_symbol, QRectF(rect()), m_colour);
}

// ---- SettingRow -------------------------------------------------------------------------

SettingRow::SettingRow(const QString& symbol, const QColor& colour, const QString& title,
                       const QString& subtitle, bool withSwitch, QWidget* parent)
    : QWidget(parent), m_row(new QHBoxLayout(this)), m_titleLine(new QHBoxLayout),
      m_text(new QVBoxLayout) {
    m_row->setContentsMargins(0, 0, 0, 0);
    m_row->setSpacing(14);
    m_row->addWidget(new IconCircle(symbol, colour), 0, Qt::AlignVCenter);
    m_text->setSpacing(3);
    m_titleLine->setSpacing(6);
    m_titleLine->addWidget(
        SettingsStyle::label(title, 13, QFont::DemiBold, GlassPainter::white(1)));
    m_titleLine->addStretch(1);
    m_text->addLayout(m_titleLine);
    if (!subtitle.isEmpty()) {
        m_subtitle = SettingsStyle::wrapping(subtitle, 11, GlassPainter::white(0.6));
        m_text->addWidget(m_subtitle);
    }
    m_row->addLayout(m_text, 1);
    if (withSwitch) {
        m_switch = new ToggleSwitch(SettingsStyle::accent(), this);
        m_switch->setAccessibleName(title);
        m_row->addWidget(m_switch, 0, Qt::AlignVCenter);
    }
}

// ---- GradientButton ---------------------------------------------------------------------

GradientButton::GradientButton(const QString& symbol, const QString& text, qreal radius,
                               int textSize, QWidget* parent)
    : QAbstractButton(parent), m_symbol(symbol), m_radius(radius), m_textSize(textSize) {
    setText(text);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void GradientButton::setLabel(const QString& symbol, const QString& text) {
    m_symbol = symbol;
    setText(text);
    update();
}

QSize GradientButton::sizeHint() const {
    const QFontMetrics fm(PopoverStyle::systemFont(m_textSize, QFont::DemiBold));
    return {fm.horizontalAdvance(text()) + 60, fm.height() + 20};
}

void GradientButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = rect();
    QLinearGradient g(r.topLeft(), r.topRight());
    g.setColorAt(0, SettingsStyle::accent());
    g.setColorAt(1, SettingsStyle::deepRed());
    p.fillPath(GlassPainter::continuousRoundedRect(r, m_radius), g);
    if (isDown())
        p.fillPath(GlassPainter::continuousRoundedRect(r, m_radius), GlassPainter::black(0.15));
    const QFont font = PopoverStyle::systemFont(m_textSize, QFont::DemiBold);
    const QFontMetrics fm(font);
    const qreal glyph = m_textSize;
    const qreal total = glyph + 6 + fm.horizontalAdvance(text());
    const qreal x = (r.width() - total) / 2;
    SettingsGlyphs::paint(p, m_symbol, QRectF(x, (r.height() - glyph) / 2, glyph, glyph),
                          Qt::white);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(x + glyph + 6, 0, r.width(), r.height()), Qt::AlignVCenter | Qt::AlignLeft,
               text());
}

// ---- InfoPopoverButton ------------------------------------------------------------------

InfoPopoverButton::InfoPopoverButton(const QString& body, const QString& readMoreURL,
                                     std::function<void(const QString&)> open, QWidget* parent)
    : QAbstractButton(parent), m_body(body), m_url(readMoreURL), m_open(std::move(open)) {
    setFixedSize(14, 14);
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(QStringLiteral("More information"));
    connect(this, &QAbstractButton::clicked, this, &InfoPopoverButton::toggle);
}

bool InfoPopoverButton::popoverShown() const {
    return m_popover && m_popover->isVisible();
}

void InfoPopoverButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    SettingsGlyphs::paint(p, QStringLiteral("info.circle"), QRectF(1.5, 1.5, 11, 11),
                          GlassPainter::white(0.4));
}

void InfoPopoverButton::toggle() {
    if (popoverShown()) {
        m_popover->hide();
        return;
    }
    if (!m_popover) {
        m_popover = new QWidget(this, Qt::Popup | Qt::FramelessWindowHint);
        m_popover->setObjectName(QStringLiteral("InfoPopover"));
        // The press that closes it is not handed on: a second click on this button
        // only closes the popover instead of opening it again at once.
        m_popover->setAttribute(Qt::WA_NoMouseReplay);
        m_popover->setStyleSheet(QStringLiteral("#InfoPopover { background: #2b2b2e; }"));
        auto* column = new QVBoxLayout(m_popover);
        column->setContentsMargins(14, 14, 14, 14);
        column->setSpacing(10);
        column->addWidget(SettingsStyle::wrapping(m_body, 12, GlassPainter::white(0.92)));
        auto* more = new QPushButton(QStringLiteral("Read more ↗"), m_popover);
        more->setFlat(true);
        more->setCursor(Qt::PointingHandCursor);
        more->setFont(PopoverStyle::systemFont(11, QFont::DemiBold));
        more->setStyleSheet(QStringLiteral(
            "QPushButton { color: rgb(255,140,38); border: none; text-align: left; }"));
        column->addWidget(more, 0, Qt::AlignLeft);
        connect(more, &QPushButton::clicked, this, [this] {
            if (m_open) m_open(m_url);
            m_popover->hide();
        });
    }
    // 260 points wide and as tall as its wrapped text and link need at that width, so
    // nothing floats in empty space (a top-level's adjustSize ignores word wrap).
    m_popover->setFixedSize(popoverWidth, m_popover->layout()->totalHeightForWidth(popoverWidth));
    const QPoint anchor = mapToGlobal(QPoint(width() / 2, height() + 4));
    m_popover->move(anchor.x() - m_popover->width() / 2, anchor.y());
    m_popover->show();
}

// ---- NativeSlider -----------------------------------------------------------------------

NativeSlider::NativeSlider(double value, double minimum, double maximum, QWidget* parent)
    : QSlider(Qt::Horizontal, parent), m_min(minimum), m_max(maximum) {
    setRange(0, 1000);
    setDoubleValue(value);
    setTracking(true);
    setAttribute(Qt::WA_MacSmallSize);
    setStyleSheet(QStringLiteral(
        "QSlider::groove:horizontal { height: 4px; background: rgba(255,255,255,40); "
        "border-radius: 2px; }"
        "QSlider::sub-page:horizontal { background: rgb(255,140,38); border-radius: 2px; }"
        "QSlider::handle:horizontal { background: white; width: 14px; margin: -5px 0; "
        "border-radius: 7px; }"));
    connect(this, &QSlider::sliderMoved, this, [this] { emit valueEdited(doubleValue()); });
    connect(this, &QSlider::actionTriggered, this, [this](int action) {
        if (action != SliderMove)
            QMetaObject::invokeMethod(
                this, [this] { emit valueEdited(doubleValue()); }, Qt::QueuedConnection);
    });
}

double NativeSlider::doubleValue() const {
    return m_min + (m_max - m_min) * value() / 1000.0;
}

void NativeSlider::setDoubleValue(double v) {
    if (!std::isfinite(v) || std::abs(v - doubleValue()) <= 0.001) return;
    const double t = (std::clamp(v, m_min, m_max) - m_min) / (m_max - m_min);
    QSignalBlocker block(this);
    setValue(int(std::lround(t * 1000)));
}

// ---- statPill ---------------------------------------------------------------------------

QWidget* statPill(const QString& value, const QString& label, const QString& icon) {
    auto* pill = new QWidget;
    auto* column = new QVBoxLayout(pill);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    column->addWidget(new SymbolWidget(icon, 12, SettingsStyle::accent(0.7)), 0, Qt::AlignHCenter);
    column->addWidget(SettingsStyle::label(value, 14, QFont::Bold, GlassPainter::white(1)), 0,
                      Qt::AlignHCenter);
    QLabel* l = SettingsStyle::label(label, 9, QFont::Bold, GlassPainter::white(0.25));
    QFont f = l->font();
    f.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    l->setFont(f);
    column->addWidget(l, 0, Qt::AlignHCenter);
    return pill;
}
