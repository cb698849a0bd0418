#include "platform/linux/LinuxOnboardingMarker.h"

#include "core/Paths.h"
#include "core/PrivateFile.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFileInfo>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcMarker, "com.halcyra.app.onboarding-marker")

// A secret as the Secret Service passes it.
struct SecretServiceSecret {
    QDBusObjectPath session;
    QByteArray parameters;
    QByteArray value;
    QString contentType;
};

QDBusArgument& operator<<(QDBusArgument& a, const SecretServiceSecret& s) {
    a.beginStructure();
    a << s.session << s.parameters << s.value << s.contentType;
    a.endStructure();
    return a;
}
const QDBusArgument& operator>>(const QDBusArgument& a, SecretServiceSecret& s) {
    a.beginStructure();
    a >> s.session >> s.parameters >> s.value >> s.contentType;
    a.endStructure();
    return a;
}

Q_DECLARE_METATYPE(SecretServiceSecret)

namespace {

const QString kService = QStringLiteral("org.freedesktop.secrets");
const QString kServicePath = QStringLiteral("/org/freedesktop/secrets");
const QString kServiceInterface = QStringLiteral("org.freedesktop.Secret.Service");

using StringMap = QMap<QString, QString>;

StringMap markerAttributes() {
    return {{QStringLiteral("service"), QStringLiteral("com.halcyra.onboarding")},
            {QStringLiteral("account"), QStringLiteral("completed")}};
}

void registerTypes() {
    static const bool done = [] {
        qDBusRegisterMetaType<SecretServiceSecret>();
        qDBusRegisterMetaType<StringMap>();
        return true;
    }();
    Q_UNUSED(done);
}

std::optional<QDBusConnection> keyringBus() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) return std::nullopt;
    if (!bus.interface()->isServiceRegistered(kService).value()) return std::nullopt;
    registerTypes();
    return bus;
}

QDBusMessage call(QDBusConnection& bus, const QString& path, const QString& interface,
                  const QString& method, const QVariantList& args) {
    QDBusMessage m = QDBusMessage::createMethodCall(kService, path, interface, method);
    m.setArguments(args);
    return bus.call(m, QDBus::Block, LinuxOnboardingMarker::busTimeoutMs);
}

// The marker items, unlocked and locked; none when the search failed.
std::optional<std::pair<QList<QDBusObjectPath>, QList<QDBusObjectPath>>>
searchItems(QDBusConnection& bus) {
    const QDBusMessage reply =
        call(bus, kServicePath, kServiceInterface, QStringLiteral("SearchItems"),
             {QVariant::fromValue(markerAttributes())});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2)
        return std::nullopt;
    return std::pair{qdbus_cast<QList<QDBusObjectPath>>(reply.arguments().at(0)),
                     qdbus_cast<QList<QDBusObjectPath>>(reply.arguments().at(1))};
}

} // namespace

LinuxOnboardingMarker::LinuxOnboardingMarker(QString markerFile) : m_file(std::move(markerFile)) {
    if (m_file.isEmpty()) m_file = Paths::dataDirectory() + QStringLiteral("/onboarding-completed");
}

std::optional<bool> LinuxOnboardingMarker::keyringHasItem() {
    auto bus = keyringBus();
    if (!bus) return std::nullopt;
    const auto items = searchItems(*bus);
    if (!items) return std::nullopt;
    // A locked keyring cannot vouch for the item.
    return !items->first.isEmpty();
}

bool LinuxOnboardingMarker::storeInKeyring() {
    auto bus = keyringBus();
    if (!bus) return false;
    if (const auto items = searchItems(*bus))
        for (const auto& list : {items->first, items->second})
            for (const QDBusObjectPath& item : list)
                call(*bus, item.path(), QStringLiteral("org.freedesktop.Secret.Item"),
                     QStringLiteral("Delete"), {});

    const QDBusMessage opened =
        call(*bus, kServicePath, kServiceInterface, QStringLiteral("OpenSession"),
             {QStringLiteral("plain"), QVariant::fromValue(QDBusVariant(QString()))});
    if (opened.type() != QDBusMessage::ReplyMessage || opened.arguments().size() != 2) return false;
    const QDBusObjectPath session = qdbus_cast<QDBusObjectPath>(opened.arguments().at(1));

    QVariantMap properties;
    properties.insert(QStringLiteral("org.freedesktop.Secret.Item.Label"),
                      QStringLiteral("Halcyra onboarding completed"));
    properties.insert(QStringLiteral("org.freedesktop.Secret.Item.Attributes"),
                      QVariant::fromValue(markerAttributes()));
    const SecretServiceSecret secret{
        session, {}, QByteArrayLiteral("true"), QStringLiteral("text/plain; charset=utf8")};
    const QDBusMessage created =
        call(*bus, QStringLiteral("/org/freedesktop/secrets/aliases/default"),
             QStringLiteral("org.freedesktop.Secret.Collection"), QStringLiteral("CreateItem"),
             {properties, QVariant::fromValue(secret), true});
    call(*bus, session.path(), QStringLiteral("org.freedesktop.Secret.Session"),
         QStringLiteral("Close"), {});
    if (created.type() != QDBusMessage::ReplyMessage || created.arguments().isEmpty()) return false;
    // "/" means the keyring wants to ask the user first (a locked collection): no item.
    return qdbus_cast<QDBusObjectPath>(created.arguments().at(0)).path() != QLatin1String("/");
}

bool LinuxOnboardingMarker::exists() {
    if (keyringHasItem().value_or(false)) return true;
    return QFileInfo(m_file).isFile();
}

void LinuxOnboardingMarker::markCompleted() {
    if (storeInKeyring()) return;
    if (!writeFile())
        qCWarning(lcMarker).noquote()
            << QStringLiteral("Could not record the completed onboarding in %1").arg(m_file);
}

bool LinuxOnboardingMarker::writeFile() {
    // Only this user may read or replace it; on disk before this returns.
    return PrivateFile::write(m_file, QByteArrayLiteral("true"));
}
