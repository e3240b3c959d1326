// The handlers behind stop_request.hpp.
#include "stop_request.hpp"

#include <csignal>
#include <iterator>

namespace erdos {

std::atomic<int> stop_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler may only touch a lock-free atomic");

namespace {

constexpr int watched[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previous[std::size(watched)];
bool watching = false;

extern "C" void note_stop_signal(int signal) { stop_signal.store(signal, std::memory_order_relaxed); }

}  // namespace

void watch_stop_signals() {
    stop_signal.store(0, std::memory_order_relaxed);
    struct sigaction action {};
    action.sa_handler = note_stop_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(watched); ++i) {
        sigaction(watched[i], nullptr, &previous[i]);
        // A signal ignored when the program started stays ignored: nohup's
        // SIGHUP, or SIGINT for a job started in the background.
        if (previous[i].sa_handler == SIG_IGN) continue;
        sigaction(watched[i], &action, nullptr);
    }
    watching = true;
}

void unwatch_stop_signals() {
    if (!watching) return;
    for (std::size_t i = 0; i < std::size(watched); ++i) sigaction(watched[i], &previous[i], nullptr);
    watching = false;
}

}  // namespace erdos
