#include "TestStore.h"

#include <QThread>
#include <csignal>
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
