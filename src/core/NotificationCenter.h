#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <mutex>
#include <vector>

struct Notification {
    QString name;
    QObject* object = nullptr; // the sender, when there is one
    QVariantMap userInfo;
};

// Named in-process notifications. Observers are held weakly through a context
// object: once the context is destroyed its handlers are skipped and dropped.
// Delivery always happens on the main (GUI) thread; a post from another thread is
// queued there.
class NotificationCenter {
public:
    using Handler = std::function<void(const Notification&)>;

    static NotificationCenter& defaultCenter();

    // `sender`, when given, restricts delivery to notifications posted by it.
    void addObserver(QObject* context, const QString& name, Handler handler,
                     const QObject* sender = nullptr);
    void removeObserver(QObject* context);
    void removeObserver(QObject* context, const QString& name);

    void post(const QString& name, QObject* object = nullptr, const QVariantMap& userInfo = {});

private:
    struct Entry {
        QPointer<QObject> context;
        QString name;
        const QObject* sender;
        Handler handler;
        quint64 id;
    };
    void deliver(const Notification& n);

    std::mutex m_mutex;
    std::vector<Entry> m_entries;
    quint64 m_nextId = 1;
};
