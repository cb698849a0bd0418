#include "BoundedFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace BoundedFile {

namespace {

QString lastError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Opens `path` without blocking and checks that it is a regular file; -1 with `out`
// filled in otherwise.
int openRegular(const QString& path, Read& out, struct stat& st) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return -1;
        out.status = Read::Status::unreadable;
        out.error = lastError();
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        out.status = Read::Status::unreadable;
        out.error = S_ISREG(st.st_mode) ? lastError() : QStringLiteral("not a regular file");
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

Read readHead(const QString& path, qint64 limit) {
    Read out;
    struct stat st {};
    const int fd = openRegular(path, out, st);
    if (fd < 0) return out;
    out.bytes.resize(qsizetype(limit));
    qint64 done = 0;
    while (done < limit) {
        const ssize_t n = ::read(fd, out.bytes.data() + done, size_t(limit - done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            out.status = Read::Status::unreadable;
            out.error = lastError();
            out.bytes.clear();
            ::close(fd);
            return out;
        }
        if (n == 0) break;
        done += n;
    }
    ::close(fd);
    out.bytes.truncate(qsizetype(done));
    out.status = Read::Status::ok;
    return out;
}

Read read(const QString& path, qint64 limit) {
    Read out;
    struct stat st {};
    const int fd = openRegular(path, out, st);
    if (fd < 0) return out;
    auto fail = [&](const QString& why) {
        ::close(fd);
        out.status = Read::Status::unreadable;
        out.bytes.clear();
        out.error = why;
        return out;
    };
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
            return fail(lastError());
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
    // Two in the same millisecond must not replace each other; the suffix sorts the
    // later one after the earlier.
    const QString stamp =
        path + QStringLiteral(".corrupt-") +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    QString name = stamp;
    struct stat st {};
    for (int n = 1; ::lstat(QFile::encodeName(name).constData(), &st) == 0 && n < 1000; ++n)
        name = stamp + QStringLiteral("-%1").arg(n, 3, 10, QLatin1Char('0'));
    return name;
}

void pruneSetAside(const QString& path) {
    const QFileInfo info(path);
    const QRegularExpression ours(QStringLiteral("^%1\\.corrupt-\\d{8}-\\d{6}-\\d{3}(-\\d{3})?$")
                                      .arg(QRegularExpression::escape(info.fileName())));
    QDir dir(info.absolutePath());
    // The names sort by time.
    QStringList copies = dir.entryList({info.fileName() + QStringLiteral(".corrupt-*")},
                                       QDir::AllEntries | QDir::System | QDir::Hidden, QDir::Name)
                             .filter(ours);
    for (qsizetype i = 0; i + keptSetAside < copies.size(); ++i)
        // unlink(2) removes a link or a FIFO itself, never what a link names.
        ::unlink(QFile::encodeName(dir.filePath(copies[i])).constData());
}

QString setAside(const QString& path) {
    const QString target = setAsideName(path);
    // rename(2) moves a link or a FIFO as it is, without opening it.
    if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(target).constData()) != 0)
        return {};
    pruneSetAside(path);
    return target;
}

} // namespace BoundedFile
