#include "core/UserDefaults.h"
#include "core/DurableKeys.h"
#include "core/Logging.h"
#include "support/TestStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QStringList corruptCopies(const QString& dir) {
    return QDir(dir).entryList({QStringLiteral("settings.json.corrupt-*")},
                               QDir::Files | QDir::System);
}

QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Another program rewriting the file in one step with one key changed.
void editByHand(const QString& path, const QString& key, const QJsonValue& value) {
    QJsonObject o = QJsonDocument::fromJson(readBytes(path)).object();
    o.insert(key, value);
    QSaveFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QJsonDocument(o).toJson());
    ASSERT_TRUE(f.commit());
}

const QString kDurableKey = DurableKeys::declare(QStringLiteral("test.durable"));

} // namespace

TEST(UserDefaults, TypedReadsReportOtherKindsAsAbsent) {
    TestStore store;
    UserDefaults& d = store.defaults();
    d.setString("s", "3000");
    d.setDouble("n", 2700);
    d.setBool("b", true);
    d.setStringArray("a", {"x", "y"});
    d.setData("d", QByteArray("\x00\xff raw", 6));
    d.setInteger("i", 42);

    EXPECT_FALSE(d.doubleValue("s"));
    EXPECT_EQ(d.doubleValue("n"), 2700.0);
    EXPECT_FALSE(d.boolValue("n"));
    EXPECT_EQ(d.boolValue("b"), true);
    EXPECT_FALSE(d.stringValue("b"));
    EXPECT_EQ(d.stringArrayValue("a"), QStringList({"x", "y"}));
    EXPECT_FALSE(d.stringArrayValue("s"));
    EXPECT_EQ(d.dataValue("d"), QByteArray("\x00\xff raw", 6));
    EXPECT_FALSE(d.dataValue("a"));
    EXPECT_EQ(d.integerValue("i"), 42);
    EXPECT_FALSE(d.integerValue("missing"));
    d.setDouble("frac", 2.5);
    EXPECT_FALSE(d.integerValue("frac"));
    // The platform-style readings fall back to zero values.
    EXPECT_FALSE(d.boolean("n"));
    EXPECT_EQ(d.doubleNumber("s"), 0.0);
}

TEST(UserDefaults, ValuesSurviveAReopenAndTheFileIsPrivate) {
    TestStore store;
    store.defaults().setDouble("halcyra.temperature", 2700);
    store.defaults().setData("blob", "abc");
    store.defaults().remove("blob");
    UserDefaults reopened(store.path());
    EXPECT_EQ(reopened.doubleValue("halcyra.temperature"), 2700.0);
    EXPECT_FALSE(reopened.contains("blob"));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(store.path()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // Non-finite numbers cannot live in JSON: refused, the old value stays.
    reopened.setDouble("halcyra.temperature", std::numeric_limits<double>::infinity());
    EXPECT_EQ(reopened.doubleValue("halcyra.temperature"), 2700.0);
}

TEST(UserDefaults, BadFilesAreSetAsideNeverOverwritten) {
    const QList<QByteArray> bad{
        QByteArray("{\"halcyra.enabled\": tr"),        // truncated
        QByteArray("\x89PNG\r\n\x1a\n\0\0binary", 16), // binary
        QByteArray("[1, 2, 3]"),                       // not an object
        QByteArray("{\"k\": \"\xff\xfe\"}"),           // not UTF-8
    };
    for (const QByteArray& bytes : bad) {
        QTemporaryDir dir;
        const QString path = dir.path() + "/settings.json";
        writeFile(path, bytes);
        UserDefaults d(path);
        EXPECT_FALSE(d.contains("halcyra.enabled"));
        const QStringList copies = corruptCopies(dir.path());
        ASSERT_EQ(copies.size(), 1) << bytes.toHex().constData();
        QFile kept(dir.path() + "/" + copies.first());
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), bytes);
        d.setBool("halcyra.enabled", true); // a fresh file, the bad one untouched
        EXPECT_EQ(UserDefaults(path).boolValue("halcyra.enabled"), true);
    }
    // Bad files met again and again, at start (moved) and while running (copied): only
    // the newest few are kept.
    QTemporaryDir dir;
    const QString path = dir.path() + "/settings.json";
    for (int i = 0; i < 6; ++i) {
        writeFile(path, "{\"start\": " + QByteArray::number(i));
        UserDefaults d(path);
        EXPECT_EQ(corruptCopies(dir.path()).size(), std::min(i + 1, 3));
    }
    UserDefaults running(path);
    for (int i = 0; i < 4; ++i) {
        writeFile(path, "{\"running\": " + QByteArray::number(i));
        EXPECT_FALSE(running.reload());
    }
    const QStringList copies = corruptCopies(dir.path());
    ASSERT_EQ(copies.size(), 3);
    EXPECT_EQ(readBytes(dir.path() + "/" + copies.last()), "{\"running\": 3");
}

