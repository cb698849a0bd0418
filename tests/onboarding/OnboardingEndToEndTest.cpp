#include "app/ShellSession.h"

#include <QStandardPaths>

using OnboardingEndToEnd = ShellSession;

TEST_F(OnboardingEndToEnd, AFirstStartSweepsTheDisplaysAndEscGivesTheStoredWarmthBack) {
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        GTEST_SKIP() << "xdotool is not installed";
    launch(); // a fresh settings file: a first start
    // The first-run warmth, then the sweep: neutral, then deep warm.
    ASSERT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 2000, 4.0); }, 8000));
    EXPECT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 6500, 0.0); }, 4000));
    EXPECT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 1800, 4.0); }, 4000));

    QProcess key;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_server.display());
    key.setProcessEnvironment(env);
    key.start(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Escape")});
    ASSERT_TRUE(key.waitForFinished(5000));
    ASSERT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 2000, 4.0); }, 3000));
    // Settled: the sweep does not come back, and the takeover is marked as seen.
    QThread::msleep(1500);
    EXPECT_TRUE(isTint(ramps(), 2000, 4.0));
    const QJsonObject stored = readSettings();
    EXPECT_EQ(stored.value(PrefKey::temperature).toDouble(), 2000);
    EXPECT_TRUE(stored.value(PrefKey::enabled).toBool());
    EXPECT_TRUE(stored.value(PrefKey::welcomeShown).toBool());
}
