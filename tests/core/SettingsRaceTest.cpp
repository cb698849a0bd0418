// Another program editing settings.json while the store saves: no edit of theirs may be
// undone, with or without the store being killed; and a file or folder the user made
// read-only is left alone.
#include "core/Logging.h"
#include "core/UserDefaults.h"
#include "support/TestStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QJsonObject readObject(const QString& path) {
    return QJsonDocument::fromJson(readBytes(path)).object();
}

// Replaces the file in one step, as editors and scripts do.
void replaceFile(const QString& path, const QJsonObject& o, const QString& tag = "edit") {
    const QString tmp = path + QStringLiteral(".") + tag + QStringLiteral("-tmp");
    QFile f(tmp);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(QJsonDocument(o).toJson());
    f.close();
    ASSERT_EQ(::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(path).constData()), 0);
}

ino_t inodeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

// A store in a child process saving a change of its own every couple of milliseconds,
// far more often than the application does; it writes a byte to `reportFd` per save.
pid_t startSaver(const QString& path, int reportFd, int stopAfterMs) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    {
        UserDefaults store(path);
        QElapsedTimer t;
        t.start();
        for (qint64 i = store.integer("saver.count"); t.elapsed() < stopAfterMs; ++i) {
            store.setInteger(QStringLiteral("saver.count"), i);
            if (store.synchronize()) (void)!::write(reportFd, "s", 1);
            ::usleep(1000 + (i % 4) * 500);
        }
    }
    ::_exit(0);
}

struct Race {
    int edits = 0;
    int lost = 0;
    int saves = 0;
    int kills = 0;
};

// The outside editor: every 10–40 ms it reads the file, adds a key of its own and
// replaces the file, while the saver runs (and, with `kills`, is killed at random and
// started again). Every key the editor ever wrote must be in the file at the end.
Race race(const QString& path, int seconds, bool kills) {
    Race r;
    int report[2];
    if (::pipe(report) != 0) return r;
    const int runMs = seconds * 1000;
    std::mt19937 random(kills ? 11 : 7);
    QElapsedTimer t;
    t.start();
    pid_t saver = startSaver(path, report[1], runMs);
    qint64 nextKill = kills ? 100 + random() % 400 : -1;
    while (t.elapsed() < runMs) {
        QJsonObject o = readObject(path);
        o.insert(QStringLiteral("editor.%1").arg(r.edits), r.edits);
        replaceFile(path, o);
        ++r.edits;
        const qint64 until = t.elapsed() + 10 + random() % 31;
        while (t.elapsed() < until) {
            if (kills && t.elapsed() >= nextKill) {
                ::kill(saver, SIGKILL);
                ::waitpid(saver, nullptr, 0);
                ++r.kills;
                saver = startSaver(path, report[1], int(runMs - t.elapsed()));
                nextKill = t.elapsed() + 100 + random() % 400;
            }
            QThread::usleep(500);
        }
    }
    ::waitpid(saver, nullptr, 0);
    // One clean start after the last edit: it finishes whatever a kill cut short.
    { UserDefaults last(path); }
    ::close(report[1]);
    char buf[4096];
    ssize_t n;
    while ((n = ::read(report[0], buf, sizeof buf)) > 0)
        r.saves += int(n);
    ::close(report[0]);
    const QJsonObject end = readObject(path);
    for (int i = 0; i < r.edits; ++i)
        if (!end.contains(QStringLiteral("editor.%1").arg(i))) ++r.lost;
    return r;
}

int raceSeconds() {
    bool ok = false;
    const int s = qEnvironmentVariableIntValue("HALCYRA_RACE_SECONDS", &ok);
    return ok && s > 0 ? s : 12;
}

} // namespace

TEST(SettingsRace, AnOutsideEditorRacingTheSavesNeverLosesAnEdit) {
    for (const bool kills : {false, true}) {
        SCOPED_TRACE(kills ? "with kills" : "without kills");
        QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/settings.json");
        replaceFile(path, {{QStringLiteral("halcyra.enabled"), true}});
        const Race r = race(path, raceSeconds(), kills);
        std::printf("[ race ] %s: %d edits, %d saves, %d kills, %d lost\n",
                    kills ? "with kills" : "without kills", r.edits, r.saves, r.kills, r.lost);
        EXPECT_GT(r.edits, 100);
        EXPECT_GT(r.saves, r.edits);
        EXPECT_EQ(r.lost, 0);
        EXPECT_EQ(readObject(path).value("halcyra.enabled"), true);
        // Nothing of the saves' bookkeeping is left beside the file.
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                  QStringList{QStringLiteral("settings.json")});
    }
}

