#pragma once

#include <QObject>
#include <memory>

class QSocketNotifier;

// Carries SIGTERM, SIGINT, SIGHUP, SIGQUIT and SIGUSR1 from signal context onto the main loop
// through a self-pipe, because handing the displays back (X and D-Bus calls) is not safe inside a
// signal handler. The handler itself only writes the signal number to the pipe.
//
// A termination signal must still end the process when the main loop is stuck: if
// finishTermination() has not run 2 s after the signal arrived, an alarm resets the
// disposition and re-raises the signal anyway.
class SignalRelay : public QObject {
    Q_OBJECT
public:
    static constexpr unsigned answerDeadlineSeconds = 2;

    // Installs the handlers once per process and returns the relay.
    static SignalRelay& install();
    // True once install() has run.
    static bool isInstalled();

    // Resets the signal's disposition to the default and raises it again, so the
    // process ends exactly as the signal would have ended it.
    [[noreturn]] static void finishTermination(int signo);
    // An async-signal-safe call made in signal context when the deadline passes,
    // before the signal is re-raised.
    static void setDeadlineAction(void (*action)());

    ~SignalRelay() override;

signals:
    // SIGTERM, SIGINT, SIGHUP or SIGQUIT arrived; the receiver hands everything back and then calls
    // finishTermination(signo).
    void terminationRequested(int signo);
    // SIGUSR1 arrived.
    void reloadRequested();

private:
    SignalRelay();
    void drain();

    std::unique_ptr<QSocketNotifier> m_notifier;
};
