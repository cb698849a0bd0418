#include "settings/SchedulePointListView.h"

#include "insights/ScheduleSettingsModel.h"
#include "settings/PaintCache.h"
#include "settings/ScheduleGlyphs.h"
#include "settings/ScheduleViewStyle.h"

#include <QAbstractButton>
#include <QPainter>
#include <algorithm>
#include <cmath>

using namespace ScheduleViewStyle;
namespace L = ScheduleViewLogic;

namespace {
constexpr double kSpacing = 8;
constexpr double kRowSpacing = 10;
constexpr double kTimeWidth = 70;

QFont timeFont() {
    return face(12, QFont::Medium);
}
QFont kelvinFont() {
    return face(11, QFont::DemiBold);
}
QFont addFont() {
    return face(11, QFont::Medium);
}
QFont hintFont() {
    return face(10);
}
const QString kAddText = QStringLiteral("Add Point");
const QString kHint =
    QStringLiteral("Open Fine-Tune Curve below to drag points by time and warmth");

// A plain button drawn as a 12-point symbol, with a label beside it when given.
class GlyphButton : public QAbstractButton {
public:
    GlyphButton(QString glyph, QString label, QColor colour, QWidget* parent)
        : QAbstractButton(parent), m_glyph(std::move(glyph)), m_colour(colour) {
        setText(label);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::TabFocus);
        setAccessibleName(label.isEmpty() ? QStringLiteral("Remove Point") : label);
    }
    QSize sizeHint() const override {
        const double w =
            text().isEmpty() ? 12 : 12 + 6 + QFontMetricsF(addFont()).horizontalAdvance(text());
        return {int(std::ceil(w)) + 2,
                int(std::ceil(std::max(14.0, QFontMetricsF(addFont()).height())))};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        m_picture.draw(p, QRectF(rect()), qHashMulti(0, isDown(), hasFocus(), text()),
                       [this](QPainter& bp) { paintButton(bp); });
    }

private:
    void paintButton(QPainter& p) const {
        QColor c = m_colour;
        if (isDown()) c.setAlphaF(c.alphaF() * 0.6f);
        ScheduleGlyphs::draw(p, m_glyph, QRectF(1, (height() - 12) / 2.0, 12, 12), c);
        if (!text().isEmpty())
            ScheduleViewStyle::paintText(
                p, text(), addFont(), c,
                {1 + 12 + 6, (height() - QFontMetricsF(addFont()).height()) / 2});
        if (hasFocus()) {
            p.setPen(QPen(white(0.35), 1));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
        }
    }

    QString m_glyph;
    QColor m_colour;
    PaintCache m_picture;
};
} // namespace

SchedulePointListView::SchedulePointListView(ScheduleSettingsModel& model,
                                             std::function<void()> onChanged, const QColor& accent,
                                             QWidget* parent)
    : QWidget(parent), m_model(model), m_onChanged(std::move(onChanged)), m_accent(accent) {
    setAttribute(Qt::WA_TranslucentBackground);
    QColor faded = accent;
    faded.setAlphaF(accent.alphaF() * 0.8f);
    m_addButton = new GlyphButton(QStringLiteral("plus.circle.fill"), kAddText, faded, this);
    connect(m_addButton, &QAbstractButton::clicked, this, &SchedulePointListView::addPoint);
    connect(&model, &ScheduleSettingsModel::schedulePointsChanged, this,
            &SchedulePointListView::rebuild);
    rebuild();
}

double SchedulePointListView::rowHeight() const {
    return std::max(
        {QFontMetricsF(timeFont()).height(), QFontMetricsF(kelvinFont()).height(), 14.0});
}

QSize SchedulePointListView::sizeHint() const {
    const int rows = int(m_model.schedulePoints().size());
    double h = rows * rowHeight() + rows * kSpacing;
    if (rows < maximumPoints) h += 2 + m_addButton->sizeHint().height() + kSpacing;
    h += QFontMetricsF(hintFont()).height();
    return {int(std::ceil(QFontMetricsF(hintFont()).horizontalAdvance(kHint))), int(std::ceil(h))};
}

