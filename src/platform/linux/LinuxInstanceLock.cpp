#include "platform/linux/LinuxInstanceLock.h"

#include "core/BoundedFile.h"
#include "core/Paths.h"
#include "core/PrivateFile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QThread>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcInstance, "com.halcyra.app.instance")

namespace {
const QByteArray kActivate = QByteArrayLiteral("activate\n");
// sun_path holds 108 bytes with its terminating zero; keep a margin.
constexpr int kMaxSocketPath = 100;
constexpr int kConnectTimeoutMs = 1000;
// Longer than the one request understood: such a caller is cut off.
constexpr int kMaxRequest = 64;

bool toAddress(const QByteArray& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= int(sizeof(address.sun_path))) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    return true;
}

QString lastError() {
    return QString::fromLocal8Bit(strerror(errno));
}

// Waits until `fd` is ready for `events` or the deadline passes.
bool waitFor(int fd, short events, const QDeadlineTimer& deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int ready = ::poll(&p, 1, int(deadline.remainingTime()));
        if (ready > 0) return true;
        if (ready == 0 || errno != EINTR) return false;
    }
}

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
    if (m_listenFd >= 0) {
        stopListening();
        ::unlink(QFile::encodeName(m_socketPath).constData());
    }
    if (m_fd >= 0) {
        setHeld(nullptr);
        ::close(m_fd); // drops the lock
    }
}

void LinuxInstanceLock::removeSharedFiles() {
    // The one in our own folder is replaced by the next holder; the temp folder is
    // everyone's and keeps nothing of ours after we are gone.
    if (m_listenFd >= 0 && m_socketInTemp) {
        stopListening();
        ::unlink(QFile::encodeName(m_socketPath).constData());
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
    sockaddr_un address;
    if (!toAddress(QFile::encodeName(m_socketPath), address)) return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const QDeadlineTimer connecting(kConnectTimeoutMs);
    bool connected = false;
    // A full backlog answers EAGAIN at once on a local socket: try again until the
    // time-out, as a holder busy starting up empties it soon.
    while (!connected) {
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            connected = true;
        } else if (errno == EINPROGRESS || errno == EINTR) {
            int error = 0;
            socklen_t size = sizeof error;
            connected = waitFor(fd, POLLOUT, connecting) &&
                        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
            break;
        } else if (errno == EAGAIN && !connecting.hasExpired()) {
            QThread::msleep(10);
        } else {
            break;
        }
    }
    bool sent = false;
    if (connected) {
        const QDeadlineTimer writing(kConnectTimeoutMs);
        qsizetype done = 0;
        while (done < kActivate.size()) {
            const ssize_t n = ::send(fd, kActivate.constData() + done,
                                     size_t(kActivate.size() - done), MSG_NOSIGNAL);
            if (n > 0) {
                done += n;
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && errno == EAGAIN && waitFor(fd, POLLOUT, writing)) {
                continue;
            } else {
                break;
            }
        }
        sent = done == kActivate.size();
    }
    ::close(fd);
    return sent;
}

void LinuxInstanceLock::listen() {
    const QByteArray path = QFile::encodeName(m_socketPath);
    auto fail = [this](const QString& why) {
        qCWarning(lcInstance).noquote()
            << QStringLiteral("Cannot listen on %1 — %2; a second start cannot bring this "
                              "copy forward")
                   .arg(m_socketPath, why);
    };
    // The socket is made in a private folder beside its place and moved there once only
    // its owner may connect: bind(2) takes the mode from the umask, which other threads
    // may rely on, and a socket's mode cannot be changed through its descriptor.
    QByteArray folder = QFile::encodeName(QFileInfo(m_socketPath).absolutePath()) + "/.sockXXXXXX";
    if (!::mkdtemp(folder.data())) return fail(lastError());
    const QByteArray made = folder + "/s";
    sockaddr_un address;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    // We hold the lock, so any socket file left here belongs to a copy that died.
    ::unlink(path.constData());
    const bool ok = fd >= 0 && toAddress(made, address) &&
                    ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                    ::chmod(made.constData(), S_IRWXU) == 0 && ::listen(fd, 50) == 0 &&
                    ::rename(made.constData(), path.constData()) == 0;
    const QString why = ok ? QString() : lastError();
    ::unlink(made.constData());
    ::rmdir(folder.constData());
    if (!ok) {
        if (fd >= 0) ::close(fd);
        return fail(why);
    }
    m_listenFd = fd;
    m_listening = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_listening.get(), &QSocketNotifier::activated, this, &LinuxInstanceLock::onConnection);
}

void LinuxInstanceLock::stopListening() {
    while (!m_callers.empty())
        dropCaller(m_callers.begin()->first);
    m_listening.reset();
    ::close(m_listenFd);
    m_listenFd = -1;
}

void LinuxInstanceLock::onConnection() {
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR) continue;
            return;
        }
        Caller& caller = m_callers[fd];
        caller.notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        connect(caller.notifier.get(), &QSocketNotifier::activated, this,
                [this, fd] { onCallerData(fd); });
    }
}

void LinuxInstanceLock::onCallerData(int fd) {
    const auto found = m_callers.find(fd);
    if (found == m_callers.end()) return;
    QByteArray& received = found->second.received;
    char chunk[kMaxRequest + 1];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n > 0) {
            received.append(chunk, n);
            // Only a short fixed request is understood; anything else is dropped.
            if (received.size() > kMaxRequest) return dropCaller(fd);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || errno != EAGAIN) break; // the caller is gone
        if (!received.contains('\n')) return;
        break;
    }
    const qsizetype end = received.indexOf('\n');
    const QByteArray line = end < 0 ? QByteArray() : received.left(end + 1);
    dropCaller(fd);
    if (line == kActivate) emit activationRequested();
}

void LinuxInstanceLock::dropCaller(int fd) {
    const auto found = m_callers.find(fd);
    if (found == m_callers.end()) return;
    // Possibly called from this very notifier's signal: it goes once that returns.
    QSocketNotifier* notifier = found->second.notifier.release();
    notifier->setEnabled(false);
    notifier->deleteLater();
    m_callers.erase(found);
    ::close(fd);
}
