#include "platform/linux/LinuxInstanceLock.h"

#include "core/BoundedFile.h"
#include "core/Paths.h"
#include "core/PrivateFile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcInstance, "com.halcyra.app.instance")

namespace {
const QByteArray kActivate = QByteArrayLiteral("activate\n");
// sun_path holds 108 bytes with its terminating zero; keep a margin.
constexpr int kMaxSocketPath = 100;
constexpr int kConnectTimeoutMs = 1000;

// Why the file at the lock's path is not one of ours to truncate, or empty when it is.
// A second name for the same file (a hard link) would have its content replaced too.
QString notOurs(const struct stat& st) {
    if (S_ISLNK(st.st_mode)) return QStringLiteral("a symbolic link");
    if (!S_ISREG(st.st_mode)) return QStringLiteral("not a regular file");
    if (st.st_uid != ::geteuid()) return QStringLiteral("owned by user %1").arg(st.st_uid);
    if (st.st_nlink != 1) return QStringLiteral("a file with other names");
    return {};
}
} // namespace

LinuxInstanceLock::LinuxInstanceLock(const QString& directory, QObject* parent)
    : InstanceLock(parent) {
    m_lockPath = directory + QStringLiteral("/instance.lock");
    m_socketPath = directory + QStringLiteral("/instance.sock");
    if (QFile::encodeName(m_socketPath).size() > kMaxSocketPath) {
        const QByteArray tag =
            QCryptographicHash::hash(QFile::encodeName(directory), QCryptographicHash::Sha1)
                .toHex()
                .left(16);
        m_socketInTemp = true;
        m_socketPath = QStringLiteral("%1/halcyra-%2-%3.sock")
                           .arg(QDir::tempPath())
                           .arg(::getuid())
                           .arg(QString::fromLatin1(tag));
    }
}

LinuxInstanceLock::~LinuxInstanceLock() {
    if (m_server) {
        m_server->close();
        QLocalServer::removeServer(m_socketPath);
    }
    if (m_fd >= 0) {
        setHeld(nullptr);
        ::close(m_fd); // drops the lock
    }
}

void LinuxInstanceLock::removeSharedFiles() {
    // The one in our own folder is replaced by the next holder; the temp folder is
    // everyone's and keeps nothing of ours after we are gone.
    if (m_server && m_socketInTemp) {
        m_server->close();
        QLocalServer::removeServer(m_socketPath);
        m_server.reset();
    }
}

QString LinuxInstanceLock::defaultDirectory() {
    return Paths::stateDirectory();
}

bool LinuxInstanceLock::tryAcquire() {
    if (m_fd >= 0) return true;
    const QByteArray path = QFile::encodeName(m_lockPath);
    // The pid is written over whatever the lock holds: never open through a link, and
    // take only a file of this user's own with no other name.
    // Without a lock file there is no way to tell another copy apart; run rather than
    // refuse to start.
    auto unguarded = [this](const QString& why) {
        qCWarning(lcInstance).noquote()
            << QStringLiteral("The instance lock %1 %2; running unguarded").arg(m_lockPath, why);
        return true;
    };
    if (!PrivateFile::makeDirectory(QFileInfo(m_lockPath).absolutePath()))
        return unguarded(QStringLiteral("has no folder of this user's own to be kept in"));
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        if (attempt == 3) return unguarded(QStringLiteral("keeps being replaced"));
        fd = ::open(path.constData(),
                    O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
        const QString openError = QString::fromLocal8Bit(strerror(errno));
        struct stat seen {};
        const bool looked =
            fd >= 0 ? ::fstat(fd, &seen) == 0 : ::lstat(path.constData(), &seen) == 0;
        const QString why = looked ? notOurs(seen) : QString();
        if (why.isEmpty()) {
            if (looked && fd >= 0) break;
            if (fd >= 0) ::close(fd);
            return unguarded(QStringLiteral("cannot be opened — ") + openError);
        }
        if (fd >= 0) ::close(fd);
        fd = -1;
        // Moved aside as it is (rename(2) moves a link, not what it names), so that the
        // next open makes a fresh file of our own; only what was looked at is moved.
        struct stat now {};
        if (::lstat(path.constData(), &now) != 0 || now.st_ino != seen.st_ino ||
            now.st_dev != seen.st_dev)
            continue;
        const QString kept = BoundedFile::setAside(m_lockPath);
        if (kept.isEmpty())
            return unguarded(QStringLiteral("is %1 and cannot be moved aside — %2")
                                 .arg(why, QString::fromLocal8Bit(strerror(errno))));
        qCWarning(lcInstance).noquote()
            << QStringLiteral("The instance lock %1 was %2 — left untouched and kept as %3")
                   .arg(m_lockPath, why, kept);
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    setHeld(this);
    const QByteArray pid = QByteArray::number(QCoreApplication::applicationPid()) + '\n';
    if (::ftruncate(fd, 0) == 0) {
        ssize_t ignored = ::pwrite(fd, pid.constData(), size_t(pid.size()), 0);
        (void)ignored;
    }
    listen();
    return true;
}

qint64 LinuxInstanceLock::holderPid() const {
    if (m_fd >= 0) return QCoreApplication::applicationPid();
    const BoundedFile::Read read = BoundedFile::readHead(m_lockPath, 32);
    if (!read.ok()) return 0;
    bool ok = false;
    const qint64 pid = read.bytes.split('\n').first().trimmed().toLongLong(&ok);
    return ok ? pid : 0;
}

bool LinuxInstanceLock::requestActivation() {
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(kConnectTimeoutMs)) return false;
    socket.write(kActivate);
    const bool sent = socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(200);
    return sent;
}

void LinuxInstanceLock::listen() {
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // We hold the lock, so any socket file left here belongs to a copy that died.
    QLocalServer::removeServer(m_socketPath);
    if (!m_server->listen(m_socketPath)) {
        qCWarning(lcInstance).noquote()
            << QStringLiteral("Cannot listen on %1 — %2; a second start cannot bring this "
                              "copy forward")
                   .arg(m_socketPath, m_server->errorString());
        m_server.reset();
        return;
    }
    connect(m_server.get(), &QLocalServer::newConnection, this, &LinuxInstanceLock::onConnection);
}

void LinuxInstanceLock::onConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            // Only a short fixed request is understood; anything else is dropped.
            if (socket->bytesAvailable() > 64) {
                socket->abort();
                return;
            }
            if (!socket->canReadLine()) return;
            const QByteArray line = socket->readLine(64);
            socket->disconnectFromServer();
            if (line == kActivate) emit activationRequested();
        });
    }
}
