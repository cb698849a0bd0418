#include "core/StateFile.h"

#include "core/BoundedFile.h"
#include "core/Paths.h"
#include "core/PrivateFile.h"

#include <QFile>
#include <QJsonDocument>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcStateFile, "com.halcyra.app.defaults")

namespace {
// These records are a few dozen bytes; anything near this is not one of ours.
constexpr qint64 kLimit = 64 * 1024;
} // namespace

namespace StateFile {

QString path(const QString& name) {
    return Paths::stateDirectory() + QLatin1Char('/') + name;
}

bool write(const QString& name, const QJsonObject& record) {
    return PrivateFile::write(path(name), QJsonDocument(record).toJson(QJsonDocument::Compact));
}

std::optional<QJsonObject> read(const QString& name) {
    const QString file = path(name);
    // A record in a folder someone else controls could choose what a start restores.
    if (!PrivateFile::mayUseDirectory(Paths::stateDirectory())) return std::nullopt;
    const BoundedFile::Read read = BoundedFile::read(file, kLimit);
    if (read.status == BoundedFile::Read::Status::missing) return std::nullopt;
    QString why = read.error;
    if (read.ok()) {
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(read.bytes, &error);
        if (doc.isObject()) return doc.object();
        why = error.error != QJsonParseError::NoError ? error.errorString()
                                                      : QStringLiteral("not a JSON object");
    }
    // Out of the way, so that the next write puts a plain file in its place and no
    // later start stalls on it again.
    const QString kept = BoundedFile::setAside(file);
    qCWarning(lcStateFile).noquote()
        << QStringLiteral("Unreadable state file %1 (%2)%3")
               .arg(file, why, kept.isEmpty() ? QString() : QStringLiteral(" — kept as ") + kept);
    return std::nullopt;
}

void remove(const QString& name) {
    if (PrivateFile::mayUseDirectory(Paths::stateDirectory())) QFile::remove(path(name));
}

} // namespace StateFile
