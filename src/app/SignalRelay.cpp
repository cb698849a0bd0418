#include "app/SignalRelay.h"

#include <QLoggingCategory>
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcSignals, "com.halcyra.app.menubar")

namespace {

int g_pipe[2] = {-1, -1};
volatile sig_atomic_t g_pendingTermination = 0;
std::atomic<void (*)()> g_deadlineAction{nullptr};

bool isTermination(int signo) {
    return signo == SIGTERM || signo == SIGINT || signo == SIGHUP || signo == SIGQUIT;
}

// Signal context: only async-signal-safe calls.
void onSignal(int signo) {
    const int savedErrno = errno;
    if (isTermination(signo) && g_pendingTermination == 0) {
        g_pendingTermination = signo;
        ::alarm(SignalRelay::answerDeadlineSeconds);
    }
    const char byte = char(signo);
    ssize_t ignored = ::write(g_pipe[1], &byte, 1);
    (void)ignored;
    errno = savedErrno;
}

// The main loop did not hand the displays back in time: end the process by the
// original signal anyway.
void onDeadline(int) {
    const int signo = g_pendingTermination;
    if (signo == 0) return;
    if (auto action = g_deadlineAction.load()) action();
    ::signal(signo, SIG_DFL);
    ::raise(signo);
}

void setHandler(int signo, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signo, &action, nullptr);
}

// A process started under nohup, or in the background by a script, was told to ignore
// these; that choice stands.
void setHandlerUnlessIgnored(int signo, void (*handler)(int)) {
    struct sigaction current {};
    if (::sigaction(signo, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) return;
    setHandler(signo, handler);
}

SignalRelay* g_relay = nullptr;

} // namespace

SignalRelay& SignalRelay::install() {
    if (g_relay) return *g_relay;
    g_relay = new SignalRelay();
    return *g_relay;
}

bool SignalRelay::isInstalled() {
    return g_relay != nullptr;
}

SignalRelay::SignalRelay() {
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        qCCritical(lcSignals).noquote()
            << QStringLiteral("Cannot create the signal pipe — signals keep their default action");
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &SignalRelay::drain);
    setHandler(SIGALRM, onDeadline);
    setHandler(SIGTERM, onSignal);
    setHandler(SIGINT, onSignal);
    // Closing the terminal Halcyra was started from, or Ctrl-\ in it, must not leave
    // the tint on the displays either.
    setHandlerUnlessIgnored(SIGHUP, onSignal);
    setHandlerUnlessIgnored(SIGQUIT, onSignal);
    setHandler(SIGUSR1, onSignal);
}

SignalRelay::~SignalRelay() = default;

void SignalRelay::drain() {
    char bytes[32];
    for (;;) {
        const ssize_t n = ::read(g_pipe[0], bytes, sizeof bytes);
        if (n <= 0) break;
        for (ssize_t i = 0; i < n; ++i) {
            const int signo = bytes[i];
            if (signo == SIGUSR1)
                emit reloadRequested();
            else if (isTermination(signo))
                emit terminationRequested(signo);
        }
    }
}

void SignalRelay::setDeadlineAction(void (*action)()) {
    g_deadlineAction.store(action);
}

void SignalRelay::finishTermination(int signo) {
    ::signal(signo, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signo);
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(signo);
    // A signal that cannot end the process (it should not happen) still must not
    // let the caller go on as if nothing had been asked.
    std::_Exit(128 + signo);
}
