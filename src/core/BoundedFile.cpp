#include "BoundedFile.h"

#include <QDateTime>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace BoundedFile {

Read read(const QString& path, qint64 limit) {
    Read out;
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return out;
        out.status = Read::Status::unreadable;
        out.error = QString::fromLocal8Bit(std::strerror(errno));
        return out;
    }
    auto fail = [&](const QString& why) {
        ::close(fd);
        out.status = Read::Status::unreadable;
        out.bytes.clear();
        out.error = why;
        return out;
    };
    struct stat st {};
    if (::fstat(fd, &st) != 0) return fail(QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISREG(st.st_mode)) return fail(QStringLiteral("not a regular file"));
    if (st.st_size > limit)
        return fail(
            QStringLiteral("%1 bytes, more than the %2 allowed").arg(st.st_size).arg(limit));
    // The file may grow while it is read: read one byte past the limit to notice.
    out.bytes.resize(qsizetype(st.st_size) + 1);
    qint64 done = 0;
    for (;;) {
        if (done == out.bytes.size()) {
            if (done > limit)
                return fail(QStringLiteral("grew past the %1 bytes allowed").arg(limit));
            out.bytes.resize(std::min<qint64>(limit + 1, done * 2 + 4096));
        }
        const ssize_t n = ::read(fd, out.bytes.data() + done, size_t(out.bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(QString::fromLocal8Bit(std::strerror(errno)));
        }
        if (n == 0) break;
        done += n;
    }
    ::close(fd);
    if (done > limit) return fail(QStringLiteral("grew past the %1 bytes allowed").arg(limit));
    out.bytes.truncate(qsizetype(done));
    out.status = Read::Status::ok;
    return out;
}

QString setAsideName(const QString& path) {
    return path + QStringLiteral(".corrupt-") +
           QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
}

QString setAside(const QString& path) {
    const QString target = setAsideName(path);
    // rename(2) moves a link or a FIFO as it is, without opening it.
    if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(target).constData()) != 0)
        return {};
    return target;
}

} // namespace BoundedFile
