// The real binary against hostile files and lost state: nothing it reads may stall or
// swallow the start, what it keeps is private, a read-only settings file is left alone,
// and a tint left by a kill is never taken for the displays' own ramps.
#include "ShellSession.h"

#include <QCryptographicHash>
#include <sys/stat.h>

namespace {

class ReliabilityEndToEnd : public ShellSession {
protected:
    QString stateFolder() const { return m_state.path() + QStringLiteral("/halcyra"); }

    static mode_t modeOf(const QString& path) {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
    }

    static qint64 rssKb(qint64 pid) {
        QFile f(QStringLiteral("/proc/%1/status").arg(pid));
        if (!f.open(QIODevice::ReadOnly)) return -1;
        for (const QByteArray& line : f.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').first().toLongLong();
        return -1;
    }

    // The displays' own ramps, as the server had them before the first start.
    Ramps linear() const { return XorgServer::identityRamps(m_crtc.gammaSize); }
    void SetUp() override {
        ShellSession::SetUp();
        if (!IsSkipped() && !HasFatalFailure())
            ASSERT_TRUE(m_server.setCrtcRamps(m_crtc.id, linear()));
    }
};

} // namespace

TEST_F(ReliabilityEndToEnd, AFifoOrADeviceAsAStateFileOrTheRoomLightNeverStallsTheStart) {
    const QString lux = m_state.path() + QStringLiteral("/lux");
    const QStringList files = {stateFolder() + QStringLiteral("/night-light.json"),
                               stateFolder() + QStringLiteral("/true-tone.json"),
                               stateFolder() + QStringLiteral("/dithering.json"), lux};
    for (const QString& file : files) {
        for (const bool fifo : {true, false}) {
            SCOPED_TRACE(
                (QFileInfo(file).fileName() + (fifo ? " fifo" : " /dev/zero")).toStdString());
            QDir().mkpath(stateFolder());
            QFile::remove(file);
            if (fifo)
                ASSERT_EQ(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
            else
                ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), file));
            seedTint(3400);
            QJsonObject s = readSettings();
            s.insert(PrefKey::adaptToRoomLighting, file == lux);
            writeSettings(s);
            QProcessEnvironment env;
            env.insert(QStringLiteral("HALCYRA_FAKE_LUX_FILE"), lux);
            m_log.clear();
            QProcess& app = launch(env);
            ASSERT_TRUE(waitForLog(app, QStringLiteral("launch succeeded"), 8000))
                << m_log.toStdString();
            ASSERT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 3400); }, 3000));
            if (file == lux)
                EXPECT_TRUE(waitForLog(app, QStringLiteral("Cannot read the room light"), 8000));
            else
                EXPECT_TRUE(QDir(stateFolder())
                                .entryList({QFileInfo(file).fileName() + ".corrupt-*"},
                                           QDir::System | QDir::Files)
                                .size() == 1);
            QThread::msleep(500);
            const qint64 rss = rssKb(app.processId());
            EXPECT_GT(rss, 0);
            EXPECT_LT(rss, 250 * 1024) << "RSS " << rss << " kB";
            std::printf("[ rss ] %s %s: %lld kB\n", qPrintable(QFileInfo(file).fileName()),
                        fifo ? "fifo" : "/dev/zero", rss);
            killAndExpectDeathBy(app, SIGTERM);
            EXPECT_EQ(ramps(), linear());
            QFile::remove(file);
            for (const QString& kept :
                 QDir(stateFolder()).entryList({"*.corrupt-*"}, QDir::System | QDir::Files))
                QFile::remove(stateFolder() + QLatin1Char('/') + kept);
        }
    }
}

TEST_F(ReliabilityEndToEnd, UnderAnOpenUmaskTheStateIsStillPrivate) {
    const mode_t previous = ::umask(0);
    // An existing folder others may write is tightened once; a fresh one is made 0700.
    ASSERT_TRUE(QDir().mkpath(stateFolder()));
    ASSERT_EQ(::chmod(QFile::encodeName(stateFolder()).constData(), 0777), 0);
    for (const bool fresh : {false, true}) {
        SCOPED_TRACE(fresh ? "fresh folder" : "loose folder");
        if (fresh) {
            ASSERT_TRUE(QDir(stateFolder()).removeRecursively());
        }
        seedTint(3400);
        m_log.clear();
        QProcess& app = launch();
        ASSERT_TRUE(waitForLog(app, QStringLiteral("launch succeeded"))) << m_log.toStdString();
        ASSERT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 3400); }, 3000));
        EXPECT_EQ(modeOf(stateFolder()), fresh ? 0700u : 0755u);
        EXPECT_EQ(modeOf(stateFolder() + QStringLiteral("/gamma-originals.json")), 0600u);
        EXPECT_EQ(modeOf(stateFolder() + QStringLiteral("/instance.lock")), 0600u);
        EXPECT_EQ(modeOf(settingsPath()), 0600u);
        EXPECT_EQ(
            m_log.count(
                QStringLiteral("The folder %1 could be written by other users").arg(stateFolder())),
            fresh ? 0 : 1)
            << m_log.toStdString();
        killAndExpectDeathBy(app, SIGTERM);
        EXPECT_EQ(ramps(), linear());
    }
    ::umask(previous);
}

