#include "platform/linux/GammaSignalRestore.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <thread>
#include <unistd.h>

namespace {
std::atomic<int> g_requestWrite{-1};
std::atomic<int> g_ackRead{-1};

struct Worker {
    std::thread thread;
    int requestRead = -1;
    int ackWrite = -1;
};
std::mutex g_mutex;
Worker g_worker;
int g_token = 0;

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

void stopLocked() {
    const int requestWrite = g_requestWrite.exchange(-1);
    int ackRead = g_ackRead.exchange(-1);
    if (requestWrite >= 0) {
        const char quit = 'q';
        [[maybe_unused]] ssize_t n = ::write(requestWrite, &quit, 1);
    }
    if (g_worker.thread.joinable()) g_worker.thread.join();
    int w = requestWrite;
    closeFd(w);
    closeFd(ackRead);
    closeFd(g_worker.requestRead);
    closeFd(g_worker.ackWrite);
}
} // namespace

namespace GammaSignalRestore {

int install(std::function<void()> restore) {
    std::lock_guard lock(g_mutex);
    stopLocked();
    const int token = ++g_token;
    int request[2];
    int ack[2];
    if (::pipe2(request, O_CLOEXEC) != 0) return token;
    if (::pipe2(ack, O_CLOEXEC | O_NONBLOCK) != 0) {
        ::close(request[0]);
        ::close(request[1]);
        return token;
    }
    g_worker.requestRead = request[0];
    g_worker.ackWrite = ack[1];
    const int requestRead = request[0];
    const int ackWrite = ack[1];
    // Block every signal before starting the thread so it inherits the mask and a
    // process-directed SIGTERM never lands on the thread that must do the work.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    g_worker.thread = std::thread([requestRead, ackWrite, restore = std::move(restore)] {
        for (;;) {
            char c = 0;
            const ssize_t n = ::read(requestRead, &c, 1);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0 || c == 'q') return;
            restore();
            const char done = 'd';
            [[maybe_unused]] ssize_t w = ::write(ackWrite, &done, 1);
        }
    });
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    g_ackRead.store(ack[0]);
    g_requestWrite.store(request[1]);
    return token;
}

void uninstall(int token) {
    std::lock_guard lock(g_mutex);
    if (token == g_token) stopLocked();
}

void requestFromSignalHandler() {
    const int savedErrno = errno;
    const int requestWrite = g_requestWrite.load();
    const int ackRead = g_ackRead.load();
    if (requestWrite >= 0 && ackRead >= 0) {
        char drain[16];
        while (::read(ackRead, drain, sizeof drain) > 0) {
        }
        const char go = 'r';
        if (::write(requestWrite, &go, 1) == 1) {
            struct pollfd pfd = {ackRead, POLLIN, 0};
            int waitedMs = 0;
            while (waitedMs < 1000) {
                const int r = ::poll(&pfd, 1, 100);
                if (r > 0) break;
                if (r < 0 && errno != EINTR) break;
                waitedMs += 100;
            }
        }
    }
    errno = savedErrno;
}

void withSignalsHeld(const std::function<void()>& work) {
    sigset_t block;
    sigset_t previous;
    sigemptyset(&block);
    sigaddset(&block, SIGTERM);
    sigaddset(&block, SIGINT);
    // The deadline of an unanswered termination restores from its alarm's handler.
    sigaddset(&block, SIGALRM);
    pthread_sigmask(SIG_BLOCK, &block, &previous);
    work();
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

} // namespace GammaSignalRestore
