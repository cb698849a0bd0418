#include "brightness/SnapGuideOverlay.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QVariantAnimation>

namespace {
constexpr int lineWidth = 2;
constexpr int dash = 8;
const QColor grayColor = QColor::fromRgbF(1, 1, 1, 0.3f);
const QColor blueColor = QColor::fromRgbF(0.2f, 0.5f, 1.0f, 0.6f);
} // namespace

SnapGuideOverlay::SnapGuideOverlay()
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::X11BypassWindowManagerHint | Qt::WindowTransparentForInput |
                           Qt::WindowDoesNotAcceptFocus) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setObjectName(QStringLiteral("HalcyraSnapGuides"));
    setWindowTitle(QStringLiteral("Halcyra snap guides"));
    fitToMainScreen();
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::primaryScreenChanged, this, [this] { fitToMainScreen(); });
        connect(app, &QGuiApplication::screenAdded, this, [this] { fitToMainScreen(); });
        connect(app, &QGuiApplication::screenRemoved, this, [this] { fitToMainScreen(); });
    }
    m_fade = new QVariantAnimation(this);
    connect(m_fade, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& v) { setWindowOpacity(v.toDouble()); });
    connect(m_fade, &QVariantAnimation::finished, this, [this] {
        if (!m_guides.guidesVisible) hide();
    });
}

SnapGuideOverlay::~SnapGuideOverlay() = default;

void SnapGuideOverlay::fitToMainScreen() {
    if (QScreen* screen = QGuiApplication::primaryScreen()) setGeometry(screen->geometry());
    update();
}

void SnapGuideOverlay::showGuides(const SnapGuides& guides) {
    const bool appearing = !m_guides.guidesVisible && guides.guidesVisible;
    m_guides = guides;
    setMask(dashRegion());
    if (appearing) {
        fitToMainScreen();
        m_fade->stop();
        m_fade->setDuration(100);
        m_fade->setStartValue(0.0);
        m_fade->setEndValue(1.0);
        show();
        raise();
        m_fade->start();
    }
    update();
}

void SnapGuideOverlay::fadeOut() {
    m_guides.endDrag();
    if (!isVisible()) return;
    m_fade->stop();
    m_fade->setDuration(150);
    m_fade->setStartValue(windowOpacity());
    m_fade->setEndValue(0.0);
    m_fade->start();
}

QRegion SnapGuideOverlay::dashRegion() const {
    QRegion region;
    const QPoint o = geometry().topLeft();
    auto vertical = [&](double x) {
        const int lx = int(std::lround(x)) - o.x() - lineWidth / 2;
        for (int y = 0; y < height(); y += 2 * dash)
            region += QRect(lx, y, lineWidth, dash);
    };
    if (m_guides.verticalLeft.visible) vertical(m_guides.verticalLeftX);
    if (m_guides.verticalRight.visible) vertical(m_guides.verticalRightX);
    if (m_guides.horizontal.visible) {
        const int ly = int(std::lround(m_guides.horizontalY)) - o.y() - lineWidth / 2;
        for (int x = 0; x < width(); x += 2 * dash)
            region += QRect(x, ly, dash, lineWidth);
    }
    // An empty mask would show the whole window.
    return region.isEmpty() ? QRegion(0, 0, 1, 1) : region;
}

void SnapGuideOverlay::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(rect(), Qt::transparent);
    const QPoint o = geometry().topLeft();
    auto pen = [](bool snapped) {
        QPen pen(snapped ? blueColor : grayColor, lineWidth);
        pen.setCapStyle(Qt::FlatCap);
        // Dash lengths count in line widths: 8 on, 8 off.
        pen.setDashPattern({double(dash) / lineWidth, double(dash) / lineWidth});
        return pen;
    };
    auto vertical = [&](double x, const SnapGuides::Line& line) {
        if (!line.visible) return;
        p.setPen(pen(line.snapped));
        const double lx = std::lround(x) - o.x();
        p.drawLine(QPointF(lx, 0), QPointF(lx, height()));
    };
    vertical(m_guides.verticalLeftX, m_guides.verticalLeft);
    vertical(m_guides.verticalRightX, m_guides.verticalRight);
    if (m_guides.horizontal.visible) {
        p.setPen(pen(m_guides.horizontal.snapped));
        const double ly = std::lround(m_guides.horizontalY) - o.y();
        p.drawLine(QPointF(0, ly), QPointF(width(), ly));
    }
}
