#include "settings/DayPartZonesView.h"

#include "core/NotificationCenter.h"
#include "core/NotificationNames.h"
#include "insights/ScheduleSettingsModel.h"
#include "popover/GlassPainter.h"
#include "settings/ScheduleGlyphs.h"
#include "settings/ScheduleViewStyle.h"
#include "warmth/SunsetScheduler.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

using namespace ScheduleViewStyle;
namespace L = ScheduleViewLogic;

namespace {
constexpr double kSpacing = 10;
constexpr double kPadding = 14;
constexpr double kRowSpacing = 6;
constexpr double kBarHeight = 5;

const QColor kTextPrimary = Qt::white;
const QColor kTextDim = white(0.6);

double lineHeight(const QFont& f) {
    return QFontMetricsF(f).height();
}
} // namespace

DayPartZonesView::DayPartZonesView(ScheduleSettingsModel& model, QWidget* parent)
    : DayPartZonesView(model, SunsetScheduler::shared(), parent) {}

DayPartZonesView::DayPartZonesView(ScheduleSettingsModel& model, SunsetScheduler& scheduler,
                                   QWidget* parent)
    : QWidget(parent), m_model(model), m_scheduler(scheduler) {
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_updateTimer.setInterval(updateIntervalMs);
    connect(&m_updateTimer, &QTimer::timeout, this, &DayPartZonesView::refreshZones);
    m_updateTimer.start();
    NotificationCenter::defaultCenter().addObserver(
        this, NotificationName::preferencesChanged,
        [this](const Notification&) { refreshZones(); });
    // A flipped switch or a moved point changes the plan now, not at the next minute.
    // The model stores a change before it announces it, so the zones read the new one.
    connect(&model, &ScheduleSettingsModel::autoSunsetChanged, this,
            &DayPartZonesView::refreshZones);
    connect(&model, &ScheduleSettingsModel::useScheduleChanged, this,
            &DayPartZonesView::refreshZones);
    connect(&model, &ScheduleSettingsModel::schedulePointsChanged, this,
            &DayPartZonesView::refreshZones);
}

DayPartZonesView::~DayPartZonesView() {
    NotificationCenter::defaultCenter().removeObserver(this);
}

void DayPartZonesView::refreshZones() {
    const QDateTime now = m_scheduler.clock().now();
    const auto intensityAt = L::dayIntensity(m_scheduler, now);
    const auto before = m_zoneWarmth;
    const int currentBefore = currentCard();
    for (const L::DayPart& part : L::dayParts())
        m_zoneWarmth.insert(part.id, L::zoneWarmth(part, intensityAt));
    m_currentHour = now.time().hour() + now.time().minute() / 60.0;
    const int mode = m_model.autoSunset() ? 0 : m_model.useSchedule() ? 1 : 2;
    if (mode != m_shownMode || currentCard() != currentBefore || before.size() != 4) {
        m_shownMode = mode;
        update();
        return;
    }
    // Only the cards whose figures moved are painted again.
    const auto boxes = cardBoxes();
    const auto& parts = L::dayParts();
    for (size_t i = 0; i < 4 && i < parts.size(); ++i) {
        const L::ZoneWarmth a = before.value(parts[i].id), b = zoneWarmth(parts[i].id);
        if (a.avg != b.avg || a.start != b.start || a.end != b.end)
            update(boxes[i].toAlignedRect());
    }
}

std::array<QRectF, 4> DayPartZonesView::cardBoxes() const {
    const double cardW = (width() - kSpacing) / 2;
    const double cardH = cardHeight();
    std::array<QRectF, 4> boxes;
    for (int i = 0; i < 4; ++i)
        boxes[size_t(i)] =
            QRectF((i % 2) * (cardW + kSpacing), (i / 2) * (cardH + kSpacing), cardW, cardH);
    return boxes;
}

int DayPartZonesView::currentCard() const {
    const auto& parts = L::dayParts();
    int current = -1;
    for (int i = 0; i < int(parts.size()) && i < 4; ++i)
        if (isCurrentZone(parts[size_t(i)])) current = i;
    return current;
}

L::ZoneWarmth DayPartZonesView::zoneWarmth(const QString& id) const {
    return m_zoneWarmth.value(id, L::ZoneWarmth{});
}

bool DayPartZonesView::isCurrentZone(const L::DayPart& part) const {
    return L::isCurrentZone(part, m_currentHour);
}

QString DayPartZonesView::modeCaption() const {
    if (m_model.autoSunset())
        return QStringLiteral("Following the sun — zones show today's warmth at your location");
    if (m_model.useSchedule())
        return QStringLiteral("Custom schedule active — zones show your warmth curve");
    return QStringLiteral("Manual mode — turn on a schedule below to bring the zones to life");
}

void DayPartZonesView::showEvent(QShowEvent*) {
    refreshZones();
}

double DayPartZonesView::cardHeight() const {
    return 2 * kPadding + lineHeight(face(13, QFont::DemiBold)) + kRowSpacing +
           lineHeight(face(10, QFont::Medium)) + kRowSpacing + lineHeight(face(20, QFont::Bold)) +
           kRowSpacing + kBarHeight;
}

double DayPartZonesView::captionHeight() const {
    return lineHeight(face(10));
}

