#include "platform/linux/UPowerKeyboardBacklight.h"

#include <QDBusMessage>
#include <algorithm>
#include <cmath>

namespace {
const QString kService = QStringLiteral("org.freedesktop.UPower");
const QString kPath = QStringLiteral("/org/freedesktop/UPower/KbdBacklight");
const QString kInterface = QStringLiteral("org.freedesktop.UPower.KbdBacklight");
// Polled from the main thread: a stuck service must not freeze the application.
constexpr int kTimeoutMs = 500;
} // namespace

UPowerKeyboardBacklight::UPowerKeyboardBacklight(QDBusConnection bus) : m_bus(std::move(bus)) {}

std::optional<int> UPowerKeyboardBacklight::callInt(const QString& method) {
    if (!m_bus.isConnected()) return std::nullopt;
    const QDBusMessage reply =
        m_bus.call(QDBusMessage::createMethodCall(kService, kPath, kInterface, method),
                   QDBus::Block, kTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    bool ok = false;
    const int v = reply.arguments().first().toInt(&ok);
    if (!ok) return std::nullopt;
    return v;
}

bool UPowerKeyboardBacklight::open() {
    const auto max = callInt(QStringLiteral("GetMaxBrightness"));
    m_max = max.value_or(0);
    return m_max > 0;
}

std::optional<float> UPowerKeyboardBacklight::level() {
    if (m_max <= 0) return std::nullopt;
    const auto v = callInt(QStringLiteral("GetBrightness"));
    if (!v) return std::nullopt;
    return std::clamp(float(*v) / float(m_max), 0.0f, 1.0f);
}

bool UPowerKeyboardBacklight::setLevel(float level) {
    if (m_max <= 0 || !m_bus.isConnected()) return false;
    const int raw = int(std::lround(std::clamp(level, 0.0f, 1.0f) * m_max));
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                       QStringLiteral("SetBrightness"));
    call << raw;
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, kTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}
