#include "platform/linux/KWinNightLight.h"

#include <QDBusMessage>
#include <QDBusVariant>

namespace {
const QString kService = QStringLiteral("org.kde.KWin");
const QString kPath = QStringLiteral("/org/kde/KWin/NightLight");
const QString kInterface = QStringLiteral("org.kde.KWin.NightLight");
constexpr int kTimeoutMs = 1000;
} // namespace

KWinNightLight::KWinNightLight(QDBusConnection bus) : m_bus(std::move(bus)) {}

bool KWinNightLight::isAvailable() {
    if (!m_bus.isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << kInterface << QStringLiteral("available");
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, kTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().first().value<QDBusVariant>().variant().toBool();
}

std::optional<NightLight::State> KWinNightLight::state() {
    if (!m_bus.isConnected()) return std::nullopt;
    QDBusMessage call = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << kInterface << QStringLiteral("enabled");
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, kTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    // Our own inhibition does not change what the user chose.
    const bool enabled = reply.arguments().first().value<QDBusVariant>().variant().toBool();
    return State{enabled && !m_cookie, 0};
}

bool KWinNightLight::setEnabled(bool on) {
    if (!m_bus.isConnected()) return false;
    if (!on) {
        if (m_cookie) return true;
        const QDBusMessage reply = m_bus.call(
            QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("inhibit")),
            QDBus::Block, kTimeoutMs);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
        m_cookie = reply.arguments().first().toUInt();
        return true;
    }
    if (!m_cookie) return true;
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("uninhibit"));
    call << *m_cookie;
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, kTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) return false;
    m_cookie.reset();
    return true;
}

QJsonObject KWinNightLight::handle() const {
    if (!m_cookie) return {};
    return {{QStringLiteral("kwinCookie"), qint64(*m_cookie)}};
}

void KWinNightLight::adoptHandle(const QJsonObject& handle) {
    if (handle.contains(QStringLiteral("kwinCookie")))
        m_cookie = uint(handle.value(QStringLiteral("kwinCookie")).toInteger());
}
