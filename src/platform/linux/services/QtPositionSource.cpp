#include "platform/linux/services/QtPositionSource.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QGeoPositionInfoSource>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcLocation, "com.halcyra.app.location")

namespace {

constexpr int singleRequestTimeoutMs = 60 * 1000;
const QString geoClueService = QStringLiteral("org.freedesktop.GeoClue2");

// The GeoClue plugin loads whether or not the positioning service is installed, and
// without it reports every start as refused. Only a service that runs or can be
// started counts as a source.
bool geoClueReachable() {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) return false;
    if (bus.interface()->isServiceRegistered(geoClueService)) return true;
    const QDBusMessage reply =
        bus.call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                QStringLiteral("/org/freedesktop/DBus"),
                                                QStringLiteral("org.freedesktop.DBus"),
                                                QStringLiteral("ListActivatableNames")),
                 QDBus::Block, 2000);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().first().toStringList().contains(geoClueService);
}

} // namespace

std::unique_ptr<QtPositionSource> QtPositionSource::create() {
    QGeoPositionInfoSource* source = QGeoPositionInfoSource::createDefaultSource(nullptr);
    if (!source) return nullptr;
    if (source->sourceName() == QLatin1String("geoclue2") && !geoClueReachable()) {
        qCInfo(lcLocation).noquote()
            << QStringLiteral("No positioning service on the system bus — location unknown");
        delete source;
        return nullptr;
    }
    return std::unique_ptr<QtPositionSource>(new QtPositionSource(source));
}

QtPositionSource::QtPositionSource(QGeoPositionInfoSource* source) : m_source(source) {
    QObject::connect(m_source.get(), &QGeoPositionInfoSource::positionUpdated, m_source.get(),
                     [this](const QGeoPositionInfo& info) { onPosition(info); });
    QObject::connect(m_source.get(), &QGeoPositionInfoSource::errorOccurred, m_source.get(),
                     [this](QGeoPositionInfoSource::Error e) { onError(int(e)); });
}

QtPositionSource::~QtPositionSource() = default;

QString QtPositionSource::name() const {
    return m_source->sourceName();
}

void QtPositionSource::setDesiredAccuracy(double metres) {
    // A kilometre or coarser needs no satellite fix: network positioning is enough
    // and spares the battery.
    m_source->setPreferredPositioningMethods(
        metres >= LocationService::kilometreAccuracy
            ? QGeoPositionInfoSource::NonSatellitePositioningMethods
            : QGeoPositionInfoSource::AllPositioningMethods);
}

void QtPositionSource::startUpdates() {
    m_source->startUpdates();
}

void QtPositionSource::stopUpdates() {
    m_source->stopUpdates();
}

void QtPositionSource::requestUpdate() {
    m_source->requestUpdate(singleRequestTimeoutMs);
}

void QtPositionSource::onPosition(const QGeoPositionInfo& info) {
    if (!info.isValid() || !info.coordinate().isValid()) return;
    LocationFix fix;
    fix.latitude = info.coordinate().latitude();
    fix.longitude = info.coordinate().longitude();
    fix.horizontalAccuracy = info.hasAttribute(QGeoPositionInfo::HorizontalAccuracy)
                                 ? info.attribute(QGeoPositionInfo::HorizontalAccuracy)
                                 : -1.0;
    fix.timestamp = info.timestamp();
    if (m_handlers.position) m_handlers.position(fix);
}

void QtPositionSource::onError(int error) {
    LocationError e;
    switch (QGeoPositionInfoSource::Error(error)) {
    case QGeoPositionInfoSource::NoError:
        return;
    case QGeoPositionInfoSource::AccessError:
        e.code = LocationError::denied;
        e.description = QStringLiteral("Access to the positioning service was refused");
        break;
    case QGeoPositionInfoSource::UpdateTimeoutError:
        e.code = LocationError::locationUnknown;
        e.description = QStringLiteral("No position could be determined in time");
        break;
    case QGeoPositionInfoSource::ClosedError:
        e.code = LocationError::network;
        e.description = QStringLiteral("The positioning service closed the connection");
        break;
    case QGeoPositionInfoSource::UnknownSourceError:
    default:
        e.code = LocationError::locationUnknown;
        e.description = QStringLiteral("The positioning service reported an unknown error");
        break;
    }
    qCInfo(lcLocation).noquote() << QStringLiteral("Location source %1 failed — %2")
                                        .arg(m_source->sourceName(), e.description);
    if (m_handlers.failure) m_handlers.failure(e);
}
