// Files other programs or users can replace: read without stalling or swallowing a
// device, written private to this user whatever the umask.
#include "core/BoundedFile.h"
#include "core/Logging.h"
#include "core/PrivateFile.h"
#include "core/StateFile.h"
#include "core/UserDefaults.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

mode_t modeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// Runs with the given umask, as a session started with it would.
class Umask {
public:
    explicit Umask(mode_t mask) : m_previous(::umask(mask)) {}
    ~Umask() { ::umask(m_previous); }

private:
    mode_t m_previous;
};

class StateFolder : public ::testing::Test {
protected:
    void SetUp() override { qputenv("XDG_STATE_HOME", QFile::encodeName(m_dir.path())); }
    void TearDown() override { qunsetenv("XDG_STATE_HOME"); }
    QString folder() const { return m_dir.path() + QStringLiteral("/halcyra"); }
    QStringList setAside() const {
        return QDir(folder()).entryList({QStringLiteral("*.corrupt-*")},
                                        QDir::Files | QDir::System);
    }
    QTemporaryDir m_dir;
};

} // namespace

TEST_F(StateFolder, ARecordThatIsNoSmallRegularFileIsSetAsideWithoutStalling) {
    const QString name = QStringLiteral("night-light.json");
    const QString path = StateFile::path(name);
    QDir().mkpath(folder());
    struct Case {
        const char* what;
        std::function<void()> make;
    };
    const std::vector<Case> cases = {
        {"fifo", [&] { ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0); }},
        {"/dev/zero", [&] { ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path)); }},
        {"runaway",
         [&] {
             QFile f(path);
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
             f.write("{\"enabled\": \"" + QByteArray(1 << 20, 'x') + "\"}");
         }},
        {"not json", [&] {
             QFile f(path);
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
             f.write("{\"enabled\": tr");
         }}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const QString& old : setAside())
            QFile::remove(folder() + QLatin1Char('/') + old);
        c.make();
        LogCapture log;
        QElapsedTimer t;
        t.start();
        EXPECT_FALSE(StateFile::read(name));
        EXPECT_LT(t.elapsed(), 1000);
        EXPECT_EQ(setAside().size(), 1);
        EXPECT_TRUE(log.contains(QStringLiteral("Unreadable state file")));
        // Out of the way: the next record is a plain file that reads back.
        ASSERT_TRUE(StateFile::write(name, {{QStringLiteral("enabled"), true}}));
        EXPECT_EQ(StateFile::read(name).value_or(QJsonObject{}).value("enabled"), true);
        StateFile::remove(name);
    }
    // A record damaged at every start leaves only the newest few copies behind.
    for (int i = 0; i < 5; ++i) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("{\"enabled\": " + QByteArray::number(i));
        f.close();
        EXPECT_FALSE(StateFile::read(name));
        QThread::msleep(2); // each start its own timestamp
    }
    EXPECT_EQ(setAside().size(), 3);
}

TEST_F(StateFolder, RecordsAndTheirFolderArePrivateUnderAnyUmaskAndALooseFolderIsTightened) {
    {
        Umask open(0);
        ASSERT_TRUE(StateFile::write(QStringLiteral("dithering.json"), {{"on", true}}));
        EXPECT_EQ(modeOf(StateFile::path(QStringLiteral("dithering.json"))), 0600u);
        EXPECT_EQ(modeOf(folder()), 0700u);
        // Parents it has to create (a fresh account's ~/.local/state) are private too.
        const QString deep = m_dir.path() + QStringLiteral("/a/b/marker");
        ASSERT_TRUE(PrivateFile::write(deep, "true"));
        EXPECT_EQ(modeOf(deep), 0600u);
        EXPECT_EQ(modeOf(m_dir.path() + QStringLiteral("/a")), 0700u);
        EXPECT_EQ(modeOf(m_dir.path() + QStringLiteral("/a/b")), 0700u);
    }
    ASSERT_EQ(::chmod(QFile::encodeName(folder()).constData(), 0777), 0);
    LogCapture log;
    ASSERT_TRUE(StateFile::write(QStringLiteral("dithering.json"), {{"on", false}}));
    EXPECT_EQ(modeOf(folder()), 0755u);
    ASSERT_EQ(::chmod(QFile::encodeName(folder()).constData(), 0775), 0);
    ASSERT_TRUE(StateFile::write(QStringLiteral("dithering.json"), {{"on", true}}));
    EXPECT_EQ(modeOf(folder()), 0755u);
    EXPECT_EQ(log.messages().filter(QStringLiteral("could be written by other users")).size(), 1)
        << log.messages().join('\n').toStdString();
}

