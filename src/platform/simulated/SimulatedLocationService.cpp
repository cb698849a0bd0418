#include "platform/simulated/SimulatedLocationService.h"

#include <QTimer>

SimulatedLocationService::SimulatedLocationService(QObject* parent) : LocationService(parent) {
    m_error.code = LocationError::locationUnknown;
    m_error.description = QStringLiteral("No positioning source on this machine");
}

void SimulatedLocationService::requestWhenInUseAuthorization() {
    ++m_authorizationRequests;
}

void SimulatedLocationService::setScriptedFix(const LocationFix& fix) {
    m_fix = fix;
}

void SimulatedLocationService::setScriptedError(const LocationError& error) {
    m_fix.reset();
    m_error = error;
}

void SimulatedLocationService::startUpdatingLocation() {
    m_updating = true;
    ++m_startCount;
    QTimer::singleShot(0, this, [this] {
        if (!m_updating) return;
        if (m_fix) {
            LocationFix fix = *m_fix;
            if (!fix.timestamp.isValid()) fix.timestamp = QDateTime::currentDateTimeUtc();
            emit locationsUpdated({fix});
        } else {
            emit failed(m_error);
        }
    });
}
