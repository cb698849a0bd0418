#include "PrivateFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMutex>
#include <QSet>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcPrivateFile, "com.halcyra.app.defaults")

namespace {

QString lastError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Once per folder, finding and run: a folder loosened again by hand is tightened
// silently, and a folder refused is told about once however often it is asked for.
bool firstTime(const QString& what) {
    static QMutex mutex;
    static QSet<QString> told;
    QMutexLocker lock(&mutex);
    if (told.contains(what)) return false;
    told.insert(what);
    return true;
}

// A folder kept private must be a real one of this user's: a link could lead the
// files, and a chmod, into a folder of someone else's (or one everyone shares).
bool isOurs(const QString& path, const struct stat& st) {
    QString what;
    if (S_ISLNK(st.st_mode))
        what = QStringLiteral("a link to %1").arg(QFileInfo(path).symLinkTarget());
    else if (!S_ISDIR(st.st_mode))
        what = QStringLiteral("not a folder");
    else if (st.st_uid != ::geteuid())
        what = QStringLiteral("a folder of user %1's").arg(st.st_uid);
    else
        return true;
    if (firstTime(path + QLatin1Char('\n') + what))
        qCWarning(lcPrivateFile).noquote()
            << QStringLiteral("%1 is %2, not a folder of this user's own — Halcyra keeps "
                              "nothing in it and runs without what it would keep there")
                   .arg(path, what);
    return false;
}

void syncDirectory(const QByteArray& dir) {
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

namespace PrivateFile {

bool writeAll(int fd, const QByteArray& bytes) {
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += n;
    }
    return true;
}

bool mayUseDirectory(const QString& path) {
    const QString clean = QDir::cleanPath(path);
    struct stat st {};
    if (::lstat(QFile::encodeName(clean).constData(), &st) != 0) return errno == ENOENT;
    return isOurs(clean, st);
}

bool makeDirectory(const QString& path) {
    const QString clean = QDir::cleanPath(path);
    const QByteArray native = QFile::encodeName(clean);
    // mkdir's mode passes through the umask, which can only take bits away.
    if (::mkdir(native.constData(), 0700) == 0) return true;
    if (errno == ENOENT) {
        // Parents we create (~/.local/state on a fresh account) are private too, as the
        // base-directory rules ask; existing ones are not ours to change.
        const QString parent = QFileInfo(clean).path();
        if (parent == clean || !makeDirectory(parent)) return false;
        if (::mkdir(native.constData(), 0700) == 0) return true;
    }
    if (errno != EEXIST) return false;
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0 || !isOurs(clean, st)) return false;
    const mode_t loose = st.st_mode & (S_IWGRP | S_IWOTH);
    if (loose == 0) return true;
    // Changed through a descriptor of the folder looked at, never through a link that
    // took its place meanwhile.
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat now {};
    const bool tightened = fd >= 0 && ::fstat(fd, &now) == 0 && now.st_ino == st.st_ino &&
                           now.st_dev == st.st_dev &&
                           ::fchmod(fd, (st.st_mode & 07777) & ~loose) == 0;
    const QString why = lastError();
    if (fd >= 0) ::close(fd);
    if (!tightened) {
        qCWarning(lcPrivateFile).noquote()
            << QStringLiteral("The folder %1 may be written by other users and could not "
                              "be tightened — %2")
                   .arg(clean, why);
        return true;
    }
    if (firstTime(clean))
        qCWarning(lcPrivateFile).noquote()
            << QStringLiteral("The folder %1 could be written by other users (mode %2) — "
                              "now %3")
                   .arg(clean)
                   .arg(st.st_mode & 0777, 3, 8, QLatin1Char('0'))
                   .arg((st.st_mode & 0777) & ~loose, 3, 8, QLatin1Char('0'));
    return true;
}

bool write(const QString& path, const QByteArray& bytes, QString* error) {
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        return false;
    };
    const QFileInfo info(path);
    if (!makeDirectory(info.absolutePath()))
        return fail(QStringLiteral("no folder: ") + lastError());
    QByteArray tmp = QFile::encodeName(path + QStringLiteral(".tmp-XXXXXX"));
    const int fd = ::mkostemp(tmp.data(), O_CLOEXEC); // created 0600 whatever the umask
    if (fd < 0) return fail(lastError());
    const bool written =
        ::fchmod(fd, S_IRUSR | S_IWUSR) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    const QString why = written ? QString() : lastError();
    ::close(fd);
    if (!written) {
        ::unlink(tmp.constData());
        return fail(why);
    }
    if (::rename(tmp.constData(), QFile::encodeName(path).constData()) != 0) {
        const QString renameError = lastError();
        ::unlink(tmp.constData());
        return fail(renameError);
    }
    syncDirectory(QFile::encodeName(info.absolutePath()));
    return true;
}

} // namespace PrivateFile
