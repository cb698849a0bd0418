#pragma once

#include <QJsonObject>
#include <QObject>
#include <functional>
#include <optional>

class DitheringControl;

// Switches the displays' dithering off while the tint is on (when the user asks for
// it) and gives back exactly the settings the displays had. The settings found before
// the first switch-off are written to the state folder first, so a restart after a
// crash gives them back too. Where no output offers a dithering setting every call is
// a no-op, said once in the log. Main thread only.
class DitheringController : public QObject {
    Q_OBJECT
public:
    static inline const QString stateFile = QStringLiteral("dithering.json");
    static constexpr int reapplyDelayMs = 1000;
    using ControlProvider = std::function<DitheringControl*()>;

    static DitheringController& shared();
    explicit DitheringController(ControlProvider control = {}, QObject* parent = nullptr);
    ~DitheringController() override;

    // Off keeps the displays' own settings first; on is the driver's automatic choice.
    void setDithering(bool enabled);
    // Puts back the settings kept before the first switch-off; nothing when none.
    void restore();
    // Re-applies the setting a second after every reconfiguration that added a display
    // or changed the main one.
    void registerDisplayCallback();
    bool displayCallbackRegistered() const { return m_callbackRegistered; }
    // At launch: settings a killed run left changed go back, unless the tint is
    // about to change them again (then they stay the ones to give back).
    void restoreStaleState();
    // The reconfiguration callback's work.
    void reapplyAfterReconfiguration();

private:
    DitheringControl* control();

    ControlProvider m_control;
    std::optional<QJsonObject> m_saved;
    bool m_callbackRegistered = false;
    bool m_unavailableReported = false;
};
