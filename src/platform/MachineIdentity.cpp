#include "platform/MachineIdentity.h"

#include <QMessageAuthenticationCode>
#include <QUuid>

namespace {
// Fixed for the application: changing it changes every machine's identifier.
const QUuid applicationKey(QStringLiteral("{6f3c2a1e-9b7d-4e52-8a41-c0d5e7f19b36}"));
} // namespace

QString MachineIdentity::applicationSpecificId(const QByteArray& machineId) {
    const QByteArray hex = machineId.trimmed().toLower();
    if (hex.size() != 32) return unknown;
    for (char c : hex)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return unknown;
    const QByteArray raw = QByteArray::fromHex(hex);
    if (raw == QByteArray(16, '\0')) return unknown;

    // HMAC-SHA256 keyed with the machine id over the application's own key, the
    // derivation the machine-id manual recommends; the first 128 bits form a
    // version-4 UUID.
    QByteArray digest = QMessageAuthenticationCode::hash(applicationKey.toRfc4122(), raw,
                                                         QCryptographicHash::Sha256)
                            .left(16);
    digest[6] = char((digest[6] & 0x0F) | 0x40);
    digest[8] = char((digest[8] & 0x3F) | 0x80);
    return QUuid::fromRfc4122(digest).toString(QUuid::WithoutBraces).toUpper();
}
