#pragma once

#include "platform/MediaApplicationWatcher.h"

#include <QList>
#include <QPair>

// An in-memory bus: tests launch, activate and end applications, deliver
// announcements and read what was posted.
class SimulatedMediaApplicationBus final : public MediaApplicationBus {
public:
    explicit SimulatedMediaApplicationBus(MediaApplication self = {}) : m_self(std::move(self)) {}

    void observeApplications() override { m_observingApplications = true; }
    void stopObservingApplications() override { m_observingApplications = false; }
    void observeAnnouncements() override { ++m_announcementSubscriptions; }
    void stopObservingAnnouncements() override { --m_announcementSubscriptions; }
    void postAnnouncement(const QString& name, const std::optional<QString>& object) override {
        posted.append({name, object.value_or(QString())});
    }
    MediaApplication currentApplication() const override { return m_self; }

    bool observingApplications() const { return m_observingApplications; }
    int announcementSubscriptions() const { return m_announcementSubscriptions; }
    // What this application posted: (name, object).
    QList<QPair<QString, QString>> posted;

private:
    MediaApplication m_self;
    bool m_observingApplications = false;
    int m_announcementSubscriptions = 0;
};
