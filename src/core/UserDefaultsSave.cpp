// The store's writing side: where a save goes, how it lands on disk without undoing an
// edit made by hand, and what the user is told when it cannot.
#include "UserDefaults.h"

#include "BoundedFile.h"
#include "PrivateFile.h"
#include "SettingsFileCommit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_LOGGING_CATEGORY(lcDefaults)

void UserDefaults::setAsideBadFile(const QByteArray& reason, bool move) {
    std::lock_guard saveLock(m_saveMutex);
    // While running, another process may still be writing through its open file:
    // copy rather than move, so its bytes do not end up in the set-aside file.
    if (move) {
        if (const QString target = BoundedFile::setAside(m_path); !target.isEmpty()) {
            qCCritical(lcDefaults).noquote()
                << "Kept the" << reason << "settings file as" << target;
            m_lastWritten.clear();
            return;
        }
    } else if (const BoundedFile::Read bad = BoundedFile::read(m_path); bad.ok()) {
        const QString copy = BoundedFile::setAsideName(m_path);
        if (PrivateFile::write(copy, bad.bytes)) {
            BoundedFile::pruneSetAside(m_path);
            qCCritical(lcDefaults).noquote()
                << "Copied the" << reason << "settings file to" << copy;
            m_lastWritten = bad.bytes; // kept aside: a save may now replace it
            return;
        }
    }
    // Neither moved nor copied: never write over it.
    m_savesBlocked = true;
    qCCritical(lcDefaults).noquote() << "Could not set aside the" << reason << "settings file"
                                     << m_path << "— settings will not be saved this session";
}

QString UserDefaults::writeTarget() const {
    // A settings file that is a link (kept with the user's dotfiles) is saved through to
    // the file it names, so the link stays a link.
    QString path = m_path;
    for (int depth = 0; depth < 16; ++depth) {
        const QFileInfo info(path);
        if (!info.isSymLink()) return path;
        path = info.symLinkTarget();
    }
    return m_path;
}

UserDefaults::SaveResult UserDefaults::save(const QJsonObject& snapshot) {
    std::lock_guard saveLock(m_saveMutex);
    if (m_savesBlocked) return SaveResult::failed;
    const QString target = writeTarget();
    // A file the next read would refuse is set aside there and every key lost: what is
    // written must be what a read takes back. Indenting is for whoever opens the file;
    // where it would cross the read's size limit the file is written compact, and where
    // even that cannot be read back the old file stays.
    QByteArray bytes = QJsonDocument(snapshot).toJson(QJsonDocument::Indented);
    if (bytes.size() > BoundedFile::defaultLimit)
        bytes = QJsonDocument(snapshot).toJson(QJsonDocument::Compact);
    if (bytes.size() > BoundedFile::defaultLimit)
        return refuse(SaveProblem::writeFailed,
                      QStringLiteral("%1 — the settings would be larger than the %2 MiB a start "
                                     "reads back")
                          .arg(target)
                          .arg(BoundedFile::defaultLimit / (1024 * 1024)));
    if (QJsonParseError error{}; QJsonDocument::fromJson(bytes, &error).isNull())
        return refuse(SaveProblem::writeFailed,
                      QStringLiteral("%1 — a start could not read the settings back (%2)")
                          .arg(target, error.errorString()));
    const QFileInfo info(target);
    const QString folder = info.absolutePath();
    // Our own folder is private, and never one of someone else's; a folder the settings
    // are linked into is the user's.
    if (const QString own = QFileInfo(m_path).absolutePath(); !PrivateFile::makeDirectory(own))
        return refuse(SaveProblem::folderNotWritable,
                      QStringLiteral("%1 — could not be made, or is not a folder of this "
                                     "user's own")
                          .arg(own));
    if (target != m_path && !QDir().mkpath(folder))
        return refuse(SaveProblem::folderNotWritable,
                      QStringLiteral("%1 — could not be created").arg(folder));
    // The owner's write bit taken away is the user's word (it also holds for root,
    // whom the system itself would let through).
    struct stat st {};
    if (::stat(QFile::encodeName(target).constData(), &st) == 0 && !(st.st_mode & S_IWUSR))
        return refuse(SaveProblem::fileReadOnly, QStringLiteral("%1 — read-only").arg(target));
    if (::stat(QFile::encodeName(folder).constData(), &st) == 0 && !(st.st_mode & S_IWUSR))
        return refuse(
            SaveProblem::folderNotWritable,
            QStringLiteral("%1 — %2").arg(folder, QString::fromLocal8Bit(strerror(EACCES))));
    QByteArray tmpPath =
        QFile::encodeName(target + SettingsFileCommit::temporaryInfix + QStringLiteral("XXXXXX"));
    const int fd = ::mkostemp(tmpPath.data(), O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        const QString detail =
            QStringLiteral("%1 — %2").arg(folder, QString::fromLocal8Bit(strerror(error)));
        return refuse(error == EACCES || error == EPERM || error == EROFS
                          ? SaveProblem::folderNotWritable
                          : SaveProblem::writeFailed,
                      detail);
    }
    // Held until the swap: tells a later start that this temporary is not stale.
    ::flock(fd, LOCK_EX);
    ::fchmod(fd, S_IRUSR | S_IWUSR);
    if (!PrivateFile::writeAll(fd, bytes)) {
        const QString detail =
            QStringLiteral("%1 — %2").arg(target, QString::fromLocal8Bit(strerror(errno)));
        ::unlink(tmpPath.constData());
        ::close(fd);
        return refuse(SaveProblem::writeFailed, detail);
    }
    // The swap hands back the file it replaced: an edit by hand that landed after our
    // last look is seen there rather than lost.
    const QByteArray base = m_lastWritten;
    const auto outcome = SettingsFileCommit::commit(target, tmpPath, fd, base);
    using Status = SettingsFileCommit::Outcome::Status;
    if (outcome.status == Status::changedMeanwhile) return SaveResult::editedMeanwhile;
    if (outcome.status == Status::failed)
        return refuse(
            SaveProblem::writeFailed,
            QStringLiteral("%1 — %2").arg(target, QString::fromLocal8Bit(strerror(outcome.error))));
    m_lastWritten = bytes;
    m_lastSaved = snapshot;
    // The edits earlier swaps kept aside were merged before this save's snapshot.
    for (auto& journal : m_journals)
        SettingsFileCommit::finish(journal);
    m_journals.clear();
    if (outcome.replacedAnEdit) m_journals.push_back(outcome.journal);
    if (m_saveProblem != SaveProblem::none) {
        qCInfo(lcDefaults).noquote() << "The settings can be saved again";
        m_saveProblemDetail.clear();
        m_saveProblem = SaveProblem::none;
        m_loggedProblems.clear();
        announceProblem();
    }
    if (!outcome.replacedAnEdit) return SaveResult::saved;
    m_replacedEdit = outcome.replaced;
    m_replacedBase = base;
    return SaveResult::savedOverAnEdit;
}

