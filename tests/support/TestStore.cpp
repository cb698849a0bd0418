#include "TestStore.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/inotify.h>
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

SaveCounter::SaveCounter(const QString& path)
    : m_name(QFile::encodeName(QFileInfo(path).fileName())) {
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd >= 0)
        inotify_add_watch(m_fd, QFile::encodeName(QFileInfo(path).absolutePath()), IN_MOVED_TO);
}

SaveCounter::~SaveCounter() {
    if (m_fd >= 0) ::close(m_fd);
}

int SaveCounter::saves() {
    int n = 0;
    alignas(inotify_event) char buffer[4096];
    for (ssize_t got; (got = ::read(m_fd, buffer, sizeof buffer)) > 0;) {
        for (char* p = buffer; p < buffer + got;) {
            const auto* e = reinterpret_cast<const inotify_event*>(p);
            if (e->len && m_name == e->name) ++n;
            p += sizeof(inotify_event) + e->len;
        }
    }
    return n;
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
