#include "platform/DoNotDisturbProbe.h"
#include "platform/LinuxDoNotDisturbProbe.h"
#include "platform/LinuxScreenReaderProbe.h"

#include <QDBusConnection>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(DoNotDisturbProbe, AssertionsFileFormat) {
    using S = DoNotDisturbState;
    EXPECT_EQ(DoNotDisturbProbe::stateFromAssertions(R"({"storeAssertionRecords": []})"),
              S::inactive);
    EXPECT_EQ(DoNotDisturbProbe::stateFromAssertions(R"({"storeAssertionRecords": [{"id": 1}]})"),
              S::active);
    EXPECT_EQ(DoNotDisturbProbe::stateFromAssertions(R"({"storeAssertionRecords": {}})"),
              S::inactive);
    EXPECT_EQ(DoNotDisturbProbe::stateFromAssertions(R"({"other": 1})"), S::inactive);
    EXPECT_EQ(DoNotDisturbProbe::stateFromAssertions(R"([{"storeAssertionRecords": [1]}])"),
              S::unknown);
    EXPECT_EQ(DoNotDisturbProbe::stateFromAssertions("not json"), S::unknown);
    EXPECT_EQ(DoNotDisturbProbe::stateFromAssertions(""), S::unknown);

    QTemporaryDir dir;
    const QString path = dir.filePath("Assertions.json");
    EXPECT_EQ(DoNotDisturbProbe::stateFromAssertionsFile(path), S::unknown);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"storeAssertionRecords": [{"assertionDetails": {}}]})");
    file.close();
    EXPECT_EQ(DoNotDisturbProbe::stateFromAssertionsFile(path), S::active);
    EXPECT_TRUE(DoNotDisturbProbe::assertionsFilePath().endsWith(
        "/Library/DoNotDisturb/DB/Assertions.json"));

    // Without a bus to ask, the file decides; a screen reader counts as off.
    const QDBusConnection noBus =
        QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "sound-test-none");
    ASSERT_FALSE(noBus.isConnected());
    EXPECT_EQ(LinuxDoNotDisturbProbe(noBus, path).state(), S::active);
    EXPECT_EQ(LinuxDoNotDisturbProbe(noBus, dir.filePath("missing.json")).state(), S::unknown);
    EXPECT_FALSE(LinuxScreenReaderProbe(noBus).isRunning());
}
