#pragma once

#include "core/UserDefaults.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <functional>

// A fresh standard settings store in a temporary folder for the life of a test.
class TestStore {
public:
    TestStore();
    UserDefaults& defaults() { return *m_defaults; }
    QString dir() const { return m_dir.path(); }
    QString path() const { return m_dir.path() + QStringLiteral("/halcyra/settings.json"); }

private:
    QTemporaryDir m_dir;
    UserDefaults* m_defaults;
};

// Runs the event loop until `condition` holds or `timeoutMs` passes.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 3000);

// Runs `step` in a forked child and kills the child with SIGKILL the moment `step`
// returns, before anything else runs in it. True when the child died by that signal.
// What the step left on disk is then all a later start would find.
bool killedRightAfter(const std::function<void()>& step);

// Counts the saves of a file from the kernel's notes of the renames that put a new
// version in its place, from construction on.
class SaveCounter {
public:
    explicit SaveCounter(const QString& path);
    ~SaveCounter();
    SaveCounter(const SaveCounter&) = delete;
    SaveCounter& operator=(const SaveCounter&) = delete;
    int saves(); // since the last call

private:
    int m_fd = -1;
    QByteArray m_name;
};

// How a forked child ended, how long it ran and what it wrote to its report pipe.
struct ChildEnd {
    int status = 0; // as waitpid() gives it
    qint64 elapsedMs = 0;
    QByteArray report;
};

// Runs `body` in a forked child, which ends the process itself (it exits with 99 when
// `body` returns), and waits for it. `body` gets the write end of the report pipe.
ChildEnd runChild(const std::function<void(int reportFd)>& body);
