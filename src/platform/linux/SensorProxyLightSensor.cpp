#include "platform/linux/SensorProxyLightSensor.h"

#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <cmath>

namespace {
const QString kService = QStringLiteral("net.hadess.SensorProxy");
const QString kPath = QStringLiteral("/net/hadess/SensorProxy");
const QString kInterface = QStringLiteral("net.hadess.SensorProxy");
// A poll on the main thread must not hang on a stuck service.
constexpr int kTimeoutMs = 500;
} // namespace

SensorProxyLightSensor::SensorProxyLightSensor(QDBusConnection bus) : m_bus(std::move(bus)) {}

SensorProxyLightSensor::~SensorProxyLightSensor() {
    if (!m_claimed || !m_bus.isConnected()) return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("ReleaseLight"));
    m_bus.call(call, QDBus::Block, kTimeoutMs);
}

QVariant SensorProxyLightSensor::property(const QString& name) const {
    QDBusMessage call = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << kInterface << name;
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, kTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return reply.arguments().first().value<QDBusVariant>().variant();
}

bool SensorProxyLightSensor::open() {
    if (!m_bus.isConnected()) return false;
    if (!property(QStringLiteral("HasAmbientLight")).toBool()) return false;
    if (!m_claimed) {
        QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                           QStringLiteral("ClaimLight"));
        const QDBusMessage reply = m_bus.call(call, QDBus::Block, kTimeoutMs);
        m_claimed = reply.type() == QDBusMessage::ReplyMessage;
    }
    return m_claimed;
}

std::optional<double> SensorProxyLightSensor::readLux() {
    if (!m_claimed) return std::nullopt;
    if (property(QStringLiteral("LightLevelUnit")).toString() != QLatin1String("lux"))
        return std::nullopt;
    bool ok = false;
    const double lux = property(QStringLiteral("LightLevel")).toDouble(&ok);
    if (!ok || !std::isfinite(lux) || lux < 0) return std::nullopt;
    return lux;
}
