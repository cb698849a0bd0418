#pragma once

#include "brightness/ValueRampEngine.h"

#include <QList>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

// What the on-screen display shows; the panel's view observes it.
class OSDState : public QObject {
    Q_OBJECT
public:
    double percentage() const { return m_percentage; }
    OSDMode mode() const { return m_mode; }
    bool isVisible() const { return m_isVisible; }
    // The still border instead of the animated one; set when the CPU watchdog
    // throttles and never reset within a run.
    bool animationsStilled() const { return m_animationsStilled; }

    void setPercentage(double v);
    void setMode(OSDMode m);
    void setVisible(bool v);
    void setAnimationsStilled(bool v);

signals:
    void changed();

private:
    double m_percentage = 1.0;
    OSDMode m_mode = OSDMode::brightness;
    bool m_isVisible = false;
    bool m_animationsStilled = false;
};

// The window the display shows itself in (a view). Coordinates are global, top-left.
class OSDPanel {
public:
    virtual ~OSDPanel() = default;
    virtual void moveTo(QPoint origin) = 0;
    virtual void orderFront() = 0;
    virtual void orderOut() = 0;
    virtual bool isDragging() const = 0;
};

// The screens as the display sees them: the main one (none without screens) and all.
struct OSDScreens {
    std::optional<QRect> main;
    QList<QRect> all;
};

// The brightness and warmth display shared by both ramps: brought up by each key
// step at its stored place, hidden 1.5 s after the last step or drag.
class BrightnessOSD : public QObject, public RampReadout {
    Q_OBJECT
public:
    static constexpr QSize panelSize{300, 60};
    static constexpr int dismissMs = 1500;

    using PanelFactory = std::function<std::unique_ptr<OSDPanel>(OSDState&)>;
    BrightnessOSD(PanelFactory makePanel, std::function<OSDScreens()> screens);
    ~BrightnessOSD() override;

    void show(double target, double displayedFraction, OSDMode mode) override;
    void updateDisplayed(double fraction) override;

    OSDState& osdState() { return m_state; }
    OSDPanel* panel() const { return m_panel.get(); }
    bool dismissPending() const { return m_dismissTimer.isActive(); }

    // Where the panel opens: the stored origin ("halcyra.osdPosition", a JSON string
    // {"x":…,"y":…}) when it is whole and lies on a screen, else centred on the main
    // screen with its bottom edge 15 % of the height below the top.
    static QPoint origin(const std::optional<QString>& stored, const OSDScreens& screens);
    static QPoint defaultOrigin(const OSDScreens& screens);

private:
    void scheduleDismiss();

    OSDState m_state;
    PanelFactory m_makePanel;
    std::function<OSDScreens()> m_screens;
    std::unique_ptr<OSDPanel> m_panel;
    QTimer m_dismissTimer;
};
