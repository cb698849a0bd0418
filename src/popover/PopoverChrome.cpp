#include "popover/PopoverChrome.h"

#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QPainter>
#include <QPropertyAnimation>
#include <QTimer>
#include <QVariantAnimation>
#include <QWidget>
#include <cmath>

namespace {
const char* backdropProperty = "halcyraPopoverBackdrop";
const char* fadeProperty = "halcyraFadeAnimation";
const char* fadeTargetProperty = "halcyraFadeTarget";

// Defined at the end of the file, after the X11 header, whose macros clash with Qt.
bool x11Compositing();
} // namespace

bool PopoverWindowClearer::compositorAvailable() {
    if (qEnvironmentVariableIntValue("HALCYRA_OPAQUE_POPOVER") == 1) return false;
    const QString platform = QGuiApplication::platformName();
    if (platform.startsWith(QLatin1String("wayland"))) return true;
    if (platform == QLatin1String("xcb")) return x11Compositing();
    // Offscreen and other in-memory platforms keep the alpha channel of what they
    // render, which is what a compositor would blend.
    return platform == QLatin1String("offscreen");
}

GlassPainter::Backdrop PopoverWindowClearer::prepare(QWidget* window) {
    if (!window) return GlassPainter::Backdrop::opaque;
    if (window->testAttribute(Qt::WA_WState_Created)) return backdropOf(window);
    const bool clear = compositorAvailable();
    window->setAttribute(Qt::WA_TranslucentBackground, clear);
    window->setAttribute(Qt::WA_NoSystemBackground, clear);
    window->setAutoFillBackground(false);
    window->setProperty(backdropProperty, clear ? 1 : 0);
    return clear ? GlassPainter::Backdrop::translucent : GlassPainter::Backdrop::opaque;
}

GlassPainter::Backdrop PopoverWindowClearer::backdropOf(const QWidget* window) {
    return window && window->property(backdropProperty).toInt() == 1
               ? GlassPainter::Backdrop::translucent
               : GlassPainter::Backdrop::opaque;
}

HoverLiftButton::HoverLiftButton(GlyphPainter glyph, QSize glyphSize, qreal cornerRadius,
                                 qreal padding, QWidget* parent)
    : QAbstractButton(parent), m_glyph(std::move(glyph)), m_glyphSize(glyphSize),
      m_cornerRadius(cornerRadius), m_padding(padding), m_animation(new QVariantAnimation(this)) {
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_animation->setDuration(120);
    m_animation->setEasingCurve(QEasingCurve::OutQuad);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        m_lift = v.toReal();
        update();
    });
}

QSize HoverLiftButton::sizeHint() const {
    return m_glyphSize + QSize(int(2 * m_padding), int(2 * m_padding));
}

void HoverLiftButton::animateLift(qreal target) {
    m_animation->stop();
    m_animation->setStartValue(m_lift);
    m_animation->setEndValue(target);
    m_animation->start();
}

void HoverLiftButton::enterEvent(QEnterEvent* e) {
    QAbstractButton::enterEvent(e);
    if (m_hovered) return;
    m_hovered = true;
    animateLift(1.0);
    if (onHoverEntered) onHoverEntered();
}

void HoverLiftButton::leaveEvent(QEvent* e) {
    QAbstractButton::leaveEvent(e);
    if (!m_hovered) return;
    m_hovered = false;
    animateLift(0.0);
}

void HoverLiftButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box = rect();
    if (m_lift > 0)
        p.fillPath(GlassPainter::continuousRoundedRect(box, m_cornerRadius),
                   GlassPainter::white(0.07 * m_lift));
    if (hasFocus())
        GlassPainter::strokeInside(p, box, m_cornerRadius, GlassPainter::white(0.3), 1.0);
    const QRectF glyphBox(box.center().x() - m_glyphSize.width() / 2.0,
                          box.center().y() - m_glyphSize.height() / 2.0, m_glyphSize.width(),
                          m_glyphSize.height());
    if (m_glyph) m_glyph(p, glyphBox, GlassPainter::white(0.6));
}

namespace {

// Ends a fade in flight at once, leaving the widget as the fade would have.
void finishFade(QWidget* widget) {
    auto* running = widget->property(fadeProperty).value<QObject*>();
    if (!running) return;
    widget->setProperty(fadeProperty, QVariant());
    running->disconnect(widget);
    delete running;
    widget->setGraphicsEffect(nullptr);
    widget->setVisible(widget->property(fadeTargetProperty).toBool());
}

bool effectAbove(const QWidget* widget) {
    for (QWidget* p = widget->parentWidget(); p; p = p->parentWidget())
        if (p->graphicsEffect()) return true;
    return false;
}

} // namespace

