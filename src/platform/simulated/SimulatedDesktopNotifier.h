#pragma once

#include "platform/DesktopNotifier.h"

#include <QList>

// Records every notice instead of showing it.
class SimulatedDesktopNotifier final : public DesktopNotifier {
    Q_OBJECT
public:
    struct Notice {
        QString identifier;
        QString title;
        QString body;
    };
    using DesktopNotifier::DesktopNotifier;

    void post(const QString& identifier, const QString& title, const QString& body) override;
    const QList<Notice>& posted() const { return m_posted; }
    int count(const QString& identifier) const;
    void clear() { m_posted.clear(); }
    // The user clicks the notice.
    void click(const QString& identifier) { emit activated(identifier); }

private:
    QList<Notice> m_posted;
};
