#include "platform/linux/DBusMediaApplicationBus.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <xcb/xcb.h>

Q_DECLARE_LOGGING_CATEGORY(lcMediaKeyTap)

namespace {
const QString busService = QStringLiteral("org.freedesktop.DBus");
const QString busPath = QStringLiteral("/org/freedesktop/DBus");

uint32_t internAtom(xcb_connection_t* c, const char* name) {
    auto* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const uint32_t atom = reply ? reply->atom : 0;
    std::free(reply);
    return atom;
}

uint32_t cardinalProperty(xcb_connection_t* c, uint32_t window, uint32_t atom) {
    auto* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, 1), nullptr);
    uint32_t value = 0;
    if (reply && xcb_get_property_value_length(reply) >= 4)
        value = *static_cast<uint32_t*>(xcb_get_property_value(reply));
    std::free(reply);
    return value;
}
} // namespace

DBusMediaApplicationBus::DBusMediaApplicationBus(const QString& ownIdentifier,
                                                 std::optional<QDBusConnection> bus)
    : m_own(ownIdentifier), m_bus(bus.value_or(QDBusConnection::sessionBus())) {}

DBusMediaApplicationBus::~DBusMediaApplicationBus() {
    stopObservingApplications();
    stopObservingAnnouncements();
}

QString DBusMediaApplicationBus::identifierOf(const QString& busName) {
    QString id = busName.startsWith(playerPrefix) ? busName.mid(playerPrefix.size()) : busName;
    const int instance = id.indexOf(QStringLiteral(".instance"));
    return instance > 0 ? id.left(instance) : id;
}

MediaApplication DBusMediaApplicationBus::player(const QString& busName) {
    MediaApplication app{busName, identifierOf(busName), 0};
    if (QDBusConnectionInterface* iface = m_bus.interface()) {
        const auto pid = iface->servicePid(busName);
        if (pid.isValid()) app.pid = pid.value();
    }
    return app;
}

void DBusMediaApplicationBus::nameOwnerChanged(const QString& name, const QString& oldOwner,
                                               const QString& newOwner) {
    if (!name.startsWith(playerPrefix)) return;
    if (!newOwner.isEmpty() && oldOwner.isEmpty()) {
        const MediaApplication app = player(name);
        m_players.insert(name, app);
        emit applicationLaunched(app);
    } else if (newOwner.isEmpty()) {
        MediaApplication app = m_players.take(name);
        if (app.busName.isEmpty()) app = MediaApplication{name, identifierOf(name), 0};
        emit applicationTerminated(app);
    }
}

MediaApplication DBusMediaApplicationBus::currentApplication() const {
    return MediaApplication{m_bus.isConnected() ? m_bus.baseService() : QStringLiteral("self"),
                            m_own, qint64(::getpid())};
}

void DBusMediaApplicationBus::observeApplications() {
    if (m_observing || !m_bus.isConnected() || !m_bus.interface()) return;
    m_observing = true;
    // The bus's own signal, not the interface's deprecated copy of it.
    m_bus.connect(busService, busPath, busService, QStringLiteral("NameOwnerChanged"), this,
                  SLOT(nameOwnerChanged(QString, QString, QString)));
    // Players already running count as known, not as launched.
    if (QDBusConnectionInterface* iface = m_bus.interface())
        for (const QString& name : iface->registeredServiceNames().value())
            if (name.startsWith(playerPrefix)) m_players.insert(name, player(name));

    // The frontmost application: the X server's active window.
    if (qEnvironmentVariableIsEmpty("DISPLAY")) return;
    m_x = xcb_connect(nullptr, nullptr);
    if (!m_x || xcb_connection_has_error(m_x)) {
        if (m_x) xcb_disconnect(m_x);
        m_x = nullptr;
        return;
    }
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_x)).data->root;
    m_activeAtom = internAtom(m_x, "_NET_ACTIVE_WINDOW");
    m_pidAtom = internAtom(m_x, "_NET_WM_PID");
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(m_x, m_root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(m_x);
    m_xNotifier =
        std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(m_x), QSocketNotifier::Read);
    connect(m_xNotifier.get(), &QSocketNotifier::activated, this,
            &DBusMediaApplicationBus::readX11Events);
}

void DBusMediaApplicationBus::stopObservingApplications() {
    if (m_observing)
        m_bus.disconnect(busService, busPath, busService, QStringLiteral("NameOwnerChanged"), this,
                         SLOT(nameOwnerChanged(QString, QString, QString)));
    m_observing = false;
    m_players.clear();
    m_xNotifier.reset();
    if (m_x) xcb_disconnect(m_x);
    m_x = nullptr;
}

void DBusMediaApplicationBus::readX11Events() {
    bool activeChanged = false;
    while (xcb_generic_event_t* e = xcb_poll_for_event(m_x)) {
        if ((e->response_type & 0x7f) == XCB_PROPERTY_NOTIFY &&
            reinterpret_cast<xcb_property_notify_event_t*>(e)->atom == m_activeAtom)
            activeChanged = true;
        std::free(e);
    }
    if (xcb_connection_has_error(m_x)) {
        m_xNotifier.reset();
        return;
    }
    if (activeChanged) activeWindowChanged();
}

void DBusMediaApplicationBus::activeWindowChanged() {
    const uint32_t window = cardinalProperty(m_x, m_root, m_activeAtom);
    if (!window) return;
    const uint32_t pid = cardinalProperty(m_x, window, m_pidAtom);
    if (!pid) return;
    if (pid == uint32_t(::getpid())) {
        emit applicationActivated(currentApplication());
        return;
    }
    for (const MediaApplication& app : std::as_const(m_players))
        if (app.pid == qint64(pid)) {
            emit applicationActivated(app);
            return;
        }
}

void DBusMediaApplicationBus::observeAnnouncements() {
    if (m_announcementsConnected || !m_bus.isConnected()) return;
    for (const QString& name : {MediaApplicationWatcher::mediaKeyTapDidStartNotification,
                                MediaApplicationWatcher::mediaKeyTapReplyNotification})
        m_bus.connect(QString(), announcementPath, announcementInterface, name, this,
                      SLOT(announcement(QDBusMessage)));
    m_announcementsConnected = true;
}

void DBusMediaApplicationBus::stopObservingAnnouncements() {
    if (!m_announcementsConnected) return;
    for (const QString& name : {MediaApplicationWatcher::mediaKeyTapDidStartNotification,
                                MediaApplicationWatcher::mediaKeyTapReplyNotification})
        m_bus.disconnect(QString(), announcementPath, announcementInterface, name, this,
                         SLOT(announcement(QDBusMessage)));
    m_announcementsConnected = false;
}

void DBusMediaApplicationBus::postAnnouncement(const QString& name,
                                               const std::optional<QString>& object) {
    if (!m_bus.isConnected()) return;
    QDBusMessage signal = QDBusMessage::createSignal(announcementPath, announcementInterface, name);
    if (object) signal << *object;
    m_bus.send(signal);
}

void DBusMediaApplicationBus::announcement(const QDBusMessage& message) {
    const QVariantList args = message.arguments();
    const QString object = !args.isEmpty() && args.front().typeId() == QMetaType::QString
                               ? args.front().toString()
                               : QString();
    emit announcementReceived(message.member(), object);
}
