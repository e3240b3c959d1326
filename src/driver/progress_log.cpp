// Plain progress lines for a batch log: what the status line shows on a terminal, a line every so many seconds.
#include "driver/progress_log.hpp"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>

namespace erdos {

void log_progress_until_stopped(status_line& state) {
    using clock = status_line::clock;
    const auto every = std::chrono::seconds(state.log_seconds);
    std::unique_lock lock(state.mutex);
    while (!state.wake.wait_for(lock, every, [&] { return state.stopping; })) {
        const clock::time_point now = clock::now();
        std::string line = progress_log_text(
            state.program, std::chrono::duration<double>(now - state.start).count(), state.phase,
            std::chrono::duration<double>(now - state.phase_start).count(), state.scanning, state.examined_done,
            state.examined_total, state.current_p, state.p_min, state.p_max, state.examined_resumed,
            state.resumed_p);
        line += '\n';
        // Written under the lock, so that status_end, which takes it to stop
        // this thread, returns only after the line is out: nothing follows
        // the closing line. A log is a file or a pipe and is not slow to take
        // a short line; the scan waits for it at most once in log_seconds.
        std::fwrite(line.data(), 1, line.size(), state.err);
        std::fflush(state.err);
    }
}

std::string progress_log_text(const char* program, double seconds_running, const char* phase,
                              double seconds_in_phase, bool scanning, std::int64_t examined_done,
                              std::int64_t examined_total, std::int64_t current_p, std::int64_t p_min,
                              std::int64_t p_max, std::int64_t examined_resumed, std::int64_t resumed_p) {
    std::string text = std::string(program) + ": " + format_duration(std::floor(seconds_running)) + "  ";
    if (!scanning) {
        // Before the first report of the scan the phase may still be its
        // name alone ("building tables"), with how long it has run.
        return text + status_phase_text(phase, seconds_in_phase);
    }
    std::string scan = status_scan_text(examined_done, examined_total, current_p, seconds_in_phase, p_min, p_max,
                                        examined_resumed, resumed_p);
    // The terminal's line names the current prime right after the share
    // done; a log also counts the primes done before it.
    const std::size_t at = scan.find("  p=");
    scan.insert(at == std::string::npos ? scan.size() : at, "  " + std::to_string(examined_done) + " primes");
    return text + scan;
}

}  // namespace erdos
