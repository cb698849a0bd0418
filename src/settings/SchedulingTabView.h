#pragma once

#include <QColor>
#include <QWidget>
#include <memory>

class QAbstractButton;
class QLabel;
class QTimer;
class DayPartZonesView;
class SchedulePointListView;
class SchedulingVisualizerView;
class ScheduleSettingsModel;
class SoundCueEngine;
class SunsetScheduler;
class ToggleSwitch;

// The "Scheduling" section: how the warmth is driven. The day-part zones of the
// current plan, the two exclusive mode switches ("Follow the Sun", "Custom
// Schedule"), the point list while the custom schedule is on, and a collapsible
// "Fine-Tune Curve" panel holding the schedule visualiser. It stores nothing itself:
// every change goes through the model. Flipping a switch plays its cue.
class SchedulingTabView : public QWidget {
    Q_OBJECT
public:
    SchedulingTabView(ScheduleSettingsModel& model, const QColor& accent,
                      QWidget* parent = nullptr);
    SchedulingTabView(ScheduleSettingsModel& model, const QColor& accent,
                      SunsetScheduler& scheduler, SoundCueEngine& cues, QWidget* parent = nullptr);
    // Over a model of its own (the snapshot road, which has no settings window).
    SchedulingTabView(std::unique_ptr<ScheduleSettingsModel> model, const QColor& accent,
                      QWidget* parent = nullptr);
    ~SchedulingTabView() override;

    // The custom row's subtitle while the custom schedule is on.
    QString scheduleStatusLine() const;

    bool showFineTuneCurve() const { return m_showFineTuneCurve; }
    void setShowFineTuneCurve(bool open);

    ToggleSwitch* sunSwitch() const { return m_sunSwitch; }
    ToggleSwitch* customSwitch() const { return m_customSwitch; }
    QAbstractButton* fineTuneButton() const { return m_fineTuneButton; }
    SchedulePointListView* pointList() const { return m_pointList; }
    SchedulingVisualizerView* visualizer() const { return m_visualizer; }
    DayPartZonesView* zones() const { return m_zones; }
    QString customSubtitle() const;

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    void build();
    void sync();

    std::unique_ptr<ScheduleSettingsModel> m_ownedModel;
    ScheduleSettingsModel& m_model;
    QColor m_accent;
    SunsetScheduler& m_scheduler;
    SoundCueEngine& m_cues;
    bool m_showFineTuneCurve = false;
    DayPartZonesView* m_zones = nullptr;
    ToggleSwitch* m_sunSwitch = nullptr;
    ToggleSwitch* m_customSwitch = nullptr;
    QLabel* m_customSubtitle = nullptr;
    QWidget* m_pointListHolder = nullptr;
    SchedulePointListView* m_pointList = nullptr;
    QAbstractButton* m_fineTuneButton = nullptr;
    QWidget* m_advancedCard = nullptr;
    SchedulingVisualizerView* m_visualizer = nullptr;
    QTimer* m_minuteTimer = nullptr;
};