TEST_F(StateFolder, AFolderThatIsALinkOrAnotherUsersIsNeitherUsedNorChanged) {
    // A shared sticky folder the state folder links to, and a real folder of another
    // user's (the tests run as root, so "another user" is made with chown).
    const QString shared = m_dir.path() + QStringLiteral("/shared");
    const QString foreign = m_dir.path() + QStringLiteral("/foreign");
    for (const QString& dir : {shared, foreign}) {
        ASSERT_TRUE(QDir().mkpath(dir));
        QFile theirs(dir + QStringLiteral("/night-light.json"));
        ASSERT_TRUE(theirs.open(QIODevice::WriteOnly));
        theirs.write("{\"enabled\": tr");
        QFile settings(dir + QStringLiteral("/settings.json"));
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write("{\"halcyra.enabled\": true}");
    }
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(foreign).constData(), 0777), 0);
    ASSERT_EQ(::chown(QFile::encodeName(foreign).constData(), 65534, 65534), 0);
    const QStringList before[] = {QDir(shared).entryList(QDir::Files | QDir::Hidden),
                                  QDir(foreign).entryList(QDir::Files | QDir::Hidden)};
    int which = 0;
    for (const QString& target : {shared, foreign}) {
        SCOPED_TRACE(target.toStdString());
        QFile::remove(folder());
        if (target == shared)
            ASSERT_TRUE(QFile::link(shared, folder()));
        else
            ASSERT_EQ(::rename(QFile::encodeName(foreign).constData(),
                               QFile::encodeName(folder()).constData()),
                      0);
        const QString inPlace = target == shared ? shared : folder();
        LogCapture log;
        EXPECT_FALSE(StateFile::read(QStringLiteral("night-light.json")));
        for (int i = 0; i < 3; ++i)
            EXPECT_FALSE(StateFile::write(QStringLiteral("dithering.json"), {{"on", true}}));
        StateFile::remove(QStringLiteral("night-light.json"));
        {
            UserDefaults settings(folder() + QStringLiteral("/settings.json"));
            EXPECT_FALSE(settings.contains(QStringLiteral("halcyra.enabled")));
            settings.setBool(QStringLiteral("halcyra.warm"), true);
            EXPECT_FALSE(settings.synchronize());
            EXPECT_EQ(settings.saveProblem(), UserDefaults::SaveProblem::folderNotWritable);
        }
        // Nothing read, written, set aside or removed there, and its mode is as it was.
        EXPECT_EQ(QDir(inPlace).entryList(QDir::Files | QDir::Hidden), before[which++]);
        EXPECT_EQ(modeOf(inPlace), target == shared ? 01777u : 0777u);
        EXPECT_EQ(log.messages().filter(QStringLiteral("keeps nothing in")).size(), 1)
            << log.messages().join('\n').toStdString();
        if (target == foreign) {
            ASSERT_EQ(::rename(QFile::encodeName(folder()).constData(),
                               QFile::encodeName(foreign).constData()),
                      0);
        }
    }
}

TEST(BoundedFile, TheHeadOfAKernelFileIsReadWhateverItsSizeAndNothingElseBlocks) {
    // /proc reports 0 bytes for a file with content, as sysfs reports 4096 for one line.
    const BoundedFile::Read status = BoundedFile::readHead(QStringLiteral("/proc/self/status"), 64);
    ASSERT_TRUE(status.ok()) << status.error.toStdString();
    EXPECT_EQ(status.bytes.size(), 64);
    EXPECT_TRUE(status.bytes.startsWith("Name:"));

    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(BoundedFile::readHead(fifo, 64).status, BoundedFile::Read::Status::unreadable);
    EXPECT_EQ(BoundedFile::readHead(QStringLiteral("/dev/zero"), 64).status,
              BoundedFile::Read::Status::unreadable);
    EXPECT_LT(t.elapsed(), 1000);
    EXPECT_EQ(BoundedFile::readHead(dir.filePath(QStringLiteral("none")), 64).status,
              BoundedFile::Read::Status::missing);
}
