#include "app/SignalRelay.h"
#include "support/TestStore.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int g_reportFd = -1;
void reportDeadline() {
    const char byte = 'd';
    ssize_t ignored = ::write(g_reportFd, &byte, 1);
    (void)ignored;
}

} // namespace

TEST(SignalRelay, UsrOneArrivesOnTheMainLoop) {
    SignalRelay& relay = SignalRelay::install();
    EXPECT_EQ(&relay, &SignalRelay::install());
    int reloads = 0;
    QObject::connect(&relay, &SignalRelay::reloadRequested, [&] { ++reloads; });
    ::raise(SIGUSR1);
    ::raise(SIGUSR1);
    EXPECT_TRUE(waitUntil([&] { return reloads == 2; }, 2000));
}

TEST(SignalRelay, TerminationIsHandledOnTheLoopThenEndsByTheSignal) {
    // Closing the terminal (HUP) and Ctrl-\ (QUIT) end the process as Ctrl-C does.
    for (const int signo : {SIGINT, SIGHUP, SIGQUIT}) {
        const ChildEnd end = runChild([signo](int fd) {
            g_reportFd = fd;
            const rlimit noCore{0, 0};
            ::setrlimit(RLIMIT_CORE, &noCore);
            SignalRelay& relay = SignalRelay::install();
            QObject::connect(&relay, &SignalRelay::terminationRequested, [](int received) {
                const char byte = char('0' + received);
                ssize_t ignored = ::write(g_reportFd, &byte, 1);
                (void)ignored;
                SignalRelay::finishTermination(received);
            });
            ::raise(signo);
            waitUntil([] { return false; }, 1500);
        });
        ASSERT_TRUE(WIFSIGNALED(end.status)) << signo;
        EXPECT_EQ(WTERMSIG(end.status), signo);
        EXPECT_EQ(end.report, QByteArray(1, char('0' + signo)));
        EXPECT_LT(end.elapsedMs, 1500);
    }
}

TEST(SignalRelay, AStuckLoopStillEndsByTheSignalAfterTheDeadline) {
    const ChildEnd end = runChild([](int fd) {
        g_reportFd = fd;
        SignalRelay::install();
        SignalRelay::setDeadlineAction(&reportDeadline);
        ::raise(SIGTERM);
        // The main loop never runs again.
        ::sleep(10);
    });
    ASSERT_TRUE(WIFSIGNALED(end.status));
    EXPECT_EQ(WTERMSIG(end.status), SIGTERM);
    EXPECT_EQ(end.report, "d");
    EXPECT_GE(end.elapsedMs, 1800);
    EXPECT_LT(end.elapsedMs, 5000);
}