TEST(UserDefaults, ASaveIsAlwaysAFileTheNextStartReadsBack) {
    constexpr qint64 limit = 4 * 1024 * 1024;
    // Files a read accepts whose indented form is far larger: a long list, a file at the
    // limit, a deeply nested value.
    QByteArray longList = "{\"halcyra.list\":[";
    for (int i = 0; i < 400'127; ++i)
        longList += i ? ",1" : "1";
    longList += "]}\n";
    QByteArray atLimit = "{\"halcyra.enabled\":false,\"halcyra.note\":\"";
    atLimit += QByteArray(limit - atLimit.size() - 2, 'x') + "\"}";
    QByteArray deep = "{\"halcyra.deep\":" + QByteArray(1023, '[') + QByteArray(1023, ']') + "}";
    deep += QByteArray(2318 - deep.size(), ' ');
    const QList<std::pair<QByteArray, qint64>> cases{
        {longList, 800'273}, {atLimit, limit}, {deep, 2318}};
    for (const auto& [bytes, size] : cases) {
        SCOPED_TRACE(size);
        ASSERT_EQ(bytes.size(), size);
        const QJsonObject original = QJsonDocument::fromJson(bytes).object();
        ASSERT_FALSE(original.isEmpty());
        ASSERT_GT(QJsonDocument(original).toJson().size(), limit);
        QTemporaryDir dir;
        const QString path = dir.path() + "/settings.json";
        writeFile(path, bytes);
        {
            UserDefaults d(path);
            d.setBool("halcyra.enabled", true);
            ASSERT_TRUE(d.synchronize());
        }
        EXPECT_LE(QFileInfo(path).size(), limit);
        UserDefaults back(path);
        EXPECT_EQ(back.boolValue("halcyra.enabled"), true);
        for (auto it = original.begin(); it != original.end(); ++it) {
            if (it.key() != "halcyra.enabled") {
                EXPECT_EQ(back.object(it.key()), it.value());
            }
        }
        EXPECT_TRUE(corruptCopies(dir.path()).isEmpty());
    }

    // Too large even compact, or nested deeper than a read goes: the file on disk stays
    // as it was, and the log says so once.
    QTemporaryDir dir;
    const QString path = dir.path() + "/settings.json";
    writeFile(path, atLimit);
    UserDefaults d(path);
    LogCapture log;
    d.setString("halcyra.more", "more than fits");
    EXPECT_FALSE(d.synchronize());
    d.setString("halcyra.more", "more than fits still");
    EXPECT_FALSE(d.synchronize());
    EXPECT_EQ(readBytes(path), atLimit);
    EXPECT_EQ(d.saveProblem(), UserDefaults::SaveProblem::writeFailed);
    EXPECT_TRUE(d.saveProblemText().contains("4 MiB")) << d.saveProblemText().toStdString();
    EXPECT_EQ(log.messages().filter("Could not save the settings").size(), 1);
    d.remove("halcyra.more");
    d.remove("halcyra.note");
    EXPECT_TRUE(d.synchronize());
    EXPECT_EQ(UserDefaults(path).stringValue("halcyra.note"), std::nullopt);
    const QByteArray small = readBytes(path);
    QJsonValue deeper = QJsonArray();
    for (int i = 0; i < 1100; ++i)
        deeper = QJsonArray{deeper};
    d.setObject("halcyra.deep", deeper);
    EXPECT_FALSE(d.synchronize());
    EXPECT_EQ(readBytes(path), small);
    d.remove("halcyra.deep");
    EXPECT_TRUE(d.synchronize());
    EXPECT_TRUE(corruptCopies(dir.path()).isEmpty());
}

TEST(UserDefaults, NumbersTooLargeForADoubleNeverCrash) {
    // The JSON parser refuses such a file: it is set aside and the defaults apply.
    QTemporaryDir dir;
    const QString path = dir.path() + "/settings.json";
    writeFile(path, "{\"halcyra.temperature\": 1e999, \"halcyra.brightness\": 0.5}");
    UserDefaults d(path);
    EXPECT_FALSE(d.doubleValue("halcyra.temperature"));
    EXPECT_EQ(corruptCopies(dir.path()).size(), 1);
}

TEST(UserDefaults, WriterKilledMidSaveLeavesEveryEarlierKey) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/settings.json";
    // A child process writes keys as fast as it can and is killed at a varying moment,
    // once it has reported its first save (a loaded machine may start it slowly).
    for (int round = 0; round < 5; ++round) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(ready[0]);
            UserDefaults d(path);
            for (int i = 0;; ++i) {
                d.setInteger(QStringLiteral("key.%1.%2").arg(round).arg(i % 400), i);
                d.synchronize(); // a save on every write, to be killed inside one
                if (i == 0) (void)!::write(ready[1], "x", 1);
            }
        }
        ::close(ready[1]);
        char byte = 0;
        ASSERT_EQ(::read(ready[0], &byte, 1), 1);
        ::close(ready[0]);
        ::usleep(2000 + round * 7000);
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        UserDefaults reread(path);
        EXPECT_TRUE(corruptCopies(dir.path()).isEmpty());
        for (int earlier = 0; earlier <= round; ++earlier)
            EXPECT_TRUE(reread.contains(QStringLiteral("key.%1.0").arg(earlier))) << round;
    }
}