int DayPartZonesView::heightForWidth(int) const {
    return int(std::ceil(2 * cardHeight() + 2 * kSpacing + captionHeight()));
}

QSize DayPartZonesView::sizeHint() const {
    return {504, heightForWidth(504)};
}

void DayPartZonesView::paintCard(QPainter& p, const QRectF& box, const L::DayPart& part) const {
    const L::ZoneWarmth w = zoneWarmth(part.id);
    const QColor zone = colour(L::zoneColorForKelvin(w.avg));
    const bool current = isCurrentZone(part);
    if (current) {
        QColor edge = zone;
        edge.setAlphaF(0.45f);
        GlassPainter::strokeInside(p, box, 12, edge, 1.0);
    }

    const double x = box.left() + kPadding;
    double y = box.top() + kPadding;
    const QFont nameFont = face(13, QFont::DemiBold);
    const double headerH = lineHeight(nameFont);
    ScheduleGlyphs::draw(p, part.icon, QRectF(x, y + (headerH - 12) / 2, 12, 12), zone);
    const QRectF name = paintText(p, part.name, nameFont, kTextPrimary, {x + 12 + 6, y});
    if (current) {
        const QFont badgeFont = face(9, QFont::Bold);
        const QFontMetricsF m(badgeFont);
        const QRectF badge(name.right() + 6, y + (headerH - m.height() - 4) / 2,
                           m.horizontalAdvance(QStringLiteral("Now")) + 12, m.height() + 4);
        QColor fill = zone;
        fill.setAlphaF(0.55f);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawRoundedRect(badge, badge.height() / 2, badge.height() / 2);
        paintCentredText(p, QStringLiteral("Now"), badgeFont, Qt::white, badge.center());
    }
    y += headerH + kRowSpacing;

    const QFont hoursFont = face(10, QFont::Medium);
    paintText(p,
              L::hourString(part.startHour) + QStringLiteral(" – ") + L::hourString(part.endHour),
              hoursFont, kTextDim, {x, y});
    y += lineHeight(hoursFont) + kRowSpacing;

    const QFont figureFont = face(20, QFont::Bold);
    const QFont bandFont = face(10, QFont::Medium);
    const QRectF figure = paintText(p, L::kelvinString(w.avg), figureFont, kTextPrimary, {x, y});
    // The band name shares the figure's baseline.
    const double baseline = y + QFontMetricsF(figureFont).ascent();
    paintText(p, ScheduleCurve::bandLabel(w.avg), bandFont, kTextDim,
              {figure.right() + 6, baseline - QFontMetricsF(bandFont).ascent()});
    y += lineHeight(figureFont) + kRowSpacing;

    const QRectF bar(x, y, box.width() - 2 * kPadding, kBarHeight);
    QLinearGradient g(bar.topLeft(), bar.topRight());
    g.setColorAt(0, colour(L::zoneColorForKelvin(w.start)));
    g.setColorAt(0.5, zone);
    g.setColorAt(1, colour(L::zoneColorForKelvin(w.end)));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(bar, 2.5, 2.5);
}

void DayPartZonesView::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double cardH = cardHeight();
    const auto& parts = L::dayParts();
    const std::array<QRectF, 4> boxes = cardBoxes();
    const int current = currentCard();
    // The blur, the glass and the plain edges are most of a card's cost and depend only
    // on the boxes and which card is current.
    m_shadows.draw(
        p, size(), current,
        [&](QPainter& sp) {
            for (const QRectF& box : boxes)
                GlassPainter::paintShadow(sp, GlassPainter::continuousRoundedRect(box, 12),
                                          GlassPainter::black(0.12), 2, QPointF(0, 1));
        },
        [&](QPainter& gp) {
            for (int i = 0; i < 4; ++i) {
                GlassPainter::paintMaterial(gp, GlassPainter::continuousRoundedRect(boxes[i], 12),
                                            GlassPainter::Backdrop::translucent);
                // The current card's edge wears its zone's colour, which moves with the plan.
                if (i != current)
                    GlassPainter::strokeInside(gp, boxes[size_t(i)], 12, white(0.15), 0.5);
            }
        });
    for (size_t i = 0; i < parts.size() && i < 4; ++i) {
        if (!e->region().intersects(boxes[i].toAlignedRect())) continue;
        const L::ZoneWarmth w = zoneWarmth(parts[i].id);
        const size_t key = qHashMulti(0, w.avg, w.start, w.end, int(i) == current);
        m_cards[i].draw(p, boxes[i], key, [&](QPainter& cp) { paintCard(cp, boxes[i], parts[i]); });
    }
    const double y = 2 * cardH + 2 * kSpacing;
    const double h = captionHeight();
    const QRectF caption(0, y, width(), h);
    if (!e->region().intersects(caption.toAlignedRect())) return;
    const QString text = modeCaption();
    m_caption.draw(p, caption, qHash(text), [&](QPainter& cp) {
        const QString icon = m_model.autoSunset()    ? QStringLiteral("location.fill")
                             : m_model.useSchedule() ? QStringLiteral("clock.fill")
                                                     : QStringLiteral("hand.raised.fill");
        ScheduleGlyphs::draw(cp, icon, QRectF(0, y + (h - 9) / 2, 9, 9), kTextDim);
        paintText(cp, text, face(10), kTextDim, {9 + 4, y});
    });
}
