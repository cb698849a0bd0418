#pragma once

#include "platform/NightLight.h"

#include <QDBusConnection>
#include <functional>
#include <memory>
#include <optional>

// GNOME's night light, touched only where GNOME's colour daemon, which runs it, owns
// its name on the session bus. The setting itself (GSettings, from the service module)
// is opened only then: elsewhere GLib's threads never start, and a session without a
// bus never sees GLib try to launch one for a setting nobody reads.
class GnomeNightLight final : public NightLight {
public:
    static inline const char* colorServiceName = "org.gnome.SettingsDaemon.Color";
    // The session bus, asked for at each question until the daemon is found; none where
    // the session has no bus.
    using BusProvider = std::function<std::optional<QDBusConnection>()>;
    // GNOME's night-light setting; null where it cannot be had.
    using SettingFactory = std::function<std::unique_ptr<NightLight>()>;

    explicit GnomeNightLight(BusProvider bus = &sessionBusIfAny,
                             SettingFactory setting = &moduleSetting);
    ~GnomeNightLight() override;

    QString name() const override { return QStringLiteral("GNOME night light"); }
    bool isAvailable() override { return setting() != nullptr; }
    std::optional<State> state() override;
    bool setEnabled(bool on) override;

    // The session bus where the environment names one (or the runtime folder holds its
    // socket); none otherwise, so that nothing tries to launch one.
    static std::optional<QDBusConnection> sessionBusIfAny();
    static std::unique_ptr<NightLight> moduleSetting();

private:
    bool colorDaemonRuns() const;
    NightLight* setting();

    BusProvider m_bus;
    SettingFactory m_makeSetting;
    std::unique_ptr<NightLight> m_setting;
};