TEST(UserDefaults, AnEditByAnotherProcessIsAnnounced) {
    TestStore store;
    UserDefaults& d = store.defaults();
    d.setDouble("halcyra.temperature", 3400);
    d.setBool("halcyra.enabled", true);
    QStringList announced;
    QObject::connect(&d, &UserDefaults::changed,
                     [&](const QStringList& keys) { announced << keys; });

    // Another process rewrites the file in place.
    QProcess::execute("sh", {"-c", QStringLiteral("sed -i 's/3400/2700/' '%1'").arg(store.path())});
    ASSERT_TRUE(waitUntil([&] { return d.doubleValue("halcyra.temperature") == 2700.0; }));
    EXPECT_EQ(announced, QStringList{"halcyra.temperature"});

    // Our own saves are not announced twice.
    announced.clear();
    d.setBool("halcyra.enabled", false);
    waitUntil([] { return false; }, 400);
    EXPECT_EQ(announced, QStringList{"halcyra.enabled"});
}

TEST(UserDefaults, RapidWritesAreCoalescedAndNeverLost) {
    TestStore store;
    UserDefaults& d = store.defaults();
    d.setDouble("halcyra.brightness", 0.0);
    const QDateTime firstSave = QFileInfo(store.path()).lastModified();
    for (int frame = 1; frame <= 60; ++frame)
        d.setDouble("halcyra.brightness", frame / 60.0);
    // In memory at once; on disk within the throttle window.
    EXPECT_EQ(d.doubleValue("halcyra.brightness"), 1.0);
    EXPECT_EQ(UserDefaults(store.path()).doubleValue("halcyra.brightness"), 0.0);
    ASSERT_TRUE(waitUntil(
        [&] { return UserDefaults(store.path()).doubleValue("halcyra.brightness") == 1.0; }, 1000));
    (void)firstSave;

    // A hand edit arriving while a write is pending keeps both.
    d.setDouble("halcyra.temperature", 3000);
    d.setDouble("halcyra.brightness", 0.5); // pending
    QProcess::execute("sh", {"-c", QStringLiteral("sed -i 's/3000/2700/' '%1'").arg(store.path())});
    d.reload();
    EXPECT_EQ(d.doubleValue("halcyra.brightness"), 0.5);
    EXPECT_TRUE(d.synchronize());
    UserDefaults reread(store.path());
    EXPECT_EQ(reread.doubleValue("halcyra.brightness"), 0.5);
}

