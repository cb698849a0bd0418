#include "app/SessionEnd.h"
#include "core/UserDefaults.h"

#include <QTemporaryDir>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Reports its destruction: tells whether static destruction ran.
struct StaticMarker {
    int fd;
    ~StaticMarker() { (void)!::write(fd, "s", 1); }
};

struct ChildEnd {
    int status = 0;
    QByteArray report;
};

// Runs `body` (which ends the process itself) in a child and waits for it.
ChildEnd runChild(const std::function<void(int reportFd)>& body) {
    int fds[2];
    EXPECT_EQ(::pipe(fds), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        body(fds[1]);
        ::_exit(99);
    }
    ::close(fds[1]);
    ChildEnd end;
    ::waitpid(pid, &end.status, 0);
    char buf[16];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
        end.report.append(buf, n);
    ::close(fds[0]);
    return end;
}

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
