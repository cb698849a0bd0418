#include "NotificationCenter.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

void NotificationCenter::addObserver(QObject* context, const QString& name, Handler handler,
                                     const QObject* sender) {
    if (!context || !handler) return;
    std::lock_guard lock(m_mutex);
    m_entries.push_back({QPointer<QObject>(context), name, sender, std::move(handler), m_nextId++});
}

void NotificationCenter::removeObserver(QObject* context) {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_entries, [&](const Entry& e) { return e.context.isNull() || e.context == context; });
}

void NotificationCenter::removeObserver(QObject* context, const QString& name) {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_entries, [&](const Entry& e) {
        return e.context.isNull() || (e.context == context && e.name == name);
    });
}

void NotificationCenter::post(const QString& name, QObject* object, const QVariantMap& userInfo) {
    Notification n{name, object, userInfo};
    QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() != app->thread()) {
        QMetaObject::invokeMethod(app, [this, n] { deliver(n); }, Qt::QueuedConnection);
        return;
    }
    deliver(n);
}

void NotificationCenter::deliver(const Notification& n) {
    // Snapshot the matching handlers so that a handler may add or remove observers.
    std::vector<std::pair<quint64, Handler>> targets;
    {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_entries, [](const Entry& e) { return e.context.isNull(); });
        for (const auto& e : m_entries)
            if (e.name == n.name && (!e.sender || e.sender == n.object))
                targets.emplace_back(e.id, e.handler);
    }
    for (const auto& [id, handler] : targets) {
        bool alive = false;
        {
            std::lock_guard lock(m_mutex);
            alive = std::any_of(m_entries.begin(), m_entries.end(),
                                [&](const Entry& e) { return e.id == id && !e.context.isNull(); });
        }
        if (alive) handler(n);
    }
}
