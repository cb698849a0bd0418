#include "platform/linux/LinuxLocationService.h"

#include "platform/linux/LinuxServiceModule.h"
#include "platform/linux/services/PositionSource.h"
#include "platform/linux/services/ServiceModule.h"

LinuxLocationService::LinuxLocationService(SourceFactory factory, QObject* parent)
    : LocationService(parent), m_factory(std::move(factory)) {
    m_significantChangeTimer.setInterval(significantChangeIntervalMs);
    connect(&m_significantChangeTimer, &QTimer::timeout, this, [this] {
        if (m_source)
            m_source->requestUpdate();
        else if (m_opened)
            reportNoSource();
    });
}

LinuxLocationService::~LinuxLocationService() = default;

std::unique_ptr<PositionSource> LinuxLocationService::moduleSource() {
    ServiceModule* module = LinuxServiceModule::get(ServiceModule::Part::location);
    return module ? module->makePositionSource() : nullptr;
}

QString LinuxLocationService::backendName() const {
    return m_source ? m_source->name() : QString();
}

void LinuxLocationService::requestWhenInUseAuthorization() {
    // The desktop's positioning service asks the user itself (through its agent) the
    // first time we read a position; a refusal comes back as an access error.
}

void LinuxLocationService::setDesiredAccuracy(double metres) {
    m_accuracy = metres;
    if (m_source) m_source->setDesiredAccuracy(metres);
}

void LinuxLocationService::openSoon() {
    if (m_opened || m_openQueued) return;
    m_openQueued = true;
    QTimer::singleShot(0, this, &LinuxLocationService::open);
}

void LinuxLocationService::open() {
    m_opened = true;
    m_source = m_factory ? m_factory() : nullptr;
    if (!m_source) {
        if (m_updating) reportNoSource();
        return;
    }
    m_source->setHandlers({[this](const LocationFix& fix) { emit locationsUpdated({fix}); },
                           [this](const LocationError& error) { emit failed(error); }});
    if (m_accuracy) m_source->setDesiredAccuracy(*m_accuracy);
    if (m_updating) m_source->startUpdates();
}

void LinuxLocationService::reportNoSource() {
    LocationError error;
    error.code = LocationError::locationUnknown;
    error.description = QStringLiteral("No positioning source on this machine");
    emit failed(error);
}

void LinuxLocationService::startUpdatingLocation() {
    m_updating = true;
    if (m_source) {
        m_source->startUpdates();
    } else if (m_opened) {
        // From the event loop, as a source would answer.
        QTimer::singleShot(0, this, [this] {
            if (m_updating) reportNoSource();
        });
    } else {
        openSoon();
    }
}

void LinuxLocationService::stopUpdatingLocation() {
    m_updating = false;
    if (m_source) m_source->stopUpdates();
}

void LinuxLocationService::startMonitoringSignificantLocationChanges() {
    openSoon();
    if (!m_significantChangeTimer.isActive()) m_significantChangeTimer.start();
}

void LinuxLocationService::stopMonitoringSignificantLocationChanges() {
    m_significantChangeTimer.stop();
}
