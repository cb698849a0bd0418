#include "platform/linux/LinuxDesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QLoggingCategory>
#include <QPointer>
#include <QVariantMap>

Q_LOGGING_CATEGORY(lcNotices, "com.halcyra.app.notifications")

namespace {
// The name of the installed desktop entry and of the icon it names.
const QString appId = QStringLiteral("com.halcyra.Halcyra");
} // namespace

LinuxDesktopNotifier::LinuxDesktopNotifier(QObject* parent)
    : LinuxDesktopNotifier(QDBusConnection::sessionBus(), parent) {}

LinuxDesktopNotifier::LinuxDesktopNotifier(QDBusConnection bus, QObject* parent)
    : DesktopNotifier(parent), m_bus(std::move(bus)) {
    if (m_bus.isConnected())
        m_bus.connect(QStringLiteral("org.freedesktop.Notifications"),
                      QStringLiteral("/org/freedesktop/Notifications"),
                      QStringLiteral("org.freedesktop.Notifications"),
                      QStringLiteral("ActionInvoked"), this, SLOT(onActionInvoked(uint, QString)));
}

void LinuxDesktopNotifier::onActionInvoked(uint id, const QString&) {
    // Every action of our notices counts as a click on it.
    for (auto it = m_shownIds.cbegin(); it != m_shownIds.cend(); ++it)
        if (it.value() == id) return emit activated(it.key());
}

void LinuxDesktopNotifier::post(const QString& identifier, const QString& title,
                                const QString& body) {
    if (!m_bus.isConnected()) {
        qCInfo(lcNotices).noquote()
            << QStringLiteral("No session bus — notice %1 not shown").arg(identifier);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), appId);
    // The "default" action is a click on the notice itself.
    call << QStringLiteral("Halcyra") << m_shownIds.value(identifier, 0u) << appId << title << body
         << QStringList{QStringLiteral("default"), QString()} << hints << int(-1);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    QPointer<LinuxDesktopNotifier> self(this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [self, identifier](QDBusPendingCallWatcher* w) {
                QDBusPendingReply<uint> reply = *w;
                w->deleteLater();
                if (reply.isError()) {
                    qCInfo(lcNotices).noquote() << QStringLiteral("Notice %1 not shown — %2")
                                                       .arg(identifier, reply.error().message());
                    return;
                }
                if (self) self->m_shownIds.insert(identifier, reply.value());
            });
}
