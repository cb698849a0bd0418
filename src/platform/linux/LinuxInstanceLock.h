#pragma once

#include "platform/InstanceLock.h"

#include <QByteArray>
#include <map>
#include <memory>

class QSocketNotifier;

// A per-user lock file held with flock(2) and a local socket beside it. The kernel
// drops the lock when the holder dies in any way, so a killed copy never blocks the
// next start; a stale socket file left behind is replaced by the next holder.
class LinuxInstanceLock final : public InstanceLock {
    Q_OBJECT
public:
    // `directory` holds "instance.lock" and, when the path is short enough for a
    // socket address, "instance.sock".
    explicit LinuxInstanceLock(const QString& directory, QObject* parent = nullptr);
    ~LinuxInstanceLock() override;

    // $XDG_STATE_HOME/halcyra, or ~/.local/state/halcyra.
    static QString defaultDirectory();

    bool tryAcquire() override;
    bool isHeld() const override { return m_fd >= 0; }
    qint64 holderPid() const override;
    bool requestActivation() override;

    QString lockPath() const { return m_lockPath; }
    QString socketPath() const { return m_socketPath; }

protected:
    void removeSharedFiles() override;

private:
    // One copy asking to be let in: what it sent so far, read as it comes.
    struct Caller {
        std::unique_ptr<QSocketNotifier> notifier;
        QByteArray received;
    };

    void listen();
    void stopListening();
    void onConnection();
    void onCallerData(int fd);
    void dropCaller(int fd);

    QString m_lockPath;
    QString m_socketPath;
    bool m_socketInTemp = false; // the path was too long: the socket is in the temp folder
    int m_fd = -1;
    int m_listenFd = -1;
    std::unique_ptr<QSocketNotifier> m_listening;
    std::map<int, Caller> m_callers; // by socket
};