TEST(UserDefaults, ReadsFromAnotherThreadAreSafe) {
    TestStore store;
    UserDefaults& d = store.defaults();
    d.setDouble("halcyra.temperature", 0);
    std::atomic<bool> stop{false};
    std::atomic<int> reads{0};
    std::atomic<int> bad{0};
    std::thread reader([&] {
        // The writer only counts up: a reader must never see the key missing, of
        // another kind, or going back.
        double last = 0;
        while (!stop) {
            const auto v = d.doubleValue("halcyra.temperature");
            if (!v || *v < last) ++bad;
            last = v.value_or(last);
            ++reads;
        }
    });
    for (int i = 1; i <= 300 || reads < 1000; ++i)
        d.setDouble("halcyra.temperature", i);
    stop = true;
    reader.join();
    EXPECT_EQ(bad.load(), 0);
}

TEST(UserDefaults, DurableWritesAreOnDiskBeforeTheyReturn) {
    TestStore store;
    UserDefaults& d = store.defaults();
    // Ordinary writes are coalesced: the second of two quick ones waits for a later save.
    ASSERT_TRUE(killedRightAfter([&] {
        d.setDouble("halcyra.brightness", 0.2);
        d.setDouble("halcyra.brightness", 0.3);
    }));
    EXPECT_EQ(UserDefaults(store.path()).doubleValue("halcyra.brightness"), 0.2);
    // A durable write is saved at once, and carries what was pending with it.
    ASSERT_TRUE(killedRightAfter([&] {
        d.setDouble("halcyra.brightness", 0.4);
        d.setDouble("halcyra.brightness", 0.5);
        d.setBool(kDurableKey, true);
    }));
    UserDefaults afterKill(store.path());
    EXPECT_EQ(afterKill.doubleValue("halcyra.brightness"), 0.5);
    EXPECT_EQ(afterKill.boolValue(kDurableKey), true);
}

TEST(UserDefaults, ABurstIsSavedOnceWhenItEndsNotWhileItRuns) {
    TestStore store;
    UserDefaults& d = store.defaults();
    d.setDouble("halcyra.brightness", 1.0);
    d.beginBurst();
    QByteArray onDisk = readBytes(store.path());
    int saves = 0;
    QElapsedTimer t;
    t.start();
    for (int frame = 1; frame <= 60; ++frame) {
        d.setDouble("halcyra.brightness", 1.0 - frame / 120.0);
        waitUntil([&] { return t.elapsed() >= frame * 1000 / 60; }, 100);
        if (const QByteArray now = readBytes(store.path()); now != onDisk) {
            ++saves;
            onDisk = now;
        }
    }
    EXPECT_EQ(saves, 0) << "a one-second ramp writes the file only when it settles";
    d.setBool(kDurableKey, true); // durable within a burst all the same
    EXPECT_EQ(UserDefaults(store.path()).boolValue(kDurableKey), true);
    d.setDouble("halcyra.brightness", 0.25);
    d.endBurst();
    EXPECT_EQ(UserDefaults(store.path()).doubleValue("halcyra.brightness"), 0.25);
}

