#include "app/StatusItem.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QtMath>
#include <algorithm>
#include <cmath>

namespace {

void drawSun(QPainter& p, const QRectF& box, const QColor& color) {
    const QPointF c = box.center();
    const double r = std::min(box.width(), box.height()) / 2.0;
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(c, r * 0.42, r * 0.42);
    QPen ray(color, std::max(1.0, r * 0.14), Qt::SolidLine, Qt::RoundCap);
    p.setPen(ray);
    for (int i = 0; i < 8; ++i) {
        const double a = i * M_PI / 4.0;
        const QPointF dir(std::cos(a), std::sin(a));
        p.drawLine(c + dir * (r * 0.62), c + dir * (r * 0.92));
    }
}

QPixmap renderSymbol(int size, const QColor& color, const QString& title,
                     const std::optional<GlowFrame>& glow) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    if (glow) StatusItemGlowController::paint(p, QRectF(0, 0, size, size), *glow);
    if (title.isEmpty()) {
        drawSun(p, QRectF(0, 0, size, size), color);
        return pixmap;
    }
    const double sunHeight = size * 0.62;
    drawSun(p, QRectF((size - sunHeight) / 2.0, 0, sunHeight, sunHeight), color);
    QFont font(QStringLiteral("monospace"));
    font.setStyleHint(QFont::Monospace);
    font.setWeight(QFont::Medium);
    font.setPixelSize(std::max(6, int(size * 0.34)));
    p.setFont(font);
    p.setPen(color);
    p.drawText(QRectF(0, sunHeight, size, size - sunHeight), Qt::AlignCenter, title.trimmed());
    return pixmap;
}

// Defined at the end of the file, after the X11 header, whose macros clash with Qt.
QRect onScreen(const QRect& reported);

} // namespace

StatusItem::StatusItem(Host host)
    : m_tray(std::make_unique<QSystemTrayIcon>()), m_host(std::move(host)),
      m_color(enabledColor()) {
    if (!m_host.present) m_host.present = &QSystemTrayIcon::isSystemTrayAvailable;
    if (!m_host.iconGeometry)
        m_host.iconGeometry = [tray = m_tray.get()] { return onScreen(tray->geometry()); };
    m_tray->setObjectName(autosaveName);
    m_tray->setIcon(sunSymbol(m_color));
    m_tray->setToolTip(tooltip);
    connect(m_tray.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Context)
                    emit rightClicked();
                else if (reason == QSystemTrayIcon::Trigger)
                    emit leftClicked();
            });
    m_tray->show();
}

StatusItem::~StatusItem() {
    if (m_tray) m_tray->hide();
}

QColor StatusItem::enabledColor() {
    return QColor(255, 149, 0);
}
QColor StatusItem::disabledColor() {
    return QColor(152, 152, 157);
}

QString StatusItem::temperatureTitle(double kelvin) {
    // NaN reads as neutral, the way the gamma engine treats it; infinities clamp.
    const double held = std::isnan(kelvin) ? 6500.0 : std::clamp(kelvin, 500.0, 6500.0);
    return QStringLiteral(" %1K").arg(int(held), 4, 10, QLatin1Char(' '));
}

QIcon StatusItem::sunSymbol(const QColor& color, const QString& title,
                            const std::optional<GlowFrame>& glow) {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64})
        icon.addPixmap(renderSymbol(size, color, title, glow));
    return icon;
}

QPixmap StatusItem::symbolPixmap(int size, const QColor& color) {
    return renderSymbol(size, color, QString(), std::nullopt);
}

void StatusItem::setAppearance(const QColor& color, const QString& title) {
    if (color == m_color && title == m_title) return;
    m_color = color;
    m_title = title;
    m_tray->setIcon(sunSymbol(color, title, m_glow));
    m_tray->setToolTip(toolTip());
}

bool StatusItem::isGlowHostVisible() const {
    return m_tray && m_tray->isVisible();
}

void StatusItem::setGlow(const std::optional<GlowFrame>& frame) {
    if (frame == m_glow) return;
    m_glow = frame;
    m_tray->setIcon(sunSymbol(m_color, m_title, m_glow));
}

QString StatusItem::toolTip() const {
    return m_title.isEmpty() ? tooltip : tooltip + m_title;
}

bool StatusItem::hasButton() const {
    return m_tray && m_tray->isVisible() && m_host.present();
}

QRect StatusItem::geometry() const {
    return m_host.iconGeometry();
}

// Kept last: Xlib defines macros (None, Bool, Status...) that Qt headers also use.
#include <QApplication>
#include <QGuiApplication>
#include <QWidget>
#include <X11/Xlib.h>

namespace {
// An icon embedded in an XEmbed tray reports its place inside the tray's panel, not on
// the screen: the X server says where its window really is.
QRect onScreen(const QRect& reported) {
    if (reported.isEmpty() || QGuiApplication::platformName() != QLatin1String("xcb"))
        return reported;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    Display* display = x11 ? x11->display() : nullptr;
    if (!display) return reported;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->inherits("QSystemTrayIconSys") || !w->testAttribute(Qt::WA_WState_Created))
            continue;
        int x = 0, y = 0;
        ::Window child = 0;
        if (!XTranslateCoordinates(display, ::Window(w->winId()), DefaultRootWindow(display), 0, 0,
                                   &x, &y, &child))
            return reported;
        const qreal dpr = w->devicePixelRatioF();
        return QRect(QPoint(int(x / dpr), int(y / dpr)), reported.size());
    }
    return reported;
}
} // namespace
