#pragma once

#include <QObject>
#include <QString>

// Short notices shown by the desktop outside the application's own windows. Posting
// never fails towards the caller: a desktop without a notification service simply
// shows nothing. A later notice with the same identifier replaces the earlier one.
class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~DesktopNotifier() override = default;

    virtual void post(const QString& identifier, const QString& title, const QString& body) = 0;

signals:
    // The user clicked a notice (or chose one of its actions).
    void activated(const QString& identifier);
};
