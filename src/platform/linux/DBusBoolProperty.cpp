#include "platform/linux/DBusBoolProperty.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace {
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
}

DBusBoolProperty::DBusBoolProperty(const QDBusConnection& bus, const QString& service,
                                   const QString& path, const QString& interface,
                                   const QString& property, QObject* parent)
    : QObject(parent), m_bus(bus), m_service(service), m_path(path), m_interface(interface),
      m_property(property) {
    if (!m_bus.isConnected()) return;
    m_watcher.setConnection(m_bus);
    m_watcher.addWatchedService(m_service);
    m_watcher.setWatchMode(QDBusServiceWatcher::WatchForRegistration |
                           QDBusServiceWatcher::WatchForUnregistration);
    connect(&m_watcher, &QDBusServiceWatcher::serviceRegistered, this, [this] { fetch(); });
    connect(&m_watcher, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        ++m_generation;
        m_value = -1;
    });
    m_bus.connect(m_service, m_path, kProperties, QStringLiteral("PropertiesChanged"), this,
                  SLOT(onPropertiesChanged(QString, QVariantMap, QStringList)));
    fetch();
}

std::optional<bool> DBusBoolProperty::value() const {
    const int v = m_value.load();
    if (v < 0) return std::nullopt;
    return v == 1;
}

void DBusBoolProperty::fetch() {
    QDBusMessage call =
        QDBusMessage::createMethodCall(m_service, m_path, kProperties, QStringLiteral("Get"));
    call << m_interface << m_property;
    // A service that is not running stays unknown rather than being started for us.
    call.setAutoStartService(false);
    const unsigned generation = ++m_generation;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, generation](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                if (generation != m_generation) return;
                const QDBusPendingReply<QDBusVariant> reply = *w;
                const QVariant v = reply.isError() ? QVariant() : reply.value().variant();
                m_value = v.typeId() == QMetaType::Bool ? int(v.toBool()) : -1;
            });
}

void DBusBoolProperty::onPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                           const QStringList& invalidated) {
    if (interface != m_interface) return;
    const auto it = changed.constFind(m_property);
    if (it != changed.constEnd()) {
        ++m_generation;
        m_value = it->typeId() == QMetaType::Bool ? int(it->toBool()) : -1;
    } else if (invalidated.contains(m_property)) {
        fetch();
    }
}
