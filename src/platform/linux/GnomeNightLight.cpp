#include "platform/linux/GnomeNightLight.h"

#include "platform/linux/LinuxServiceModule.h"
#include "platform/linux/services/ServiceModule.h"

#include <QDBusConnectionInterface>
#include <QFileInfo>

GnomeNightLight::GnomeNightLight(BusProvider bus, SettingFactory setting)
    : m_bus(std::move(bus)), m_makeSetting(std::move(setting)) {}

GnomeNightLight::~GnomeNightLight() = default;

std::optional<QDBusConnection> GnomeNightLight::sessionBusIfAny() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") &&
        (runtime.isEmpty() || !QFileInfo(runtime + QStringLiteral("/bus")).exists()))
        return std::nullopt;
    return QDBusConnection::sessionBus();
}

std::unique_ptr<NightLight> GnomeNightLight::moduleSetting() {
    ServiceModule* module = LinuxServiceModule::get(ServiceModule::Part::gnome);
    return module ? module->makeGnomeNightLightSetting() : nullptr;
}

bool GnomeNightLight::colorDaemonRuns() const {
    const std::optional<QDBusConnection> bus = m_bus ? m_bus() : std::nullopt;
    if (!bus || !bus->isConnected() || !bus->interface()) return false;
    return bus->interface()->isServiceRegistered(QString::fromLatin1(colorServiceName));
}

NightLight* GnomeNightLight::setting() {
    if (!m_setting) {
        // Asked again next time: GNOME's daemon may start after us.
        if (!colorDaemonRuns() || !m_makeSetting) return nullptr;
        m_setting = m_makeSetting();
        if (!m_setting) return nullptr;
    }
    return m_setting->isAvailable() ? m_setting.get() : nullptr;
}

std::optional<NightLight::State> GnomeNightLight::state() {
    NightLight* s = setting();
    return s ? s->state() : std::nullopt;
}

bool GnomeNightLight::setEnabled(bool on) {
    NightLight* s = setting();
    return s && s->setEnabled(on);
}
