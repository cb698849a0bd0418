#include "SettingsFileCommit.h"

#include "BoundedFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcCommit, "com.halcyra.app.defaults")

namespace {

const QString kBaseInfix = QStringLiteral(".base-");

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

// `<target>.base-<temporary's random part>-<temporary's inode>`
QString baseLinkName(const QString& target, const QString& temporary, ino_t inode) {
    const QString tag = temporary.mid(temporary.lastIndexOf(QLatin1Char('-')) + 1);
    return target + kBaseInfix + tag + QLatin1Char('-') + QString::number(qulonglong(inode));
}

// What sits at `path` now, with the same limits as any read of the settings.
std::optional<QByteArray> contents(const QString& path) {
    const BoundedFile::Read read = BoundedFile::read(path);
    if (!read.ok()) return std::nullopt;
    return read.bytes;
}

} // namespace

namespace SettingsFileCommit {

Outcome commit(const QString& target, const QByteArray& temporary, int fd, const QByteArray& base) {
    Outcome out;
    const QString tmp = QFile::decodeName(temporary);
    auto discard = [&](Outcome::Status status) {
        out.error = errno;
        ::unlink(temporary.constData());
        ::close(fd);
        out.status = status;
        return out;
    };
    struct stat own {};
    if (::fstat(fd, &own) != 0) return discard(Outcome::Status::failed);

    // The base, pinned by a hard link: what the save read is what it compares with,
    // and a start after a kill finds it.
    QString baseLink;
    int baseFd = -1;
    if (!base.isNull()) {
        baseLink = baseLinkName(target, tmp, own.st_ino);
        ::unlink(native(baseLink).constData());
        if (::link(native(target).constData(), native(baseLink).constData()) == 0) {
            baseFd = ::open(native(baseLink).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            // Tells a later start that a living save still owns the link.
            if (baseFd >= 0) ::flock(baseFd, LOCK_EX | LOCK_NB);
        } else if (errno == ENOENT) {
            return discard(Outcome::Status::changedMeanwhile);
        } else {
            baseLink.clear(); // a file system without hard links: no journal
        }
        const auto now = contents(baseLink.isEmpty() ? target : baseLink);
        if (!now || *now != base) {
            if (!baseLink.isEmpty()) ::unlink(native(baseLink).constData());
            if (baseFd >= 0) ::close(baseFd);
            return discard(Outcome::Status::changedMeanwhile);
        }
    }
    auto releaseBase = [&] {
        if (!baseLink.isEmpty()) ::unlink(native(baseLink).constData());
        if (baseFd >= 0) ::close(baseFd);
    };

    const unsigned flags = base.isNull() ? RENAME_NOREPLACE : RENAME_EXCHANGE;
    if (::renameat2(AT_FDCWD, temporary.constData(), AT_FDCWD, native(target).constData(), flags) !=
        0) {
        if (errno == ENOENT || errno == EEXIST) {
            // Removed, or created, since the last look.
            releaseBase();
            return discard(Outcome::Status::changedMeanwhile);
        }
        if (errno != EINVAL && errno != ENOSYS) {
            releaseBase();
            return discard(Outcome::Status::failed);
        }
        // No exchange on this file system: a plain rename, checked beforehand only.
        if (::rename(temporary.constData(), native(target).constData()) != 0) {
            releaseBase();
            return discard(Outcome::Status::failed);
        }
        releaseBase();
        ::close(fd);
        out.status = Outcome::Status::committed;
        return out;
    }
    if (!base.isNull()) {
        // The temporary's name now holds the file the swap replaced.
        if (const auto replaced = contents(tmp); replaced && *replaced != base) {
            out.replacedAnEdit = true;
            out.replaced = *replaced;
            out.journal = {tmp, baseLink, baseFd};
            ::close(fd);
            out.status = Outcome::Status::committed;
            return out;
        }
        ::unlink(temporary.constData());
    }
    releaseBase();
    ::close(fd);
    out.status = Outcome::Status::committed;
    return out;
}

void finish(Journal& journal) {
    if (!journal.replaced.isEmpty()) ::unlink(native(journal.replaced).constData());
    if (!journal.baseLink.isEmpty()) ::unlink(native(journal.baseLink).constData());
    if (journal.baseFd >= 0) ::close(journal.baseFd);
    journal = {};
}

std::vector<Interrupted> recover(const QString& target) {
    std::vector<Interrupted> found;
    const QFileInfo info(target);
    const QDir dir = info.absoluteDir();
    const QStringList links = dir.entryList({info.fileName() + kBaseInfix + QStringLiteral("*")},
                                            QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : links) {
        const QString link = dir.filePath(name);
        const QString rest = name.mid(info.fileName().size() + kBaseInfix.size());
        const qsizetype dash = rest.lastIndexOf(QLatin1Char('-'));
        bool ok = false;
        const qulonglong inode = rest.mid(dash + 1).toULongLong(&ok);
        const int fd = ::open(native(link).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd); // a save under way in another process
            continue;
        }
        const QString tmp = target + temporaryInfix + rest.left(dash);
        struct stat st {};
        if (ok && dash > 0 && ::lstat(native(tmp).constData(), &st) == 0 && S_ISREG(st.st_mode) &&
            st.st_ino != ino_t(inode)) {
            // The swap was made and its comparison not: finish it now.
            const auto base = contents(link);
            const auto replaced = contents(tmp);
            if (base && replaced && *base != *replaced) found.push_back({*base, *replaced});
            ::unlink(native(tmp).constData());
        }
        ::unlink(native(link).constData());
        ::close(fd);
    }
    return found;
}

void removeStaleTemporaries(const QString& target) {
    const QFileInfo info(target);
    const QDir dir = info.absoluteDir();
    const QStringList names =
        dir.entryList({info.fileName() + temporaryInfix + QStringLiteral("*")},
                      QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        const QByteArray path = native(dir.filePath(name));
        const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            ::unlink(path.constData());
            qCInfo(lcCommit).noquote() << "Removed a stale temporary settings file" << name;
        }
        ::close(fd);
    }
}

} // namespace SettingsFileCommit
