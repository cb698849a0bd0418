#pragma once

#include "SettingsFileCommit.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QReadWriteLock>
#include <QSet>
#include <QString>
#include <QStringList>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class QFileSystemWatcher;
class QTimer;

// The application's key-value store: one JSON object in
// $XDG_CONFIG_HOME/halcyra/settings.json. Booleans, numbers, strings and string
// arrays are kept as their JSON kinds, raw bytes as {"$data": "<base64>"}.
//
// Typed reads report a value of another kind as absent. Every save is atomic
// (temporary file beside the file, rename), so a process killed at any moment leaves
// a file that parses and holds every key saved before. A write of a durable key
// (DurableKeys, declared in the key table) is saved before the write returns; other
// writes are coalesced to one save per 100 ms, or, while a burst (a 60 Hz ramp) is
// open, to one when it closes (at least one per 5 s). synchronize() (called at quit and on
// termination) saves everything pending at once. Reads may come from any thread. Changes, ours or
// another process's edit of the file, are announced on the main thread with the changed keys. An
// edit made by hand is merged in before each save.
class UserDefaults : public QObject {
    Q_OBJECT
public:
    static inline const QString didChangeNotification = QStringLiteral("UserDefaultsDidChange");

    explicit UserDefaults(const QString& filePath, QObject* parent = nullptr);
    ~UserDefaults() override;

    // The store every component uses. Created on first use at defaultPath().
    static UserDefaults& standard();
    // Replaces the standard store (tests, and the application after it has settled
    // its environment). Returns the new store.
    static UserDefaults& resetStandard(const QString& filePath);
    static QString defaultPath();

    QString filePath() const { return m_path; }

    bool contains(const QString& key) const;
    QJsonValue object(const QString& key) const;
    std::optional<bool> boolValue(const QString& key) const;
    std::optional<double> doubleValue(const QString& key) const;  // finite numbers only
    std::optional<qint64> integerValue(const QString& key) const; // whole numbers only
    std::optional<QString> stringValue(const QString& key) const;
    std::optional<QStringList> stringArrayValue(const QString& key) const;
    std::optional<QByteArray> dataValue(const QString& key) const;

    // The platform-style typed readings: false / 0 / 0.0 when absent or mistyped.
    bool boolean(const QString& key) const { return boolValue(key).value_or(false); }
    double doubleNumber(const QString& key) const { return doubleValue(key).value_or(0.0); }
    qint64 integer(const QString& key) const { return integerValue(key).value_or(0); }

    void setBool(const QString& key, bool value);
    void setDouble(const QString& key, double value);
    void setInteger(const QString& key, qint64 value);
    void setString(const QString& key, const QString& value);
    void setStringArray(const QString& key, const QStringList& value);
    void setData(const QString& key, const QByteArray& value);
    void setObject(const QString& key, const QJsonValue& value);
    void remove(const QString& key);

    // Re-reads the file and announces the keys whose values differ. Returns false
    // when the file could not be read or parsed (the values in memory stay).
    bool reload();

    // Saves pending writes now. Returns false when the file could not be written.
    bool synchronize();

    // Why the settings cannot be saved just now. A folder or file without its owner's
    // write permission is taken as the user's choice: the file is left as it is, the
    // changes stay in memory, and each later change (or a change of the file) tries
    // again.
    enum class SaveProblem { none, folderNotWritable, fileReadOnly, writeFailed };
    SaveProblem saveProblem() const { return m_saveProblem; }
    QString saveProblemDetail() const; // the folder or file, and the system's reason
    // What the user is told about it (a notice, the settings window); empty when none.
    QString saveProblemText() const;
    static inline const QString saveProblemTitle =
        QStringLiteral("Halcyra cannot save its settings");

    // A writer that writes many times a second (a value ramp) opens a burst while it
    // runs: its writes are saved when the last burst closes (and every 5 s while one
    // stays open). Durable keys are saved at once regardless.
    void beginBurst();
    void endBurst();

    // Writes that guard one step together (a launch's marker and its counts) open a
    // group: a durable write inside it is saved with the others when the outermost
    // group closes, before that returns, so the step costs one save and the file never
    // holds half of them. Honoured on the store's own thread.
    class Group {
    public:
        explicit Group(UserDefaults& defaults);
        ~Group();
        Group(const Group&) = delete;
        Group& operator=(const Group&) = delete;

    private:
        UserDefaults& m_defaults;
        bool m_open;
    };

signals:
    void changed(const QStringList& keys);
    // The save problem appeared, changed or went away (main thread).
    void saveProblemChanged(UserDefaults::SaveProblem problem);

private:
    void store(const QString& key, const QJsonValue& value);
    enum class SaveResult { saved, savedOverAnEdit, failed, editedMeanwhile };
    void requestSave(bool now);
    bool load(bool announce);
    SaveResult save(const QJsonObject& snapshot);
    QString writeTarget() const;
    void setAsideBadFile(const QByteArray& reason, bool move);
    SaveResult refuse(SaveProblem problem, const QString& detail);
    bool mergeEdit(const QByteArray& base, const QByteArray& edited);
    void finishJournals();
    void announceProblem();
    void announce(const QStringList& keys);
    void watch();
    void onFileEvent();

    const QString m_path;
    mutable QReadWriteLock m_lock;
    QJsonObject m_values;
    // One synchronize() at a time. Recursive: an observer told of a merged edit during a
    // save may write, and a durable write saves at once.
    std::recursive_mutex m_syncMutex;
    mutable std::mutex m_saveMutex;
    QByteArray m_lastWritten;
    QJsonObject m_lastSaved; // what the file held after our last save or read
    bool m_reloadPending = false;
    QSet<QString> m_dirty; // written since the last save; win over a reload
    QTimer* m_saveTimer = nullptr;
    std::atomic<qint64> m_lastSaveMs{-1'000'000};
    int m_bursts = 0;            // open bursts (owner's thread)
    int m_groups = 0;            // open groups (owner's thread)
    bool m_groupDurable = false; // a durable write waits for the group to close
    bool m_savesBlocked = false; // an unreadable file that could not be set aside
    std::atomic<SaveProblem> m_saveProblem{SaveProblem::none};
    QString m_saveProblemDetail;    // under m_saveMutex
    QSet<QString> m_loggedProblems; // each cause logged once per run
    QByteArray m_replacedEdit;      // an edit our last save swapped out, to merge,
    QByteArray m_replacedBase;      // and the file that save was based on
    std::vector<SettingsFileCommit::Journal> m_journals; // until their edits are saved
    std::unique_ptr<QFileSystemWatcher> m_watcher;
};
