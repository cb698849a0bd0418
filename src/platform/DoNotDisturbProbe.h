#pragma once

#include <QByteArray>
#include <QString>

enum class DoNotDisturbState { active, inactive, unknown };

// Whether the desktop holds back notifications (do not disturb). Reads are cheap
// and may come from any thread.
class DoNotDisturbProbe {
public:
    virtual ~DoNotDisturbProbe() = default;
    virtual DoNotDisturbState state() const = 0;

    // The assertions file's rule: an object whose "storeAssertionRecords" array has
    // a record is active, an empty array or no array is inactive, anything that is
    // not a JSON object is unknown.
    static DoNotDisturbState stateFromAssertions(const QByteArray& json);
    // The same for a file; an unreadable file is unknown.
    static DoNotDisturbState stateFromAssertionsFile(const QString& path);
    // Where the assertions file is looked for: under the user's home folder.
    static QString assertionsFilePath();
};