TEST(UserDefaults, OnlySmallRegularFilesAreReadTheRestIsSetAside) {
    for (int kind = 0; kind < 3; ++kind) {
        QTemporaryDir dir;
        const QString path = dir.path() + "/settings.json";
        if (kind == 0) {
            ASSERT_TRUE(QFile::link("/dev/zero", path));
        } else if (kind == 1) {
            ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        }
        if (kind == 2) writeFile(path, "{\"k\": \"" + QByteArray(5 << 20, 'x') + "\"}");
        UserDefaults d(path); // returns: no endless read, no wait for a writer
        EXPECT_FALSE(d.contains("k")) << kind;
        EXPECT_EQ(corruptCopies(dir.path()).size(), 1) << kind;
        d.setBool("halcyra.enabled", true);
        EXPECT_TRUE(QFileInfo(path).isFile() && !QFileInfo(path).isSymLink()) << kind;
        EXPECT_EQ(UserDefaults(path).boolValue("halcyra.enabled"), true) << kind;
    }
}

TEST(UserDefaults, StaleTemporariesGoAndALinkedFileIsSavedThroughTheLink) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/halcyra/settings.json";
    const QString target = dir.path() + "/dotfiles/halcyra.json";
    writeFile(target, "{\"halcyra.temperature\": 2700}");
    QDir().mkpath(dir.path() + "/halcyra");
    ASSERT_TRUE(QFile::link("../dotfiles/halcyra.json", path));
    // Left by writers killed before their rename; the last one's writer is still alive.
    writeFile(path + ".tmp-aaaaaa", "");
    writeFile(target + ".tmp-bbbbbb", "");
    writeFile(path + ".tmp-cccccc", "");
    QFile live(path + ".tmp-cccccc");
    ASSERT_TRUE(live.open(QIODevice::ReadOnly));
    ASSERT_EQ(::flock(live.handle(), LOCK_EX), 0);

    UserDefaults d(path);
    EXPECT_EQ(d.doubleValue("halcyra.temperature"), 2700.0);
    d.setBool("halcyra.enabled", true);
    EXPECT_TRUE(QFileInfo(path).isSymLink());
    EXPECT_EQ(UserDefaults(target).boolValue("halcyra.enabled"), true);
    EXPECT_EQ(UserDefaults(target).doubleValue("halcyra.temperature"), 2700.0);
    EXPECT_EQ(QDir(dir.path() + "/halcyra").entryList({"*.tmp-*"}, QDir::Files),
              QStringList{"settings.json.tmp-cccccc"});
    EXPECT_TRUE(QDir(dir.path() + "/dotfiles").entryList({"*.tmp-*"}, QDir::Files).isEmpty());
}

TEST(UserDefaults, AnEditLandingWhileASaveIsUnderWayIsKept) {
    TestStore store;
    UserDefaults& d = store.defaults();
    d.setDouble("halcyra.temperature", 3400);
    d.setDouble("halcyra.brightness", 0.5); // pending
    // One edit by hand before the save re-reads the file, and one right after it has.
    editByHand(store.path(), "halcyra.enabled", true);
    bool second = false;
    QObject::connect(&d, &UserDefaults::changed, [&](const QStringList& keys) {
        if (second || !keys.contains("halcyra.enabled")) return;
        second = true;
        editByHand(store.path(), "halcyra.intensity", 2.0);
        d.setBool(kDurableKey, true); // an observer writing while the save is under way
    });
    ASSERT_TRUE(d.synchronize());
    ASSERT_TRUE(second);
    UserDefaults reread(store.path());
    EXPECT_EQ(reread.boolValue("halcyra.enabled"), true);
    EXPECT_EQ(reread.doubleValue("halcyra.intensity"), 2.0);
    EXPECT_EQ(reread.doubleValue("halcyra.brightness"), 0.5);
    EXPECT_EQ(reread.boolValue(kDurableKey), true);
}
