#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

// The last step of a settings save, made so that an edit by hand can never be
// overwritten unseen. The new file is swapped with the old one in one step
// (renameat2's exchange), so the file that was replaced is in hand afterwards and can
// be compared with what the save was based on; a hard link to the base file, named
// after the new file's inode, lets the next start finish the comparison when the
// process was killed in between.
namespace SettingsFileCommit {

// A save's temporary is `<target>.tmp-<random>`.
inline const QString temporaryInfix = QStringLiteral(".tmp-");

// The replaced file and the base link, kept on disk until the edit they hold is saved
// again, so that a kill meanwhile leaves it for the next start to merge.
struct Journal {
    QString replaced;
    QString baseLink;
    int baseFd = -1; // held locked: a living save owns the journal
};
// Removes a journal once its edit is safe in the settings file.
void finish(Journal& journal);

struct Outcome {
    enum class Status {
        committed,        // the new file is in place
        changedMeanwhile, // the file moved on before the swap: read it again and retry
        failed,
    };
    Status status = Status::failed;
    // Committed, but the file replaced was not the base: someone wrote it after the
    // save's last look. What it held, to be merged in and saved again.
    bool replacedAnEdit = false;
    QByteArray replaced;
    Journal journal; // set when replacedAnEdit
    int error = 0;   // errno when failed
};

// `temporary` is an open, written and synced file beside `target` (its descriptor
// `fd`); `base` is what the save took `target` to hold (null: no file). The temporary
// is gone when this returns.
Outcome commit(const QString& target, const QByteArray& temporary, int fd, const QByteArray& base);

// What a save killed between its swap and its comparison left: the base it was built on
// and the file its swap replaced, when they differ (an edit to merge in).
struct Interrupted {
    QByteArray base;
    QByteArray replaced;
};
// Finds and clears such leftovers beside `target`; temporaries still locked by a
// living writer are left alone.
std::vector<Interrupted> recover(const QString& target);

// Removes temporaries left by a writer killed before its swap. Writers hold a lock on
// their temporary until the swap, so one that can be locked has no writer left.
void removeStaleTemporaries(const QString& target);

} // namespace SettingsFileCommit
