// Runs alone (no other test in parallel): it times the real application's start.
#include "ShellSession.h"

using ShellStartup = ShellSession;

TEST_F(ShellStartup, StoredTintIsOnTheRampsWithinASecondOfStart) {
    seedTint();
    // The first start of a binary pays for loading it from disk; time a warm start.
    {
        QProcess& warmup = launch();
        ASSERT_TRUE(waitForLog(warmup, QStringLiteral("launch succeeded")));
        killAndExpectDeathBy(warmup, SIGTERM);
    }
    qint64 elapsed = 0;
    launch();
    EXPECT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 3400); }, 3000, &elapsed));
    EXPECT_LT(elapsed, 1000) << "first tint after " << elapsed << " ms";
}
