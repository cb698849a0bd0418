#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class NightLight;
class TrueToneClient;

// Keeps the desktop's night light and the display's True Tone from fighting the tint:
// switches them off while the tint is on and puts them back exactly as the user had
// them. What was switched off is written to the state folder first, so a restart
// after a crash still puts it back, once. Main thread only.
class NightShiftController : public QObject {
    Q_OBJECT
public:
    static inline const QString nightLightStateFile = QStringLiteral("night-light.json");
    static inline const QString trueToneStateFile = QStringLiteral("true-tone.json");

    using NightLightProvider = std::function<std::vector<std::shared_ptr<NightLight>>()>;
    using TrueToneProvider = std::function<TrueToneClient*()>;

    static NightShiftController& shared();
    explicit NightShiftController(NightLightProvider nightLights = {},
                                  TrueToneProvider trueTone = {}, QObject* parent = nullptr);
    ~NightShiftController() override;

    // The night light in use (the first the desktop offers); null when none. Chosen
    // again when the one in use went with the platform that offered it.
    std::shared_ptr<NightLight> nightLightClient();
    void readNightShiftState();
    void disableNightShift();
    void restoreNightShift();

    void readTrueToneState();
    void setTrueTone(bool enabled);
    void suppressTrueTone();
    void restoreTrueTone();

    // At launch: a state a killed run left switched off goes back, unless the tint is
    // about to switch it off again (then the saved state is adopted at that point).
    void restoreStaleStates();

    bool nightShiftEnabled() const { return m_nightShiftEnabled; }
    float nightShiftStrength() const { return m_nightShiftStrength; }
    bool nightShiftSuppressed() const { return m_nightShiftSuppressed; }
    bool trueToneSupported() const { return m_trueToneSupported; }
    bool trueToneEnabled() const { return m_trueToneEnabled; }
    bool trueToneSuppressed() const { return m_trueToneSuppressed; }

signals:
    void stateChanged();

private:
    NightLightProvider m_nightLights;
    TrueToneProvider m_trueToneProvider;
    std::weak_ptr<NightLight> m_nightLight;
    bool m_nightLightChosen = false;

    bool m_nightShiftEnabled = false;
    float m_nightShiftStrength = 0;
    bool m_savedNightShiftEnabled = false;
    float m_savedNightShiftStrength = 0;
    bool m_nightShiftSuppressed = false;

    bool m_trueToneSupported = false;
    bool m_trueToneEnabled = false;
    bool m_savedTrueToneEnabled = false;
    bool m_trueToneSuppressed = false;
};
