#pragma once

#include <functional>

// Restoring the displays' tables from a SIGTERM or SIGINT handler. The handler may
// not touch a display connection the main thread is using, so the work runs on a
// dedicated thread (with its own connection, blocking every signal) that the handler
// wakes through a pipe and waits for, for at most about a second.
namespace GammaSignalRestore {
// Starts the worker with the restore routine; replaces a previous one.
void install(std::function<void()> restore);
// Stops the worker (no-op when none runs).
void uninstall();
// Async-signal-safe. Returns at once when no worker is installed.
void requestFromSignalHandler();
} // namespace GammaSignalRestore