void SchedulePointListView::addPoint() {
    QList<SchedulePoint> points = m_model.schedulePoints();
    points.append({QUuid::createUuid(), 12.0, 4500.0});
    std::stable_sort(
        points.begin(), points.end(),
        [](const SchedulePoint& a, const SchedulePoint& b) { return a.hour < b.hour; });
    m_model.setSchedulePoints(points);
    if (m_onChanged) m_onChanged();
}

void SchedulePointListView::removePoint(const QUuid& id) {
    QList<SchedulePoint> points = m_model.schedulePoints();
    points.removeIf([&id](const SchedulePoint& p) { return p.id == id; });
    m_model.setSchedulePoints(points);
    if (m_onChanged) m_onChanged();
}

void SchedulePointListView::rebuild() {
    const auto& points = m_model.schedulePoints();
    const qsizetype wanted = points.size() >= minimumForRemoval ? points.size() : 0;
    // A moved point keeps its row: the buttons stay (a drag changes the points on every
    // step) and only the rows' words are painted again.
    if (wanted == m_removeButtons.size() && !m_removeButtons.isEmpty()) {
        update();
        return;
    }
    // The clicked button may be the one asking for this: it goes once its click is over.
    for (QAbstractButton* old : m_removeButtons) {
        old->hide();
        old->deleteLater();
    }
    m_removeButtons.clear();
    for (qsizetype i = 0; i < wanted; ++i) {
        auto* button =
            new GlyphButton(QStringLiteral("minus.circle.fill"), QString(), white(0.3), this);
        // The row's point when clicked: the rows follow the model's order.
        connect(button, &QAbstractButton::clicked, this, [this, i] {
            const auto& now = m_model.schedulePoints();
            if (i < now.size()) removePoint(now[i].id);
        });
        button->show();
        m_removeButtons.append(button);
    }
    m_addButton->setVisible(points.size() < maximumPoints);
    placeButtons();
    updateGeometry();
    update();
}

void SchedulePointListView::resizeEvent(QResizeEvent*) {
    placeButtons();
}

void SchedulePointListView::placeButtons() {
    const double rh = rowHeight();
    for (int i = 0; i < m_removeButtons.size(); ++i) {
        QAbstractButton* b = m_removeButtons[i];
        const QSize s = b->sizeHint();
        b->setGeometry(width() - s.width(), int(i * (rh + kSpacing) + (rh - s.height()) / 2),
                       s.width(), s.height());
    }
    const int rows = int(m_model.schedulePoints().size());
    m_addButton->setGeometry(0, int(rows * (rh + kSpacing) + 2), m_addButton->sizeHint().width(),
                             m_addButton->sizeHint().height());
}

void SchedulePointListView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    size_t key = qHashMulti(0, m_addButton->isVisible(), m_addButton->height());
    for (const SchedulePoint& point : m_model.schedulePoints())
        key = qHashMulti(key, point.hour, point.kelvin);
    m_rows.draw(p, QRectF(rect()), key, [this](QPainter& rp) { paintRows(rp); });
}

void SchedulePointListView::paintRows(QPainter& p) const {
    const double rh = rowHeight();
    double y = 0;
    for (const SchedulePoint& point : m_model.schedulePoints()) {
        const QColor tint = colour(L::zoneColorForKelvin(point.kelvin));
        p.setPen(Qt::NoPen);
        p.setBrush(tint);
        p.drawEllipse(QRectF(0, y + (rh - 8) / 2, 8, 8));
        const QFont tf = timeFont();
        paintText(p, L::clockString(point.hour), tf, Qt::white,
                  {8 + kRowSpacing, y + (rh - QFontMetricsF(tf).height()) / 2});
        const QFont kf = kelvinFont();
        const QString kelvin = std::isfinite(point.kelvin) && std::abs(point.kelvin) < 1e9
                                   ? QStringLiteral("%1K").arg(qint64(std::trunc(point.kelvin)))
                                   : L::missingValue;
        paintText(p, kelvin, kf, tint,
                  {8 + kRowSpacing + kTimeWidth + kRowSpacing,
                   y + (rh - QFontMetricsF(kf).height()) / 2});
        y += rh + kSpacing;
    }
    if (m_addButton->isVisible()) y += 2 + m_addButton->height() + kSpacing;
    paintText(p, kHint, hintFont(), white(0.4), {0, y});
}
