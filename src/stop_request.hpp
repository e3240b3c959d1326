// A run stopped from outside: SIGINT, SIGTERM or SIGHUP, noticed by the long loops.
#pragma once

#include <atomic>

namespace erdos {

// The signal that asked the run to stop, or 0. Set by the handlers that
// watch_stop_signals installs; read by every loop that can run for long.
extern std::atomic<int> stop_signal;

// What a loop throws when it finds a stop request. Not a std::exception, so
// that no handler for internal errors mistakes it for one.
struct run_stopped {
    int signal;
};

// Throws run_stopped when a signal has asked the run to stop. A relaxed
// atomic load and a branch, cheap enough for a loop's every few thousand steps.
inline void stop_if_requested() {
    if (const int signal = stop_signal.load(std::memory_order_relaxed); signal != 0) throw run_stopped{signal};
}

// Clears any earlier request and makes SIGINT, SIGTERM and SIGHUP set
// stop_signal instead of ending the process; one that was ignored when the
// program started (nohup) stays ignored. Interrupted system calls are
// restarted, so that no write fails because of a signal.
void watch_stop_signals();

// Gives the three signals back their dispositions from before
// watch_stop_signals. The request, if any, stays readable.
void unwatch_stop_signals();

// The three signals watched for as long as it lives, whichever way its scope
// is left.
struct stop_signal_watch {
    stop_signal_watch() { watch_stop_signals(); }
    ~stop_signal_watch() { unwatch_stop_signals(); }
    stop_signal_watch(const stop_signal_watch&) = delete;
    stop_signal_watch& operator=(const stop_signal_watch&) = delete;
};

}  // namespace erdos
