#include "core/StateFile.h"

#include "core/Paths.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>

namespace StateFile {

QString path(const QString& name) {
    return Paths::stateDirectory() + QLatin1Char('/') + name;
}

bool write(const QString& name, const QJsonObject& record) {
    QDir().mkpath(Paths::stateDirectory());
    QSaveFile f(path(name));
    if (!f.open(QIODevice::WriteOnly)) return false;
    f.write(QJsonDocument(record).toJson(QJsonDocument::Compact));
    // The commit syncs the data to disk and renames it over the old file.
    if (!f.flush()) return false;
    return f.commit();
}

std::optional<QJsonObject> read(const QString& name) {
    QFile f(path(name));
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll());
    if (!doc.isObject()) return std::nullopt;
    return doc.object();
}

void remove(const QString& name) {
    QFile::remove(path(name));
}

} // namespace StateFile
