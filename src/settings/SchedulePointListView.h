#pragma once

#include "settings/PaintCache.h"

#include <QColor>
#include <QList>
#include <QUuid>
#include <QWidget>
#include <functional>

class QAbstractButton;
class ScheduleSettingsModel;

// The points of the user's custom schedule, one row each with its time and kelvin in
// the stored order, a remove button per row while three or more remain, an "Add
// Point" button while fewer than six exist, and a hint that points are moved on the
// curve. Every edit goes through the model, which stores it, then `onChanged` runs.
class SchedulePointListView : public QWidget {
    Q_OBJECT
public:
    static constexpr int minimumForRemoval = 3;
    static constexpr int maximumPoints = 6;

    SchedulePointListView(ScheduleSettingsModel& model, std::function<void()> onChanged,
                          const QColor& accent, QWidget* parent = nullptr);

    void addPoint();
    void removePoint(const QUuid& id);

    // The buttons as they stand (for keyboard users and tests).
    QList<QAbstractButton*> removeButtons() const { return m_removeButtons; }
    QAbstractButton* addButton() const { return m_addButton; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    void rebuild();
    void placeButtons();
    double rowHeight() const;
    void paintRows(QPainter& p) const;

    ScheduleSettingsModel& m_model;
    std::function<void()> m_onChanged;
    QColor m_accent;
    QList<QAbstractButton*> m_removeButtons;
    QAbstractButton* m_addButton;
    PaintCache m_rows; // the rows' words and the hint, painted again when a point moves
};
