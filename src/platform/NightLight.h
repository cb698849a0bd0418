#pragma once

#include <QJsonObject>
#include <QString>
#include <optional>

// The desktop's own warm-screen feature. The application switches it off while its
// tint is on and puts it back afterwards.
class NightLight {
public:
    struct State {
        bool enabled = false;
        float strength = 0; // 0..1; 0 when the desktop has no such setting
    };
    virtual ~NightLight() = default;
    virtual QString name() const = 0;
    // The desktop offers the feature here.
    virtual bool isAvailable() = 0;
    // None when the state cannot be read.
    virtual std::optional<State> state() = 0;
    // False when the desktop refused or could not be reached.
    virtual bool setEnabled(bool on) = 0;
    // Backends without a strength setting accept and ignore it.
    virtual bool setStrength(float strength) {
        (void)strength;
        return true;
    }
    // What putting the feature back needs after a restart (an inhibition cookie, say),
    // kept with the saved state; adopted again before the restore.
    virtual QJsonObject handle() const { return {}; }
    virtual void adoptHandle(const QJsonObject& handle) { (void)handle; }
};

// The display's automatic white-point adaptation. Linux has none; the simulated
// client stands in for tests and reports itself unsupported elsewhere.
class TrueToneClient {
public:
    virtual ~TrueToneClient() = default;
    virtual bool supported() = 0;
    virtual bool enabled() = 0;
    virtual void setEnabled(bool on) = 0;
};
