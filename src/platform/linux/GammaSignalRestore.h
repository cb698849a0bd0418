#pragma once

#include <functional>

// Restoring the displays' tables from a SIGTERM or SIGINT handler. The handler may
// not touch a display connection the main thread is using, so the work runs on a
// dedicated thread (with its own connection, blocking every signal) that the handler
// wakes through a pipe and waits for, for at most about a second.
namespace GammaSignalRestore {
// Starts the worker with the restore routine; replaces a previous one. Returns a
// token for uninstall().
int install(std::function<void()> restore);
// Stops the worker installed with `token` (no-op when another one has replaced it).
void uninstall(int token);
// Async-signal-safe. Returns at once when no worker is installed.
void requestFromSignalHandler();
// Runs `work` (which takes a lock the worker also takes) with the signals whose
// handlers wait for the worker held off this thread, so a handler can never wait for
// a worker that waits for this thread.
void withSignalsHeld(const std::function<void()>& work);
} // namespace GammaSignalRestore