TEST_F(ReliabilityEndToEnd, AReadOnlySettingsFileOrFolderIsLeftAloneAndToldOnce) {
    const QString folder = QFileInfo(settingsPath()).absolutePath();
    for (const bool wholeFolder : {false, true}) {
        SCOPED_TRACE(wholeFolder ? "folder 0555" : "file 0444");
        seedTint(3400);
        const QString locked = wholeFolder ? folder : settingsPath();
        ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), wholeFolder ? 0555 : 0444), 0);
        const QByteArray before = [&] {
            QFile f(settingsPath());
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        struct stat st {};
        ::stat(QFile::encodeName(settingsPath()).constData(), &st);
        const ino_t inode = st.st_ino;
        m_log.clear();
        QProcess& app = launch();
        ASSERT_TRUE(waitForLog(app, QStringLiteral("launch succeeded"))) << m_log.toStdString();
        ASSERT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 3400); }, 3000));
        ::kill(pid_t(app.processId()), SIGUSR1);
        waitForLog(app, QStringLiteral("SIGUSR1 received"));
        killAndExpectDeathBy(app, SIGTERM);
        EXPECT_EQ(ramps(), linear());
        QFile f(settingsPath());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), before);
        ::stat(QFile::encodeName(settingsPath()).constData(), &st);
        EXPECT_EQ(st.st_ino, inode);
        EXPECT_EQ(modeOf(locked), wholeFolder ? 0555u : 0444u);
        // Many saves were refused (the launch marker, the crash counts, the quit): one line.
        EXPECT_EQ(m_log.count(wholeFolder ? QStringLiteral("Could not save the settings")
                                          : QStringLiteral("The settings file is read-only")),
                  1)
            << m_log.toStdString();
        ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), wholeFolder ? 0755 : 0600), 0);
    }
}

TEST_F(ReliabilityEndToEnd, AMildTintOrSweepFrameLeftByAKillIsNotAdoptedWhenTheStateIsLost) {
    const Ramps own = customOriginals(m_crtc.gammaSize);
    const QString marker = m_state.path() + QStringLiteral("/data/halcyra/onboarding-completed");
    for (const bool sweep : {false, true}) {
        SCOPED_TRACE(sweep ? "takeover sweep" : "6000 K tint");
        ASSERT_TRUE(m_server.setCrtcRamps(m_crtc.id, own));
        QFile::remove(settingsPath());
        QFile::remove(marker);
        if (!sweep) seedTint(6000); // a fresh settings file otherwise: a first start
        m_log.clear();
        QProcess& first = launch();
        // A frame close to neutral: within the spread a display's own ramps may have.
        auto mild = [&](const Ramps& r) {
            if (r.red.empty() || r == own) return false;
            const double red = r.red.back(), blue = r.blue.back();
            return red > 60000 && blue < 0.97 * red && blue > 0.88 * red;
        };
        ASSERT_TRUE(waitForRamps(mild, sweep ? 12000 : 5000)) << m_log.toStdString();
        ::kill(pid_t(first.processId()), SIGKILL);
        ASSERT_TRUE(first.waitForFinished(3000));
        const Ramps left = ramps();
        ASSERT_TRUE(mild(left));
        ASSERT_TRUE(QDir(stateFolder()).removeRecursively());

        // The next start knows the tint for one, with no file to say so.
        seedTintOff();
        QDir().mkpath(QFileInfo(marker).absolutePath());
        QFile done(marker);
        ASSERT_TRUE(done.open(QIODevice::WriteOnly));
        done.write("true");
        done.close();
        m_log.clear();
        QProcess& second = launch();
        ASSERT_TRUE(waitForLog(second, QStringLiteral("launch succeeded"))) << m_log.toStdString();
        EXPECT_TRUE(m_log.contains(QStringLiteral("from a previous run on this X server")))
            << m_log.toStdString();
        killAndExpectDeathBy(second, SIGTERM);
        EXPECT_EQ(ramps(), own);
    }
}

TEST_F(ReliabilityEndToEnd, TheInstanceSocketInTheTempFolderGoesWithTheProcess) {
    // A state path too long for a socket address puts the socket in the temp folder.
    const QString longState = m_state.path() + QStringLiteral("/") + QString(90, QLatin1Char('s'));
    const QString dir = longState + QStringLiteral("/halcyra");
    const QString socket =
        QStringLiteral("%1/halcyra-%2-%3.sock")
            .arg(QDir::tempPath())
            .arg(::getuid())
            .arg(QString::fromLatin1(
                QCryptographicHash::hash(QFile::encodeName(dir), QCryptographicHash::Sha1)
                    .toHex()
                    .left(16)));
    seedTint(3400);
    QProcessEnvironment env;
    env.insert(QStringLiteral("XDG_STATE_HOME"), longState);
    for (const int signo : {SIGKILL, SIGTERM}) {
        m_log.clear();
        QProcess& app = launch(env);
        ASSERT_TRUE(waitForLog(app, QStringLiteral("launch succeeded"))) << m_log.toStdString();
        EXPECT_TRUE(QFileInfo::exists(socket)) << socket.toStdString();
        ::kill(pid_t(app.processId()), signo);
        ASSERT_TRUE(app.waitForFinished(5000));
        // A killed run cannot tidy up: the next start does, and then quits cleanly.
        EXPECT_EQ(QFileInfo::exists(socket), signo == SIGKILL);
    }
    EXPECT_EQ(ramps(), linear());
}
