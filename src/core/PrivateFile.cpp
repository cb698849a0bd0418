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

// Once per folder and run: a folder loosened again by hand is tightened silently.
bool firstTightening(const QString& path) {
    static QMutex mutex;
    static QSet<QString> told;
    QMutexLocker lock(&mutex);
    if (told.contains(path)) return false;
    told.insert(path);
    return true;
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

bool makeDirectory(const QString& path) {
    const QString clean = QDir::cleanPath(path);
    const QByteArray native = QFile::encodeName(clean);
    struct stat st {};
    if (::stat(native.constData(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) return false;
        const mode_t loose = st.st_mode & (S_IWGRP | S_IWOTH);
        if (loose == 0) return true;
        if (::chmod(native.constData(), (st.st_mode & 07777) & ~loose) != 0) {
            qCWarning(lcPrivateFile).noquote()
                << QStringLiteral("The folder %1 may be written by other users and could not "
                                  "be tightened — %2")
                       .arg(clean, lastError());
            return true;
        }
        if (firstTightening(clean))
            qCWarning(lcPrivateFile).noquote()
                << QStringLiteral("The folder %1 could be written by other users (mode %2) — "
                                  "now %3")
                       .arg(clean)
                       .arg(st.st_mode & 0777, 3, 8, QLatin1Char('0'))
                       .arg((st.st_mode & 0777) & ~loose, 3, 8, QLatin1Char('0'));
        return true;
    }
    const QString parent = QFileInfo(clean).path();
    if (parent != clean && !QFileInfo(parent).isDir()) {
        // Parents we create (~/.local/state on a fresh account) are private too, as the
        // base-directory rules ask; existing ones are not ours to change.
        if (!makeDirectory(parent)) return false;
    }
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) return false;
    // mkdir's mode passes through the umask, which can only take bits away.
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
