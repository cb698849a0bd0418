#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>

class QTimer;

// The XDR boost: a window drawing one colour above reference white on displays with
// extended-range headroom. Unavailable in this release: nothing creates the window;
// what exists is the teardown, the confirmation, the emergency reset and the gain
// rule, so that any state ends inactive. Main thread only.
class XDRBoostController : public QObject {
    Q_OBJECT
public:
    explicit XDRBoostController(QObject* parent = nullptr);
    ~XDRBoostController() override;

    // The gain for a strength (0..1) on a display with this headroom: at most 1.5 and
    // 90 % of the headroom, never below 1.0.
    static float computeGain(double strength, float headroom);

    void deactivate();
    void confirmBoost();
    void emergencyReset(const QString& reason);

    bool hasWindow() const { return !m_window.isNull(); }
    bool awaitingConfirmation() const { return m_awaitingConfirmation; }
    // The boost view, when a window holds one (a widget; the view floor knows its type).
    QObject* boostView() const { return m_view.data(); }

    // For the view floor, should activation ever exist: adopt a window and its view.
    void adoptWindow(QObject* window, QObject* view, bool awaitingConfirmation);

private:
    QPointer<QObject> m_window;
    QPointer<QObject> m_view;
    std::unique_ptr<QTimer> m_watchdogTimer;
    std::unique_ptr<QTimer> m_deadMansTimer;
    bool m_awaitingConfirmation = false;
};