TEST(SettingsRace, AnEditASaveSwappedOutBeforeItsKillIsMergedAtTheNextStart) {
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/settings.json");
    // What a save killed right after its swap leaves: its own file in place, the base it
    // read pinned by a link named after that file, and the edit it replaced under its
    // temporary's name.
    replaceFile(path, {{"halcyra.temperature", 3000}, {"halcyra.enabled", true}});
    const QString base = path + QStringLiteral(".base-Ab12Cd-") + QString::number(inodeOf(path));
    replaceFile(base, {{"halcyra.temperature", 2700}, {"halcyra.enabled", true}}, "b");
    replaceFile(path + QStringLiteral(".tmp-Ab12Cd"),
                {{"halcyra.temperature", 2700}, {"halcyra.enabled", false}, {"by.hand", 1}}, "o");
    // And one killed before its swap: its temporary still holds its own file.
    replaceFile(path + QStringLiteral(".tmp-Zz99Yy"), {{"halcyra.temperature", 1000}}, "z");
    const QString early =
        path + QStringLiteral(".base-Zz99Yy-") + QString::number(inodeOf(path + ".tmp-Zz99Yy"));
    ASSERT_TRUE(QFile::link(path, early));

    LogCapture log;
    UserDefaults d(path);
    EXPECT_EQ(d.doubleValue("halcyra.temperature"), 3000.0) << "the save's own change stands";
    EXPECT_EQ(d.boolValue("halcyra.enabled"), false) << "the edit it swapped out is back";
    EXPECT_EQ(d.integerValue("by.hand"), 1);
    const QJsonObject disk = readObject(path);
    EXPECT_EQ(disk.value("halcyra.enabled"), false);
    EXPECT_EQ(disk.value("by.hand"), 1);
    EXPECT_EQ(disk.value("halcyra.temperature"), 3000);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
              QStringList{QStringLiteral("settings.json")});
    EXPECT_EQ(log.messages().filter(QStringLiteral("merged it back")).size(), 1);
}

TEST(SettingsRace, AReadOnlyFileIsLeftAloneAndAnUnwritableFolderIsToldOnce) {
    TestStore store;
    UserDefaults& d = store.defaults();
    d.setDouble("halcyra.temperature", 3400);
    ASSERT_TRUE(d.synchronize());
    const QByteArray before = readBytes(store.path());
    const ino_t inode = inodeOf(store.path());
    ASSERT_EQ(::chmod(QFile::encodeName(store.path()).constData(), 0444), 0);

    LogCapture log;
    QList<UserDefaults::SaveProblem> told;
    QObject::connect(&d, &UserDefaults::saveProblemChanged,
                     [&](UserDefaults::SaveProblem p) { told << p; });
    for (int i = 0; i < 5; ++i) {
        d.setDouble("halcyra.brightness", 0.5 + i * 0.1);
        EXPECT_FALSE(d.synchronize());
    }
    EXPECT_EQ(readBytes(store.path()), before);
    EXPECT_EQ(inodeOf(store.path()), inode);
    EXPECT_EQ(QFileInfo(store.path()).permissions() & QFile::WriteOwner, 0);
    EXPECT_EQ(d.doubleValue("halcyra.brightness"), 0.9) << "kept in memory";
    EXPECT_EQ(d.saveProblem(), UserDefaults::SaveProblem::fileReadOnly);
    EXPECT_TRUE(d.saveProblemText().contains(QStringLiteral("read-only")));
    EXPECT_EQ(log.messages().filter(QStringLiteral("read-only")).size(), 1);

    // Made writable again: noticed when the file changes, and the changes are saved.
    ASSERT_EQ(::chmod(QFile::encodeName(store.path()).constData(), 0644), 0);
    ASSERT_TRUE(waitUntil([&] { return readObject(store.path()).contains("halcyra.brightness"); }));
    EXPECT_EQ(d.saveProblem(), UserDefaults::SaveProblem::none);

    // A folder without write permission: each change tries again, the log tells once.
    const QString folder = QFileInfo(store.path()).absolutePath();
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
    log.clear();
    for (int i = 0; i < 4; ++i) {
        d.setDouble("halcyra.intensity", i);
        EXPECT_FALSE(d.synchronize());
    }
    EXPECT_EQ(d.saveProblem(), UserDefaults::SaveProblem::folderNotWritable);
    EXPECT_EQ(log.messages().filter(QStringLiteral("Could not save the settings")).size(), 1);
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
    d.setDouble("halcyra.intensity", 9);
    EXPECT_TRUE(d.synchronize());
    EXPECT_EQ(readObject(store.path()).value("halcyra.intensity"), 9);
    QCoreApplication::processEvents();
    EXPECT_EQ(told, (QList<UserDefaults::SaveProblem>{UserDefaults::SaveProblem::fileReadOnly,
                                                      UserDefaults::SaveProblem::none,
                                                      UserDefaults::SaveProblem::folderNotWritable,
                                                      UserDefaults::SaveProblem::none}));
}

TEST(SettingsRace, AFolderTheSystemRefusesIsToldAsUnwritable) {
    // Root passes every permission check, so the system's own refusal is seen by a
    // child that gave up root; as any other user the folder is simply not ours.
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/halcyra");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    const ChildEnd end = runChild([&](int fd) {
        if (::getuid() == 0 && ::setuid(65534) != 0) ::_exit(3);
        UserDefaults d(folder + QStringLiteral("/settings.json"));
        d.setBool("halcyra.enabled", true);
        const bool saved = d.synchronize();
        const char verdict =
            !saved && d.saveProblem() == UserDefaults::SaveProblem::folderNotWritable ? 'y' : 'n';
        (void)!::write(fd, &verdict, 1);
    });
    EXPECT_EQ(end.report, QByteArray("y"));
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/settings.json")));
}
