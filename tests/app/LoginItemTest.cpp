// The autostart entry on disk and the mirror that follows it.
#include "app/LoginItemCompat.h"

#include "core/Logging.h"
#include "core/Preferences.h"
#include "platform/Platform.h"
#include "platform/linux/XdgAutostartEntry.h"
#include "platform/simulated/SimulatedAutostartEntry.h"
#include "support/TestStore.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using State = AutostartEntry::State;

TEST(XdgAutostartEntry, FileIsTheAnswerAndExecIsQuoted) {
    QTemporaryDir dir;
    const QString exe = QStringLiteral(R"(/opt/My Apps/a$b"c\d%e/halcyra)");
    XdgAutostartEntry entry(dir.path(), exe);
    EXPECT_EQ(entry.status(), State::disabled) << "no file: off";

    QString error;
    ASSERT_TRUE(entry.setRegistered(true, &error)) << error.toStdString();
    EXPECT_EQ(entry.status(), State::enabled);
    QFile f(entry.filePath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    f.close();
    EXPECT_TRUE(text.contains(QStringLiteral(R"(Exec="/opt/My Apps/a\\$b\\"c\\\\d%%e/halcyra")"
                                             "\n")))
        << text.toStdString();

    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("Hidden=true\n");
    f.close();
    EXPECT_EQ(entry.status(), State::disabled) << "hidden: off";

    if (::geteuid() != 0) {
        f.setPermissions({});
        EXPECT_EQ(entry.status(), State::unknown) << "an unreadable file says nothing";
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }
    ASSERT_TRUE(entry.setRegistered(false, &error));
    EXPECT_FALSE(QFile::exists(entry.filePath()));
    EXPECT_EQ(entry.status(), State::disabled);
}

// Entries as the desktop's own tools leave them: GNOME's session settings switch an
// entry off with their own key rather than removing it.
TEST(XdgAutostartEntry, AnEntrySwitchedOffByEitherKeyReadsAsOff) {
    struct Case {
        const char* lines;
        State expected;
    };
    const Case cases[] = {
        {"X-GNOME-Autostart-enabled=false\n", State::disabled},
        {"X-GNOME-Autostart-enabled = false\n", State::disabled},
        {"X-GNOME-Autostart-enabled=true\n", State::enabled},
        {"Hidden=true\n", State::disabled},
        {"Hidden=false\n", State::enabled},
        {"Hidden=true\nX-GNOME-Autostart-enabled=true\n", State::disabled},
        // Keys of another group say nothing about the entry.
        {"[Desktop Action quit]\nX-GNOME-Autostart-enabled=false\nHidden=true\n", State::enabled},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        QTemporaryDir dir;
        XdgAutostartEntry entry(dir.path(), QStringLiteral("/usr/bin/halcyra"));
        ASSERT_TRUE(entry.setRegistered(true, nullptr));
        QFile f(entry.filePath());
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write(c.lines);
        f.close();
        EXPECT_EQ(entry.status(), c.expected);
    }
}

TEST(XdgAutostartEntry, ExecStartsTheBinaryThatIsRunning) {
    // An installed copy writes its installed path, a build-folder copy its own.
    QTemporaryDir dir;
    XdgAutostartEntry entry(dir.path());
    ASSERT_TRUE(entry.setRegistered(true, nullptr));
    QFile f(entry.filePath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString exe = QCoreApplication::applicationFilePath();
    ASSERT_TRUE(QFileInfo(exe).isAbsolute());
    EXPECT_TRUE(QString::fromUtf8(f.readAll())
                    .contains(QStringLiteral("\nExec=") + XdgAutostartEntry::execValue(exe) +
                              QLatin1Char('\n')));
}

TEST(XdgAutostartEntry, OnlyTheUserCanWriteTheEntryWhateverTheUmask) {
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("config"));
    const mode_t saved = ::umask(0);
    XdgAutostartEntry entry(config, QStringLiteral("/usr/bin/halcyra"));
    const bool created = entry.setRegistered(true, nullptr);
    auto mode = [](const QString& path) {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0u;
    };
    const mode_t file = mode(entry.filePath());
    const mode_t autostart = mode(config + QStringLiteral("/autostart"));
    const mode_t parent = mode(config);
    // An entry someone left open is closed again when it is rewritten.
    ::chmod(QFile::encodeName(entry.filePath()).constData(), 0666);
    const bool rewritten = entry.setRegistered(true, nullptr);
    const mode_t again = mode(entry.filePath());
    ::umask(saved);

    ASSERT_TRUE(created);
    ASSERT_TRUE(rewritten);
    EXPECT_EQ(file, 0644u);
    EXPECT_EQ(again, 0644u);
    EXPECT_EQ(autostart, 0700u) << "the folders it had to make";
    EXPECT_EQ(parent, 0700u);
    EXPECT_EQ(entry.status(), State::enabled);
}

struct LoginItem : ::testing::Test {
    TestStore store;
    LogCapture log;
    SimulatedAutostartEntry* entry = nullptr;
    LoginItem() {
        Platform::setInstance(Platform::makeSimulated());
        entry = Platform::instance().simulatedAutostartEntry();
    }
    ~LoginItem() override { Platform::setInstance(Platform::makeSimulated()); }
    std::optional<bool> mirror() { return store.defaults().boolValue(PrefKey::launchAtLogin); }
};

TEST_F(LoginItem, ReconcileTrustsAKnownSystemAnswerOnly) {
    entry->state = State::enabled;
    EXPECT_EQ(LoginItemCompat::reconcile(), State::enabled);
    EXPECT_EQ(mirror(), true);
    EXPECT_TRUE(log.contains(QStringLiteral(
        "Launch-at-login preference said off but the OS reports on; trusting the OS")));

    log.clear();
    entry->forcedReadBack = State::unknown;
    store.defaults().setBool(PrefKey::launchAtLogin, false);
    EXPECT_EQ(LoginItemCompat::reconcile(), State::unknown);
    EXPECT_EQ(mirror(), false);
    EXPECT_TRUE(log.messages().isEmpty());
}

TEST_F(LoginItem, ApplyStoresWhatTheSystemReadsBack) {
    entry->forcedReadBack = State::disabled; // the system overrides the request
    EXPECT_EQ(LoginItemCompat::apply(true), State::disabled);
    EXPECT_EQ(mirror(), false);
    EXPECT_TRUE(log.messages().isEmpty()) << "the write itself succeeded";

    store.defaults().setBool(PrefKey::launchAtLogin, true);
    entry->refuseWith = QStringLiteral("read-only folder");
    entry->forcedReadBack = State::unknown;
    EXPECT_EQ(LoginItemCompat::apply(false), State::unknown);
    EXPECT_EQ(mirror(), true) << "an unknown read-back leaves the mirror";
    EXPECT_TRUE(log.contains(
        QStringLiteral("Failed to unregister login item (autostart entry): read-only folder")));
    EXPECT_TRUE(log.contains(QStringLiteral("Launch-at-login disable: neither the write nor the "
                                            "read-back could establish state")));
    EXPECT_TRUE(log.contains(
        QStringLiteral("Launch-at-login unregister did not take; the OS reports unknown")));
}

} // namespace
