#pragma once

#include "insights/ScheduleViewLogic.h"
#include "settings/PaintCache.h"

#include <QPixmap>
#include <QTimer>
#include <QUuid>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class FrameTimer;
class ScheduleSettingsModel;
class SunsetScheduler;

// The "Schedule Preview" card: one day from midnight to midnight as a sun arc over a
// horizon, the warmth the schedule gives at every moment as a curve in a band below
// it, a breathing marker at the current time, the schedule's points as handles the
// user drags (left and right in five-minute steps, up and down between 6500 K and
// 1800 K), a status sentence, a caption naming the mode and a "Now:" label. What it
// draws is the schedule engine's preview of the stored settings.
//
// A handle can also be selected with a click and moved with the arrow keys: five
// minutes left and right, 100 K up and down.
class SchedulingVisualizerView : public QWidget {
    Q_OBJECT
public:
    static constexpr int sampleCount = 288;
    static constexpr int updateIntervalMs = 60'000;
    static constexpr double padding = 14;
    static constexpr double dragThreshold = 10;
    static constexpr double handleHitRadius = 16;
    static constexpr double pulsePeriod = 1.2; // s each way
    static constexpr double pulseSettle = 0.2; // s to rest

    explicit SchedulingVisualizerView(ScheduleSettingsModel& model, QWidget* parent = nullptr);
    SchedulingVisualizerView(ScheduleSettingsModel& model, SunsetScheduler& scheduler,
                             std::unique_ptr<FrameTimer> pulseTimer, QWidget* parent = nullptr);
    ~SchedulingVisualizerView() override;

    void refreshSamples();
    void setMarkerPulse(bool on);

    const std::vector<ScheduleViewLogic::IntensitySample>& samples() const { return m_samples; }
    double currentHour() const { return m_currentHour; }
    double currentIntensity() const { return m_currentIntensity; }
    double pulse() const { return m_pulse; } // 0 at rest, 1 at the top of a breath
    std::optional<QUuid> draggingPointId() const { return m_draggingId; }
    std::optional<QUuid> selectedPointId() const { return m_selectedId; }

    ScheduleViewLogic::SunHours sunHours() const;
    QString statusSentenceText() const;
    QString captionLine() const;
    // The drawing area in the view's coordinates, and its geometry.
    QRectF drawingArea() const;
    ScheduleViewLogic::VisualiserGeometry geometry() const;

    // One step of a handle's drag to `areaPoint` (drawing-area coordinates), and its end.
    void dragChanged(const QUuid& id, QPointF areaPoint);
    void dragEnded();

    QSize sizeHint() const override { return {504, heightForWidth(504)}; }
    QSize minimumSizeHint() const override { return {240, heightForWidth(240)}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int w) const override;

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;

private:
    // Tops of the card's rows for the current fonts.
    struct Rows {
        double header, times, area, status, caption, state, bottom;
    };
    Rows rows() const;
    double statusHeight() const;
    void pulseTick();
    void paintChrome(QPainter& p, const QString& sunriseTime, const QString& sunsetTime);
    void paintWords(QPainter& p, const Rows& row, const QString& statusText,
                    const QString& captionText, const QString& stateText);
    void paintArea(QPainter& p, const QRectF& area);
    // The arc with its fills and the sky symbols, for the sun's hours; the curve.
    void renderSkyLayers(const QRectF& area, qreal dpr, const ScheduleViewLogic::SunHours& sun);
    // The curve whole, or only across the samples that moved since it was last drawn.
    void renderCurveLayer(const QRectF& area, qreal dpr, bool whole);
    void paintMarker(QPainter& p, const QRectF& area) const;
    void paintHandles(QPainter& p, const QRectF& area) const;
    QRectF markerRect() const;
    std::optional<QUuid> handleAt(QPointF pos) const;
    bool handlesShown() const;

    ScheduleSettingsModel& m_model;
    SunsetScheduler& m_scheduler;
    std::unique_ptr<FrameTimer> m_pulseTimer;
    std::vector<ScheduleViewLogic::IntensitySample> m_samples;
    double m_currentHour = 0;
    int m_laidOutHeight = -1;
    double m_currentIntensity = 0;
    bool m_pulseOn = false;
    double m_pulseTime = 0; // seconds into the breathing
    double m_pulse = 0;
    std::optional<QUuid> m_draggingId;
    std::optional<QUuid> m_pressedId; // pressed, not yet moved past the threshold
    std::optional<QUuid> m_selectedId;
    QPointF m_pressPos;
    QTimer m_updateTimer;
    // The still parts for the current samples and size, kept apart so the marker and the
    // handles go between them: arc with its fills and labels, the curve, the sky symbols.
    enum { arcLayer, curveLayer, skyLayer };
    std::array<QPixmap, 3> m_layers;
    std::pair<double, double> m_layerSun;            // the sunrise and sunset the sky was drawn for
    std::optional<std::pair<int, int>> m_curveMoved; // samples moved since the curve was drawn
    PaintCache m_chrome;                             // the card and its titles
    PaintCache m_words;                              // the sentences under the drawing
};
