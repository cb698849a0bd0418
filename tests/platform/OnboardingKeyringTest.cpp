// The onboarding marker through a real keyring (gnome-keyring) on a private session bus.
#include "platform/linux/LinuxOnboardingMarker.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>

namespace {

TEST(OnboardingKeyring, TheMarkIsAKeyringItemWhereAKeyringAnswers) {
    if (QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        GTEST_SKIP() << "gnome-keyring or dbus-daemon is not installed";
    QTemporaryDir home;
    const QString runtime = home.path() + QStringLiteral("/run");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toLocal8Bit());

    // A bus of our own, ended with the test.
    QProcess bus;
    bus.start(QStringLiteral("dbus-daemon"),
              {QStringLiteral("--session"), QStringLiteral("--print-address"),
               QStringLiteral("--nofork")});
    ASSERT_TRUE(bus.waitForStarted(5000));
    QByteArray address;
    while (!address.contains('\n') && bus.waitForReadyRead(5000))
        address += bus.readAllStandardOutput();
    ASSERT_FALSE(address.trimmed().isEmpty());
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.trimmed());

    QProcess keyring;
    keyring.start(QStringLiteral("gnome-keyring-daemon"),
                  {QStringLiteral("--unlock"), QStringLiteral("--components=secrets"),
                   QStringLiteral("--daemonize")});
    keyring.write("test-password");
    keyring.closeWriteChannel();
    ASSERT_TRUE(keyring.waitForFinished(10000));

    const QString file = home.path() + QStringLiteral("/data/halcyra/onboarding-completed");
    LinuxOnboardingMarker marker(file);
    QElapsedTimer waited;
    waited.start();
    while (!LinuxOnboardingMarker::keyringHasItem() && waited.elapsed() < 5000)
        QThread::msleep(50); // the keyring claims its name on the bus
    EXPECT_EQ(LinuxOnboardingMarker::keyringHasItem(), false);
    EXPECT_FALSE(marker.exists());
    marker.markCompleted();
    marker.markCompleted(); // replaces, never a second item
    EXPECT_EQ(LinuxOnboardingMarker::keyringHasItem(), true);
    EXPECT_FALSE(QFileInfo::exists(file)) << "the keyring took the mark";
    EXPECT_TRUE(LinuxOnboardingMarker(file).exists());
    bus.terminate();
    bus.waitForFinished(3000);
}

} // namespace
