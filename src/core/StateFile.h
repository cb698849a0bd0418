#pragma once

#include <QJsonObject>
#include <QString>
#include <optional>

// Small JSON records in the state folder that must outlive a crash, private to the
// user (0600 in a 0700 folder): each is on disk
// (written to a temporary file, flushed and renamed over the old one) before write()
// returns.
namespace StateFile {
QString path(const QString& name);
bool write(const QString& name, const QJsonObject& record);
// None when the file is missing or does not hold a JSON object. Only a small regular
// file is read (never blocking on a FIFO); anything else is set aside as
// `<name>.corrupt-<timestamp>`. Nothing is read, written or removed in a state folder
// that is not a real folder of this user's own.
std::optional<QJsonObject> read(const QString& name);
void remove(const QString& name);
} // namespace StateFile
