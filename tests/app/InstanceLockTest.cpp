#include "core/Logging.h"
#include "platform/linux/LinuxInstanceLock.h"
#include "platform/simulated/SimulatedInstanceLock.h"
#include "support/TestStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

TEST(LinuxInstanceLock, SecondHolderIsRefusedAndBringsTheFirstForward) {
    QTemporaryDir dir;
    LinuxInstanceLock first(dir.path() + QStringLiteral("/halcyra"));
    LinuxInstanceLock second(dir.path() + QStringLiteral("/halcyra"));
    ASSERT_TRUE(first.tryAcquire());
    EXPECT_TRUE(first.isHeld());
    EXPECT_FALSE(second.tryAcquire());
    EXPECT_FALSE(second.isHeld());
    EXPECT_EQ(second.holderPid(), QCoreApplication::applicationPid());

    int activations = 0;
    QObject::connect(&first, &InstanceLock::activationRequested, [&] { ++activations; });
    // requestActivation blocks until written; the holder reads it on its loop.
    EXPECT_TRUE(second.requestActivation());
    EXPECT_TRUE(waitUntil([&] { return activations == 1; }, 2000));
}

TEST(LinuxInstanceLock, AKilledHolderLeavesNothingThatBlocksTheNextStart) {
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/halcyra");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        LinuxInstanceLock held(path);
        const char ok = held.tryAcquire() ? 'y' : 'n';
        ssize_t ignored = ::write(ready[1], &ok, 1);
        (void)ignored;
        ::pause();
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');
    LinuxInstanceLock other(path);
    EXPECT_FALSE(other.tryAcquire());
    EXPECT_EQ(other.holderPid(), child);

    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    // The socket file of the dead holder is still there; the new holder replaces it.
    EXPECT_TRUE(other.tryAcquire());
    LinuxInstanceLock third(path);
    int activations = 0;
    QObject::connect(&other, &InstanceLock::activationRequested, [&] { ++activations; });
    EXPECT_TRUE(third.requestActivation());
    EXPECT_TRUE(waitUntil([&] { return activations == 1; }, 2000));
}

TEST(LinuxInstanceLock, LongFolderUsesAShortSocketPathAndNoHolderAnswersNothing) {
    QTemporaryDir dir;
    const QString deep = dir.path() + QStringLiteral("/") + QString(90, QLatin1Char('x')) +
                         QStringLiteral("/halcyra");
    LinuxInstanceLock lock(deep);
    EXPECT_LE(QFile::encodeName(lock.socketPath()).size(), 100);
    EXPECT_FALSE(lock.requestActivation()); // nobody listens yet
    EXPECT_TRUE(lock.tryAcquire());
    LinuxInstanceLock second(deep);
    int activations = 0;
    QObject::connect(&lock, &InstanceLock::activationRequested, [&] { ++activations; });
    EXPECT_TRUE(second.requestActivation());
    EXPECT_TRUE(waitUntil([&] { return activations == 1; }, 2000));
}

TEST(LinuxInstanceLock, ALockThatIsNoFileOfOurOwnIsSetAsideUntouched) {
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/halcyra");
    const QString precious = dir.path() + QStringLiteral("/bashrc");
    auto writeFile = [](const QString& path, const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    };
    auto readFile = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString lock = folder + QStringLiteral("/instance.lock");
    const QByteArray pid = QByteArray::number(QCoreApplication::applicationPid()) + '\n';
    const std::vector<std::pair<const char*, std::function<void()>>> cases{
        {"a link", [&] { ASSERT_TRUE(QFile::link(precious, lock)); }},
        {"a hard link",
         [&] { ASSERT_EQ(::link(QFile::encodeName(precious), QFile::encodeName(lock)), 0); }},
        {"another user's file", [&] {
             writeFile(lock, "alias ls='ls -la'\n");
             ASSERT_EQ(::chown(QFile::encodeName(lock).constData(), 65534, 65534), 0);
         }}};
    for (const auto& [what, make] : cases) {
        SCOPED_TRACE(what);
        writeFile(precious, "alias ls='ls -la'\n");
        QFile::remove(lock);
        make();
        LogCapture log;
        {
            LinuxInstanceLock held(folder);
            ASSERT_TRUE(held.tryAcquire());
            EXPECT_TRUE(held.isHeld());
            EXPECT_EQ(readFile(precious), "alias ls='ls -la'\n");
            EXPECT_FALSE(QFileInfo(lock).isSymLink());
            EXPECT_EQ(readFile(lock), pid);
            EXPECT_TRUE(log.contains(QStringLiteral("left untouched and kept as")))
                << log.messages().join('\n').toStdString();
            LinuxInstanceLock second(folder);
            EXPECT_FALSE(second.tryAcquire()) << "the fresh lock still guards";
        }
        const QStringList kept = QDir(folder).entryList({QStringLiteral("instance.lock.corrupt-*")},
                                                        QDir::Files | QDir::System);
        ASSERT_FALSE(kept.isEmpty());
        EXPECT_EQ(readFile(folder + QLatin1Char('/') + kept.last()), "alias ls='ls -la'\n");
        for (const QString& name : kept)
            QFile::remove(folder + QLatin1Char('/') + name);
    }

    // A state folder that is a link into another folder: nothing is made there, and
    // Halcyra runs without the guard rather than not at all.
    const QString elsewhere = dir.path() + QStringLiteral("/etc");
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    const QString linked = dir.path() + QStringLiteral("/linked");
    ASSERT_TRUE(QFile::link(elsewhere, linked));
    LogCapture log;
    LinuxInstanceLock unguarded(linked);
    EXPECT_TRUE(unguarded.tryAcquire());
    EXPECT_FALSE(unguarded.isHeld());
    EXPECT_TRUE(QDir(elsewhere).isEmpty(QDir::AllEntries | QDir::System | QDir::Hidden |
                                        QDir::NoDotAndDotDot));
    EXPECT_TRUE(log.contains(QStringLiteral("running unguarded")));
}

TEST(SimulatedInstanceLock, ContendsWithinTheProcess) {
    auto first = std::make_unique<SimulatedInstanceLock>(QStringLiteral("sim-test"));
    SimulatedInstanceLock second(QStringLiteral("sim-test"));
    first->setPid(4242);
    EXPECT_TRUE(first->tryAcquire());
    EXPECT_FALSE(second.tryAcquire());
    EXPECT_EQ(second.holderPid(), 4242);
    int activations = 0;
    QObject::connect(first.get(), &InstanceLock::activationRequested, [&] { ++activations; });
    EXPECT_TRUE(second.requestActivation());
    EXPECT_TRUE(waitUntil([&] { return activations == 1; }, 1000));
    first.reset();
    EXPECT_TRUE(second.tryAcquire());
}
