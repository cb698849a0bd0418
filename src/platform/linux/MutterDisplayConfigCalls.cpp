#include "platform/linux/MutterDisplayConfigCalls.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QStringList>

namespace MutterDisplayConfig {

const QString serviceName = QStringLiteral("org.gnome.Mutter.DisplayConfig");
const QString objectPath = QStringLiteral("/org/gnome/Mutter/DisplayConfig");
const QString interfaceName = QStringLiteral("org.gnome.Mutter.DisplayConfig");

namespace {
const QString resourcesSignature =
    QStringLiteral("ua(uxiiiiiuaua{sv})a(uxiausauaua{sv})a(uxuudu)ii");

QVariant rampArgument(const std::vector<quint16>& ramp) {
    return QVariant::fromValue(QList<ushort>(ramp.begin(), ramp.end()));
}
} // namespace

QDBusMessage call(const QDBusConnection& bus, const QString& method, const QVariantList& args,
                  int timeoutMs) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(serviceName, objectPath, interfaceName, method);
    message.setArguments(args);
    return bus.call(message, QDBus::Block, timeoutMs);
}

bool answered(const QDBusMessage& reply) {
    return reply.type() == QDBusMessage::ReplyMessage;
}

bool noVerdict(const QDBusMessage& reply) {
    static const QStringList names = {
        QStringLiteral("org.freedesktop.DBus.Error.NoReply"),
        QStringLiteral("org.freedesktop.DBus.Error.Timeout"),
        QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown"),
        QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner"),
        QStringLiteral("org.freedesktop.DBus.Error.Disconnected"),
        QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"),
    };
    return reply.type() == QDBusMessage::ErrorMessage && names.contains(reply.errorName());
}

QString errorText(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ErrorMessage) return QStringLiteral("an unexpected answer");
    return reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
}

DisplayId displayIdFor(qint64 winsysId, uint index) {
    if (winsysId > 0 && winsysId <= qint64(0xffffffffu)) return DisplayId(winsysId);
    return DisplayId(index + 1);
}

std::optional<Resources> parseResources(const QDBusMessage& reply) {
    if (!answered(reply) || reply.signature() != resourcesSignature) return std::nullopt;
    const QVariantList args = reply.arguments();
    Resources out;
    out.serial = args.at(0).toUInt();
    const QDBusArgument crtcs = args.at(1).value<QDBusArgument>();
    crtcs.beginArray();
    while (!crtcs.atEnd()) {
        uint index = 0, transform = 0;
        qint64 winsys = 0;
        int x = 0, y = 0, width = 0, height = 0, mode = -1;
        QList<uint> transforms;
        QVariantMap properties;
        crtcs.beginStructure();
        crtcs >> index >> winsys >> x >> y >> width >> height >> mode >> transform >> transforms >>
            properties;
        crtcs.endStructure();
        const bool active = mode >= 0 && width > 0 && height > 0;
        out.crtcs.push_back({displayIdFor(winsys, index), index, {}, false, 0, active});
    }
    crtcs.endArray();
    const QDBusArgument outputs = args.at(2).value<QDBusArgument>();
    outputs.beginArray();
    while (!outputs.atEnd()) {
        uint id = 0;
        qint64 winsys = 0;
        int current = -1;
        QList<uint> possible, modes, clones;
        QString name;
        QVariantMap properties;
        outputs.beginStructure();
        outputs >> id >> winsys >> current >> possible >> name >> modes >> clones >> properties;
        outputs.endStructure();
        for (Crtc& c : out.crtcs)
            if (c.active && current >= 0 && c.index == uint(current) && c.output.isEmpty()) {
                c.output = name;
                c.primary = properties.value(QStringLiteral("primary")).toBool();
            }
    }
    outputs.endArray();
    return out;
}

QVariantList gammaArguments(quint32 serial, uint index, const Ramps& ramps) {
    return {serial, index, rampArgument(ramps.red), rampArgument(ramps.green),
            rampArgument(ramps.blue)};
}

QDBusMessage setGamma(const QDBusConnection& bus, quint32 serial, uint index, const Ramps& ramps,
                      int timeoutMs) {
    return call(bus, QStringLiteral("SetCrtcGamma"), gammaArguments(serial, index, ramps),
                timeoutMs);
}

std::optional<Ramps> parseRamps(const QDBusMessage& reply) {
    if (!answered(reply) || reply.signature() != QStringLiteral("aqaqaq")) return std::nullopt;
    Ramps out;
    std::vector<quint16>* channels[3] = {&out.red, &out.green, &out.blue};
    for (int c = 0; c < 3; ++c) {
        const QList<ushort> values = qdbus_cast<QList<ushort>>(reply.arguments().at(c));
        channels[c]->assign(values.begin(), values.end());
    }
    // A size beyond any real display's is refused rather than used.
    if (!out.isValid() || out.size() > 65536) return std::nullopt;
    return out;
}

} // namespace MutterDisplayConfig
