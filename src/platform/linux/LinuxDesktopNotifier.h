#pragma once

#include "platform/DesktopNotifier.h"

#include <QDBusConnection>
#include <QHash>

// Notices through the session bus notification service of the desktop.
class LinuxDesktopNotifier final : public DesktopNotifier {
    Q_OBJECT
public:
    explicit LinuxDesktopNotifier(QObject* parent = nullptr);
    explicit LinuxDesktopNotifier(QDBusConnection bus, QObject* parent = nullptr);

    void post(const QString& identifier, const QString& title, const QString& body) override;

private slots:
    void onActionInvoked(uint id, const QString& actionKey);

private:
    QDBusConnection m_bus;
    QHash<QString, uint> m_shownIds; // identifier -> id of the notice on screen
};
