#pragma once

#include <QByteArray>
#include <QString>

// Reads the small files Halcyra keeps (settings, saved display ramps) without trusting
// what sits at the path: only a regular file is read, the open never blocks (a FIFO
// with no writer), and nothing larger than the limit is taken in (a link to
// /dev/zero, a runaway file).
namespace BoundedFile {

inline constexpr qint64 defaultLimit = 4 * 1024 * 1024;

struct Read {
    enum class Status { ok, missing, unreadable };
    Status status = Status::missing;
    QByteArray bytes;
    QString error; // why it is unreadable, for the log

    bool ok() const { return status == Status::ok; }
};

Read read(const QString& path, qint64 limit = defaultLimit);

// The first `limit` bytes of a regular file, whatever size it claims: for kernel
// attribute files (sysfs reports 4096 bytes for a one-line value) and a number in a
// text file. Never blocks; anything but a regular file is unreadable.
Read readHead(const QString& path, qint64 limit);

// Moves a file that could not be read aside as `<path>.corrupt-<timestamp>` and
// returns the new name, or an empty string when it could not be moved. Only the
// newest few set-aside copies of a path are kept: a file damaged at every start would
// otherwise fill the disk with copies of itself.
QString setAside(const QString& path);
// A name no earlier copy of `path` holds, for a copy made by hand; call
// pruneSetAside() once it is written.
QString setAsideName(const QString& path);
inline constexpr int keptSetAside = 3;
void pruneSetAside(const QString& path);

} // namespace BoundedFile
