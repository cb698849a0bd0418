#pragma once

#include "platform/NightLight.h"

#include <QDBusConnection>

// KWin's night colour, held off by an inhibition (org.kde.KWin.NightLight on the
// session bus): switching off inhibits, switching on lifts our inhibition again.
class KWinNightLight final : public NightLight {
public:
    explicit KWinNightLight(QDBusConnection bus = QDBusConnection::sessionBus());

    QString name() const override { return QStringLiteral("KWin night colour"); }
    bool isAvailable() override;
    std::optional<State> state() override;
    bool setEnabled(bool on) override;
    QJsonObject handle() const override;
    void adoptHandle(const QJsonObject& handle) override;

private:
    QDBusConnection m_bus;
    std::optional<uint> m_cookie;
};