void fadeVisibility(QWidget* widget, bool visible, int durationMs) {
    if (!widget) return;
    // Qt cannot render one opacity effect inside another, so a fade first settles the
    // fades below it, and a widget inside a fading one changes at once.
    finishFade(widget);
    for (QWidget* child : widget->findChildren<QWidget*>())
        finishFade(child);
    QWidget* parent = widget->parentWidget();
    const bool shown = parent ? widget->isVisibleTo(parent) : widget->isVisible();
    const bool onScreen = widget->window() && widget->window()->isVisible();
    if (!onScreen || durationMs <= 0 || shown == visible || effectAbove(widget)) {
        widget->setVisible(visible);
        return;
    }
    auto* effect = new QGraphicsOpacityEffect(widget);
    effect->setOpacity(visible ? 0.0 : 1.0);
    widget->setGraphicsEffect(effect);
    if (visible) widget->show();
    auto* animation = new QPropertyAnimation(effect, "opacity", widget);
    animation->setDuration(durationMs);
    animation->setEasingCurve(QEasingCurve::InOutQuad);
    animation->setStartValue(visible ? 0.0 : 1.0);
    animation->setEndValue(visible ? 1.0 : 0.0);
    widget->setProperty(fadeProperty, QVariant::fromValue<QObject*>(animation));
    widget->setProperty(fadeTargetProperty, visible);
    QObject::connect(animation, &QPropertyAnimation::finished, widget,
                     [widget] { finishFade(widget); });
    animation->start();
}

GlyphWidget::GlyphWidget(GlyphPainter glyph, QSize size, const QColor& colour, QWidget* parent)
    : QWidget(parent), m_glyph(std::move(glyph)), m_colour(colour) {
    setFixedSize(size);
    setAttribute(Qt::WA_TranslucentBackground);
}

void GlyphWidget::setColour(const QColor& colour) {
    m_colour = colour;
    update();
}

void GlyphWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (m_glyph) m_glyph(p, rect(), m_colour);
}

GlyphButton::GlyphButton(GlyphPainter glyph, QSize glyphSize, const QColor& colour, qreal padding,
                         QWidget* parent)
    : QAbstractButton(parent), m_glyph(std::move(glyph)), m_glyphSize(glyphSize), m_colour(colour),
      m_padding(padding) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize GlyphButton::sizeHint() const {
    return m_glyphSize + QSize(int(2 * m_padding), int(2 * m_padding));
}

void GlyphButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRectF box(QRectF(rect()).center().x() - m_glyphSize.width() / 2.0,
                     QRectF(rect()).center().y() - m_glyphSize.height() / 2.0, m_glyphSize.width(),
                     m_glyphSize.height());
    if (m_glyph) m_glyph(p, box, m_colour);
    if (hasFocus())
        GlassPainter::strokeInside(p, rect(), height() / 2.0, GlassPainter::white(0.3), 1.0);
}

ActivityIndicator::ActivityIndicator(QWidget* parent, int side, qreal scale)
    : QWidget(parent), m_timer(new QTimer(this)), m_scale(scale) {
    setFixedSize(side, side);
    m_timer->setInterval(80);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_phase = (m_phase + 1) % spokes;
        update();
    });
}

void ActivityIndicator::showEvent(QShowEvent*) {
    m_timer->start();
}

void ActivityIndicator::hideEvent(QHideEvent*) {
    m_timer->stop();
}

void ActivityIndicator::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(QRectF(rect()).center());
    p.scale(m_scale, m_scale);
    for (int i = 0; i < spokes; ++i) {
        // The leading spoke is brightest; the ones behind it fade out.
        const int age = (m_phase - i + spokes) % spokes;
        p.setPen(QPen(GlassPainter::white(0.85 - 0.09 * age), 1.5, Qt::SolidLine, Qt::RoundCap));
        const qreal a = 2 * M_PI * i / spokes;
        p.drawLine(QPointF(std::cos(a) * 3.5, std::sin(a) * 3.5),
                   QPointF(std::cos(a) * 6.5, std::sin(a) * 6.5));
    }
}

// Kept last: Xlib defines macros (None, Bool, Status...) that Qt headers also use.
#include <X11/Xlib.h>

namespace {
bool x11Compositing() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display) return false;
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(DefaultScreen(display));
    const Atom selection = XInternAtom(display, name.constData(), False);
    return XGetSelectionOwner(display, selection) != 0;
}
} // namespace
