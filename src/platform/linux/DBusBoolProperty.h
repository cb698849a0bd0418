#pragma once

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <atomic>
#include <optional>

// Keeps the value of one Boolean property of a D-Bus service up to date: read when
// the service appears, followed through its PropertiesChanged signal, forgotten
// when the service leaves. Lives on the thread that made it (the main thread);
// value() may be read from any thread and never waits for the bus.
class DBusBoolProperty final : public QObject {
    Q_OBJECT
public:
    DBusBoolProperty(const QDBusConnection& bus, const QString& service, const QString& path,
                     const QString& interface, const QString& property, QObject* parent = nullptr);

    // None until the service has answered, and while it is absent.
    std::optional<bool> value() const;

private slots:
    void onPropertiesChanged(const QString& interface, const QVariantMap& changed,
                             const QStringList& invalidated);

private:
    void fetch();

    QDBusConnection m_bus;
    QString m_service;
    QString m_path;
    QString m_interface;
    QString m_property;
    QDBusServiceWatcher m_watcher;
    std::atomic<int> m_value{-1}; // -1 unknown, 0 false, 1 true
    unsigned m_generation = 0;    // a newer fetch outdates the answer of an older one
};
