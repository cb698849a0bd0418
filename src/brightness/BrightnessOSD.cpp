#include "brightness/BrightnessOSD.h"

#include "core/NotificationCenter.h"
#include "core/NotificationNames.h"
#include "core/Preferences.h"
#include "core/UserDefaults.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>

void OSDState::setPercentage(double v) {
    if (m_percentage == v) return;
    m_percentage = v;
    emit changed();
}

void OSDState::setMode(OSDMode m) {
    if (m_mode == m) return;
    m_mode = m;
    emit changed();
}

void OSDState::setVisible(bool v) {
    if (m_isVisible == v) return;
    m_isVisible = v;
    emit changed();
}

void OSDState::setAnimationsStilled(bool v) {
    if (m_animationsStilled == v) return;
    m_animationsStilled = v;
    emit changed();
}

BrightnessOSD::BrightnessOSD(PanelFactory makePanel, std::function<OSDScreens()> screens)
    : m_makePanel(std::move(makePanel)), m_screens(std::move(screens)) {
    m_dismissTimer.setSingleShot(true);
    m_dismissTimer.setInterval(dismissMs);
    connect(&m_dismissTimer, &QTimer::timeout, this, [this] {
        m_state.setVisible(false);
        if (m_panel) m_panel->orderOut();
    });
    NotificationCenter& center = NotificationCenter::defaultCenter();
    center.addObserver(this, NotificationName::osdDragBegan,
                       [this](const Notification&) { m_dismissTimer.stop(); });
    center.addObserver(this, NotificationName::osdDragEnded,
                       [this](const Notification&) { scheduleDismiss(); });
}

BrightnessOSD::~BrightnessOSD() {
    NotificationCenter::defaultCenter().removeObserver(this);
}

QPoint BrightnessOSD::defaultOrigin(const OSDScreens& screens) {
    if (!screens.main) return {100, 600};
    const QRect& f = *screens.main;
    return {int(std::lround(f.x() + f.width() / 2.0 - panelSize.width() / 2.0)),
            int(std::lround(f.y() + 0.15 * f.height() - panelSize.height()))};
}

QPoint BrightnessOSD::origin(const std::optional<QString>& stored, const OSDScreens& screens) {
    if (!stored) return defaultOrigin(screens);
    const QJsonDocument doc = QJsonDocument::fromJson(stored->toUtf8());
    const QJsonObject o = doc.object();
    if (!doc.isObject() || !o.value(QStringLiteral("x")).isDouble() ||
        !o.value(QStringLiteral("y")).isDouble())
        return defaultOrigin(screens);
    const QPoint at(int(std::lround(o.value(QStringLiteral("x")).toDouble())),
                    int(std::lround(o.value(QStringLiteral("y")).toDouble())));
    // A place on a monitor that has since gone would open the panel where nobody sees
    // it: it comes back onto the main screen (the stored place stays for that monitor).
    if (!screens.all.isEmpty()) {
        const QRect frame(at, panelSize);
        const bool onScreen = std::any_of(screens.all.begin(), screens.all.end(),
                                          [&](const QRect& s) { return s.intersects(frame); });
        if (!onScreen) return defaultOrigin(screens);
    }
    return at;
}

void BrightnessOSD::show(double, double displayedFraction, OSDMode mode) {
    m_dismissTimer.stop();
    m_state.setMode(mode);
    m_state.setPercentage(displayedFraction);
    if (!m_panel && m_makePanel) m_panel = m_makePanel(m_state);
    const OSDScreens screens = m_screens ? m_screens() : OSDScreens{};
    if (m_panel)
        m_panel->moveTo(
            origin(UserDefaults::standard().stringValue(PrefKey::osdPosition), screens));
    m_state.setVisible(true);
    if (m_panel) m_panel->orderFront();
    if (!m_panel || !m_panel->isDragging()) scheduleDismiss();
}

void BrightnessOSD::updateDisplayed(double fraction) {
    m_state.setPercentage(fraction);
}

void BrightnessOSD::scheduleDismiss() {
    m_dismissTimer.start();
}
