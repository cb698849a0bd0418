#pragma once

#include "insights/ScheduleViewLogic.h"
#include "settings/PaintCache.h"
#include "settings/ShadowLayer.h"

#include <array>

#include <QHash>
#include <QTimer>
#include <QWidget>

class ScheduleSettingsModel;
class SunsetScheduler;

// The active warmth plan as four cards, one per part of the day (daytime, afternoon,
// evening, night): hours, average warmth with its band and a small gradient of how
// the warmth moves through the zone; the current part wears a "Now" badge. A caption
// underneath names the mode that drives the plan. Refreshes when shown, once a
// minute and whenever a displayed setting changes; the caption follows the model.
class DayPartZonesView : public QWidget {
    Q_OBJECT
public:
    static constexpr int updateIntervalMs = 60'000;

    explicit DayPartZonesView(ScheduleSettingsModel& model, QWidget* parent = nullptr);
    DayPartZonesView(ScheduleSettingsModel& model, SunsetScheduler& scheduler,
                     QWidget* parent = nullptr);
    ~DayPartZonesView() override;

    void refreshZones();
    // (avg, start, end) of a zone; all 6500 K before the first refresh.
    ScheduleViewLogic::ZoneWarmth zoneWarmth(const QString& id) const;
    double currentHour() const { return m_currentHour; }
    bool isCurrentZone(const ScheduleViewLogic::DayPart& part) const;
    QString modeCaption() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {300, heightForWidth(300)}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int w) const override;

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;

private:
    void paintCard(QPainter& p, const QRectF& box, const ScheduleViewLogic::DayPart& part) const;
    std::array<QRectF, 4> cardBoxes() const;
    int currentCard() const;
    double cardHeight() const;
    double captionHeight() const;

    ScheduleSettingsModel& m_model;
    SunsetScheduler& m_scheduler;
    QHash<QString, ScheduleViewLogic::ZoneWarmth> m_zoneWarmth;
    double m_currentHour = 12.0;
    QTimer m_updateTimer;
    ShadowLayer m_shadows;
    // Each card's text, badge and bar, and the caption: painted again only when what
    // they show changes, so a drag that moves one zone repaints that card alone.
    std::array<PaintCache, 4> m_cards;
    PaintCache m_caption;
    int m_shownMode = -1;
};
