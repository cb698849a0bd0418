#pragma once

#include <QJsonObject>
#include <QString>
#include <optional>

// Small JSON records in the state folder that must outlive a crash: each is on disk
// (written to a temporary file, flushed and renamed over the old one) before write()
// returns.
namespace StateFile {
QString path(const QString& name);
bool write(const QString& name, const QJsonObject& record);
// None when the file is missing or does not hold a JSON object.
std::optional<QJsonObject> read(const QString& name);
void remove(const QString& name);
} // namespace StateFile
