#include "TestStore.h"

#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

TestStore::TestStore() {
    m_defaults = &UserDefaults::resetStandard(path());
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

bool killedRightAfter(const std::function<void()>& step) {
    int ready[2];
    if (::pipe(ready) != 0) return false;
    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        ::close(ready[0]);
        step();
        (void)!::write(ready[1], "x", 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char byte = 0;
    const bool stepDone = ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return stepDone && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

ChildEnd runChild(const std::function<void(int reportFd)>& body) {
    ChildEnd end;
    int fds[2];
    if (::pipe(fds) != 0) {
        ADD_FAILURE() << "no pipe for the child's report";
        return end;
    }
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        body(fds[1]);
        ::_exit(99);
    }
    ::close(fds[1]);
    if (pid < 0) {
        ::close(fds[0]);
        ADD_FAILURE() << "fork failed";
        return end;
    }
    ::waitpid(pid, &end.status, 0);
    end.elapsedMs = timer.elapsed();
    char buf[16];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
        end.report.append(buf, n);
    ::close(fds[0]);
    return end;
}
