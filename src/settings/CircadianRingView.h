#pragma once

#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <vector>

class SunsetScheduler;
class Preferences;

// Today's warmth plan as a 24-hour ring: one coloured segment per five minutes
// (midnight at the top, clockwise), hour ticks and labels, a glowing marker at the
// current time and, in the middle, the warmth the plan gives now. Read-only; refreshes
// when shown, once a minute while its window is visible, when the window becomes
// visible and whenever a displayed setting changes. The ring fills the area its host
// offers (the widget less `labelMargin` on each side); the hour labels sit just outside
// the ring, in that margin, so a host sizes the widget at its area plus the margins.
class CircadianRingView : public QWidget {
    Q_OBJECT
public:
    static constexpr int segmentCount = 288;
    static constexpr int minuteIntervalMs = 60'000;
    // Room kept around the ring for the hour labels.
    static constexpr double labelMargin = 18.0;

    explicit CircadianRingView(bool isWindowVisible, QWidget* parent = nullptr);
    CircadianRingView(bool isWindowVisible, SunsetScheduler& scheduler, QWidget* parent = nullptr);
    ~CircadianRingView() override;

    void setWindowVisible(bool visible);
    bool isWindowVisible() const { return m_windowVisible; }

    void refresh();
    const std::vector<double>& samples() const { return m_samples; }
    double currentFractionalHour() const { return m_currentHour; }
    // The sample under the marker, 0 without samples.
    double currentSample() const;
    // The centre's figure and band name.
    double centreKelvin() const;
    // The host's area and the ring's outer radius in it: min(width, height) / 2 − 2.
    QRectF ringArea() const;
    double ringRadius() const;

    QSize sizeHint() const override { return {224, 224}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int w) const override { return w; }

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;

private:
    void renderSegments(double side, qreal dpr);

    SunsetScheduler& m_scheduler;
    bool m_windowVisible;
    std::vector<double> m_samples;
    double m_currentHour = 0;
    QTimer m_minuteTimer;
    QPixmap m_segments; // the segment layer for the current samples and size
};
