// The onboarding marker's file road (no keyring on the bus).
#include "platform/linux/LinuxOnboardingMarker.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(OnboardingMarker, WithoutAKeyringAPrivateFileOnDiskBeforeMarkingReturns) {
    // No session bus at all: only the file road is left.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/halcyra-test-bus");
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/halcyra/onboarding-completed");
    EXPECT_FALSE(LinuxOnboardingMarker(path).exists());
    EXPECT_FALSE(LinuxOnboardingMarker::keyringHasItem());

    // A child marks and is killed at once; the mark is on disk all the same.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        LinuxOnboardingMarker(path).markCompleted();
        ::kill(::getpid(), SIGKILL);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_TRUE(LinuxOnboardingMarker(path).exists());
    EXPECT_EQ(int(QFileInfo(path).permissions() & 0x0777),
              int(QFileDevice::ReadUser | QFileDevice::WriteUser))
        << "only the owner may read it";

    LinuxOnboardingMarker again(path);
    again.markCompleted(); // replaces the old mark
    EXPECT_TRUE(again.exists());
}

} // namespace
