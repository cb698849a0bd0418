#include "platform/linux/LazyServiceProbes.h"

#include "platform/linux/LinuxServiceModule.h"
#include "platform/linux/services/PipeWireRuntime.h"
#include "platform/linux/services/ServiceModule.h"

#include <QDir>
#include <QFileSystemWatcher>
#include <QTimer>

// ---- Output mute ----

OutputMuteProbe* LazyOutputMuteProbe::real() const {
    std::call_once(m_open, [this] {
        if (ServiceModule* module = LinuxServiceModule::get(ServiceModule::Part::sound))
            m_real = module->makeOutputMuteProbe();
    });
    return m_real.get();
}

std::optional<bool> LazyOutputMuteProbe::muted() const {
    const OutputMuteProbe* probe = real();
    return probe ? probe->muted() : std::nullopt;
}

std::optional<double> LazyOutputMuteProbe::volume() const {
    const OutputMuteProbe* probe = real();
    return probe ? probe->volume() : std::nullopt;
}

// ---- Screen capture ----

LazyScreenCaptureProbe::LazyScreenCaptureProbe() : m_context(std::make_unique<QObject>()) {}

LazyScreenCaptureProbe::~LazyScreenCaptureProbe() {
    if (m_real) m_real->setChangeHandler({});
}

void LazyScreenCaptureProbe::openSoon() {
    if (m_opened || m_queued) return;
    m_queued = true;
    QTimer::singleShot(0, m_context.get(), [this] { openWhereServed(); });
}

void LazyScreenCaptureProbe::openWhereServed() {
    if (m_opened) return;
    const QString folder = PipeWireRuntime::folder();
    // No folder a server could appear in: the module could never learn anything.
    if (folder.isEmpty()) return;
    const QString socket = PipeWireRuntime::socket();
    if (socket.isEmpty() || QFileInfo::exists(socket)) return open();
    if (m_serverWatch) return;
    // PipeWire and its thread stay out until a server is there to watch; a folder that
    // cannot be watched leaves the waiting to the real probe.
    auto watch = std::make_unique<QFileSystemWatcher>();
    if (!QDir(folder).exists() || !watch->addPath(folder)) return open();
    QObject::connect(watch.get(), &QFileSystemWatcher::directoryChanged, m_context.get(),
                     [this, socket] {
                         if (m_opened || !QFileInfo::exists(socket)) return;
                         m_serverWatch.release()->deleteLater(); // it is the sender
                         open();
                     });
    m_serverWatch = std::move(watch);
}

void LazyScreenCaptureProbe::open() {
    if (m_opened) return;
    m_opened = true;
    if (ServiceModule* module = LinuxServiceModule::get(ServiceModule::Part::capture))
        m_real = module->makeScreenCaptureProbe();
    if (!m_real) return;
    m_real->setChangeHandler([this] {
        if (m_onChange) m_onChange();
    });
    // Asked before the module was there, the owner heard "nobody watches": it asks again.
    if (m_onChange) m_onChange();
}

std::optional<bool> LazyScreenCaptureProbe::screenWatcherPresent() {
    if (m_real) return m_real->screenWatcherPresent();
    openSoon();
    return std::nullopt;
}

bool LazyScreenCaptureProbe::sessionScreenIsShared() {
    return m_real && m_real->sessionScreenIsShared();
}

bool LazyScreenCaptureProbe::announcesChanges() {
    if (m_real) return m_real->announcesChanges();
    // Until the module is open, the one change to come (its opening) is announced; a
    // module that cannot be opened leaves an answer that never changes.
    openSoon();
    return true;
}

void LazyScreenCaptureProbe::setChangeHandler(std::function<void()> handler) {
    m_onChange = std::move(handler);
}
