#include "platform/DoNotDisturbProbe.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

DoNotDisturbState DoNotDisturbProbe::stateFromAssertions(const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return DoNotDisturbState::unknown;
    const QJsonValue records = doc.object().value(QStringLiteral("storeAssertionRecords"));
    if (!records.isArray()) return DoNotDisturbState::inactive;
    return records.toArray().isEmpty() ? DoNotDisturbState::inactive : DoNotDisturbState::active;
}

DoNotDisturbState DoNotDisturbProbe::stateFromAssertionsFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return DoNotDisturbState::unknown;
    return stateFromAssertions(file.readAll());
}

QString DoNotDisturbProbe::assertionsFilePath() {
    return QDir::homePath() + QStringLiteral("/Library/DoNotDisturb/DB/Assertions.json");
}
