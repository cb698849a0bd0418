#include "app/SessionEnd.h"
#include "core/UserDefaults.h"
#include "support/TestStore.h"

#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Reports its destruction: tells whether static destruction ran.
struct StaticMarker {
    int fd;
    ~StaticMarker() { (void)!::write(fd, "s", 1); }
};

} // namespace

TEST(SessionEnd, AnExitFromInsideTheLoopSavesAndLeavesWithoutStaticTeardown) {
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/settings.json");
    const ChildEnd lost = runChild([&](int fd) {
        static StaticMarker marker{fd};
        auto* store = new UserDefaults(path);
        store->setDouble(QStringLiteral("halcyra.temperature"), 3000);
        store->setDouble(QStringLiteral("halcyra.temperature"), 2700); // still coalescing
        SessionEnd::arm([store] { store->synchronize(); });
        std::exit(1); // as Qt's X11 plugin does when the server goes away
    });
    ASSERT_TRUE(WIFEXITED(lost.status));
    EXPECT_EQ(WEXITSTATUS(lost.status), 1);
    EXPECT_EQ(lost.report, QByteArray());
    EXPECT_EQ(UserDefaults(path).doubleValue(QStringLiteral("halcyra.temperature")), 2700);

    // Disarmed, exit() is ordinary again: no last will, static destruction runs.
    const ChildEnd ordinary = runChild([&](int fd) {
        static StaticMarker marker{fd};
        SessionEnd::arm([fd] { (void)!::write(fd, "w", 1); });
        SessionEnd::disarm();
        std::exit(0);
    });
    ASSERT_TRUE(WIFEXITED(ordinary.status));
    EXPECT_EQ(WEXITSTATUS(ordinary.status), 0);
    EXPECT_EQ(ordinary.report, QByteArray("s"));
}
