#pragma once

// A private message bus for the length of a test, and a thread on which fake
// services answer (a blocking call from the test's own thread would otherwise wait
// for itself).
#include <QCoreApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <memory>

class PrivateBus {
public:
    PrivateBus() {
        const QString daemon = QStandardPaths::findExecutable("dbus-daemon");
        if (daemon.isEmpty()) return;
        m_address = "unix:path=" + m_dir.filePath("bus");
        m_process.start(daemon, {"--session", "--nofork", "--nopidfile", "--address=" + m_address});
        if (!m_process.waitForStarted()) return;
        QElapsedTimer t;
        t.start();
        while (!QFile::exists(m_dir.filePath("bus")) && t.elapsed() < 5000)
            QThread::msleep(10);
        m_serviceThread.start();
    }
    ~PrivateBus() {
        m_serviceThread.quit();
        m_serviceThread.wait();
        for (const QString& name : m_names)
            QDBusConnection::disconnectFromBus(name);
        m_process.kill();
        m_process.waitForFinished();
    }
    bool isUp() const { return m_process.state() == QProcess::Running; }
    QString address() const { return m_address; }
    QDBusConnection connect(const QString& name) {
        m_names << name;
        return QDBusConnection::connectToBus(m_address, name);
    }
    // Registers `service` (moved to the service thread) at `path` under `busName`;
    // `served` receives the connection that owns the name (for the service's signals).
    bool serve(QObject* service, const QString& busName, const QString& path,
               QDBusConnection* served = nullptr) {
        service->moveToThread(&m_serviceThread);
        QDBusConnection c = connect("svc-" + busName + QString::number(m_names.size()));
        if (served) *served = c;
        return c.registerObject(path, service,
                                QDBusConnection::ExportAllProperties |
                                    QDBusConnection::ExportAllSlots) &&
               c.registerService(busName);
    }

private:
    QTemporaryDir m_dir;
    QString m_address;
    QProcess m_process;
    QStringList m_names;
    QThread m_serviceThread;
};
