#pragma once

#include <QByteArray>
#include <QString>

// Files only this user may read or replace (saved display ramps, what the tint switched
// off, the onboarding marker), whatever the umask the session started us with: another
// local user who could rewrite them could choose what the next start restores.
namespace PrivateFile {

// Creates `path` and any missing parent as 0700. An existing `path` that group or
// others may write is tightened to drop those bits (said once in the log per folder).
// An existing `path` that is not a real folder of this user's own (a link, even to a
// folder of ours; another user's folder) is neither used nor changed: false, said once
// in the log for each thing found there.
bool makeDirectory(const QString& path);

// Whether files in `path` may be read or removed: true when it is missing or a real
// folder of this user's own; otherwise false, said as makeDirectory() says it.
bool mayUseDirectory(const QString& path);

// Replaces `path` in one step with a 0600 file holding `bytes`: written to a temporary
// beside it, synced, renamed over it, the folder synced. On disk when this returns
// true; `error` says why not otherwise.
bool write(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// Writes all of `bytes` to `fd`, across short writes and interruptions.
bool writeAll(int fd, const QByteArray& bytes);

} // namespace PrivateFile