// Called with m_saveMutex held.
UserDefaults::SaveResult UserDefaults::refuse(SaveProblem problem, const QString& detail) {
    const QString cause = QString::number(int(problem)) + detail;
    if (!m_loggedProblems.contains(cause)) {
        m_loggedProblems.insert(cause);
        qCCritical(lcDefaults).noquote()
            << (problem == SaveProblem::fileReadOnly
                    ? QStringLiteral("The settings file is read-only (%1) — changes are kept in "
                                     "memory and not saved")
                    : QStringLiteral("Could not save the settings (%1) — changes are kept in "
                                     "memory; trying again at the next change"))
                   .arg(detail);
    }
    if (m_saveProblem != problem || m_saveProblemDetail != detail) {
        m_saveProblem = problem;
        m_saveProblemDetail = detail;
        announceProblem();
    }
    return SaveResult::failed;
}

QString UserDefaults::saveProblemDetail() const {
    std::lock_guard saveLock(m_saveMutex);
    return m_saveProblemDetail;
}

QString UserDefaults::saveProblemText() const {
    QString where = QFileInfo(writeTarget()).absolutePath();
    if (const QString home = QDir::homePath(); where.startsWith(home + QLatin1Char('/')))
        where = QStringLiteral("~") + where.mid(home.size());
    switch (m_saveProblem.load()) {
    case SaveProblem::none:
        return {};
    case SaveProblem::fileReadOnly:
        return QStringLiteral("settings.json in %1 is read-only, so Halcyra leaves it as it is. "
                              "Changes you make now last until Halcyra quits.")
            .arg(where);
    case SaveProblem::folderNotWritable:
        return QStringLiteral("The folder %1 cannot be written. Changes you make now last until "
                              "Halcyra quits; Halcyra tries again at each change.")
            .arg(where);
    case SaveProblem::writeFailed:
        break;
    }
    const QString detail = saveProblemDetail();
    return QStringLiteral("Writing settings.json in %1 failed (%2). Changes you make now last "
                          "until Halcyra quits; Halcyra tries again at each change.")
        .arg(where, detail.mid(detail.lastIndexOf(QStringLiteral(" — ")) + 3));
}

void UserDefaults::announceProblem() {
    const SaveProblem problem = m_saveProblem;
    QMetaObject::invokeMethod(
        this, [this, problem] { emit saveProblemChanged(problem); }, Qt::QueuedConnection);
}

void UserDefaults::finishJournals() {
    std::lock_guard saveLock(m_saveMutex);
    for (auto& journal : m_journals)
        SettingsFileCommit::finish(journal);
    m_journals.clear();
}

bool UserDefaults::mergeEdit(const QByteArray& base, const QByteArray& edited) {
    const QJsonObject before = QJsonDocument::fromJson(base).object();
    const QJsonDocument doc = QJsonDocument::fromJson(edited);
    if (!doc.isObject()) return false; // nothing of it can be told apart from damage
    const QJsonObject after = doc.object();
    QSet<QString> keys;
    for (auto it = before.begin(); it != before.end(); ++it)
        keys.insert(it.key());
    for (auto it = after.begin(); it != after.end(); ++it)
        keys.insert(it.key());
    QStringList changedKeys;
    {
        QWriteLocker lock(&m_lock);
        for (const QString& key : std::as_const(keys)) {
            const QJsonValue value = after.value(key);
            // Not an edit of this key; or a write of ours newer than the save.
            if (value == before.value(key) || m_dirty.contains(key)) continue;
            if (m_values.value(key) == value) continue;
            if (value.isUndefined())
                m_values.remove(key);
            else
                m_values.insert(key, value);
            m_dirty.insert(key);
            changedKeys << key;
        }
    }
    if (changedKeys.isEmpty()) return false;
    announce(changedKeys);
    return true;
}
