// The autostart entry on disk and the mirror that follows it.
#include "app/LoginItemCompat.h"

#include "core/Logging.h"
#include "core/Preferences.h"
#include "platform/Platform.h"
#include "platform/linux/XdgAutostartEntry.h"
#include "platform/simulated/SimulatedAutostartEntry.h"
#include "support/TestStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
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
