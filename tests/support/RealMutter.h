#pragma once

// GNOME's compositor as the X11 window manager of a test's own X server
// (`mutter --x11 --replace`), on a session bus of the test's own. There its display
// configuration is backed by RandR, so a gamma write through it lands in the X
// server's CRTC ramps and can be read back from there.
//
//   RealMutter mutter;
//   if (!mutter.start(server.display(), bus.address())) GTEST_SKIP() << mutter.errorString();
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <memory>

class RealMutter {
public:
    static inline const QString serviceName = QStringLiteral("org.gnome.Mutter.DisplayConfig");

    ~RealMutter() { stop(); }

    static QString executable() { return QStandardPaths::findExecutable(QStringLiteral("mutter")); }

    // Starts it and waits until its display configuration answers with the X server's
    // monitors; false (see errorString()) when it does not within `timeoutMs`.
    bool start(const QString& display, const QString& busAddress, int timeoutMs = 20000) {
        stop();
        m_error.clear();
        if (executable().isEmpty()) return fail(QStringLiteral("mutter is not installed"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("DISPLAY"), display);
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        env.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("memory"));
        m_process = std::make_unique<QProcess>();
        m_process->setProcessEnvironment(env);
        m_process->setProcessChannelMode(QProcess::MergedChannels);
        m_process->setStandardOutputFile(m_runtime.filePath(QStringLiteral("mutter.log")));
        m_process->start(executable(), {QStringLiteral("--x11"), QStringLiteral("--replace")});
        if (!m_process->waitForStarted(5000))
            return fail(QStringLiteral("mutter did not start: ") + m_process->errorString());
        m_connectionName = QStringLiteral("real-mutter-probe-%1").arg(quintptr(this));
        QDBusConnection bus = QDBusConnection::connectToBus(busAddress, m_connectionName);
        QElapsedTimer elapsed;
        elapsed.start();
        while (elapsed.elapsed() < timeoutMs) {
            if (m_process->state() != QProcess::Running)
                return fail(QStringLiteral("mutter ended at start: ") + log().left(1500));
            if (bus.interface() && bus.interface()->isServiceRegistered(serviceName).value()) {
                QDBusMessage call = QDBusMessage::createMethodCall(
                    serviceName, QStringLiteral("/org/gnome/Mutter/DisplayConfig"), serviceName,
                    QStringLiteral("GetResources"));
                if (bus.call(call, QDBus::Block, 2000).type() == QDBusMessage::ReplyMessage)
                    return true;
            }
            QThread::msleep(20);
        }
        return fail(QStringLiteral("mutter's display configuration did not appear: ") +
                    log().left(1500));
    }

    void stop() {
        if (m_process && m_process->state() != QProcess::NotRunning) {
            m_process->terminate();
            if (!m_process->waitForFinished(5000)) {
                m_process->kill();
                m_process->waitForFinished(2000);
            }
        }
        m_process.reset();
        if (!m_connectionName.isEmpty()) QDBusConnection::disconnectFromBus(m_connectionName);
        m_connectionName.clear();
    }

    bool isRunning() const { return m_process && m_process->state() == QProcess::Running; }
    qint64 pid() const { return m_process ? m_process->processId() : 0; }
    QString errorString() const { return m_error; }
    // What it printed so far.
    QString log() const {
        QFile f(m_runtime.filePath(QStringLiteral("mutter.log")));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

private:
    bool fail(const QString& why) {
        m_error = why;
        return false;
    }

    QTemporaryDir m_runtime; // its XDG_RUNTIME_DIR
    std::unique_ptr<QProcess> m_process;
    QString m_connectionName;
    QString m_error;
};
