#pragma once

#include "platform/DesktopNotifier.h"

#include <QHash>

// Notices through the session bus notification service of the desktop.
class LinuxDesktopNotifier final : public DesktopNotifier {
    Q_OBJECT
public:
    using DesktopNotifier::DesktopNotifier;

    void post(const QString& identifier, const QString& title, const QString& body) override;

private:
    QHash<QString, uint> m_shownIds; // identifier -> id of the notice on screen
};
