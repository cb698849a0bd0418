#include "platform/linux/LinuxLocationService.h"

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

std::unique_ptr<LinuxLocationService> LinuxLocationService::create(QObject* parent) {
    QGeoPositionInfoSource* source = QGeoPositionInfoSource::createDefaultSource(nullptr);
    if (!source) return nullptr;
    if (source->sourceName() == QLatin1String("geoclue2") && !geoClueReachable()) {
        qCInfo(lcLocation).noquote()
            << QStringLiteral("No positioning service on the system bus — location unknown");
        delete source;
        return nullptr;
    }
    return std::unique_ptr<LinuxLocationService>(new LinuxLocationService(source, parent));
}

LinuxLocationService::LinuxLocationService(QGeoPositionInfoSource* source, QObject* parent)
    : LocationService(parent), m_source(source) {
    m_source->setParent(this);
    connect(m_source, &QGeoPositionInfoSource::positionUpdated, this,
            &LinuxLocationService::onPosition);
    connect(m_source, &QGeoPositionInfoSource::errorOccurred, this,
            [this](QGeoPositionInfoSource::Error e) { onError(int(e)); });
    m_significantChangeTimer.setInterval(significantChangeIntervalMs);
    connect(&m_significantChangeTimer, &QTimer::timeout, this,
            [this] { m_source->requestUpdate(singleRequestTimeoutMs); });
}

LinuxLocationService::~LinuxLocationService() = default;

QString LinuxLocationService::backendName() const {
    return m_source->sourceName();
}

void LinuxLocationService::requestWhenInUseAuthorization() {
    // The desktop's positioning service asks the user itself (through its agent) the
    // first time we read a position; a refusal comes back as an access error.
}

void LinuxLocationService::setDesiredAccuracy(double metres) {
    // A kilometre or coarser needs no satellite fix: network positioning is enough
    // and spares the battery.
    m_source->setPreferredPositioningMethods(
        metres >= kilometreAccuracy ? QGeoPositionInfoSource::NonSatellitePositioningMethods
                                    : QGeoPositionInfoSource::AllPositioningMethods);
}

void LinuxLocationService::startUpdatingLocation() {
    m_source->startUpdates();
}

void LinuxLocationService::stopUpdatingLocation() {
    m_source->stopUpdates();
}

void LinuxLocationService::startMonitoringSignificantLocationChanges() {
    if (!m_significantChangeTimer.isActive()) m_significantChangeTimer.start();
}

void LinuxLocationService::stopMonitoringSignificantLocationChanges() {
    m_significantChangeTimer.stop();
}

void LinuxLocationService::onPosition(const QGeoPositionInfo& info) {
    if (!info.isValid() || !info.coordinate().isValid()) return;
    LocationFix fix;
    fix.latitude = info.coordinate().latitude();
    fix.longitude = info.coordinate().longitude();
    fix.horizontalAccuracy = info.hasAttribute(QGeoPositionInfo::HorizontalAccuracy)
                                 ? info.attribute(QGeoPositionInfo::HorizontalAccuracy)
                                 : -1.0;
    fix.timestamp = info.timestamp();
    emit locationsUpdated({fix});
}

void LinuxLocationService::onError(int error) {
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
    emit failed(e);
}
