// The status line a person watching a long run sees on a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

namespace erdos {

// A status line on standard error for a person who watches a long run: the
// phase, and during the scan how far it has come, the current prime, the rate
// and the time left. It is drawn only when the stream is a terminal, never in
// the first half second, at most ten times a second and only when its text
// changes; each drawing rewrites the line in place ("\r", text, erase to the
// end of the line). When the stream is not a terminal nothing is ever written,
// so captured standard error is exactly what the run prints besides.
struct progress_state {
    using clock = std::chrono::steady_clock;

    std::FILE* err = nullptr;  // the terminal; null when nobody watches or after progress_end
    int width = 80;            // columns of the terminal when the run began
    clock::time_point start;
    clock::time_point last_draw;
    clock::time_point phase_start;
    const char* phase = "";
    std::string shown;  // the text on the terminal now; empty when nothing is drawn

    // progress_scan reads the clock only when calls_left runs out; the stride
    // adapts so that the clock is read a few dozen times a second whatever the
    // cost of one call. Inactive, calls_left is too large to ever run out.
    std::int64_t calls_left = std::numeric_limits<std::int64_t>::max();
    std::int64_t calls_per_check = 1;
    clock::time_point last_check;
};

// Starts the clock. The line is active only when err is a terminal.
progress_state progress_begin(std::FILE* err);

// Names the phase now running ("sieving", "scanning primes",
// "writing the summary"); the name must outlive the run. Shown at once once
// the first half second is over.
void progress_phase(progress_state& state, const char* phase);

// The out-of-line part of progress_scan.
void progress_scan_check(progress_state& state, std::int64_t examined_done, std::int64_t examined_total,
                         std::int32_t current_p);

// Reports the scan's position: examined_done of examined_total examined primes
// are finished, the latest being current_p. Meant to be called for every
// examined prime (or every batch of them): between clock readings it costs a
// decrement and a branch.
inline void progress_scan(progress_state& state, std::int64_t examined_done, std::int64_t examined_total,
                          std::int32_t current_p) {
    if (--state.calls_left > 0) return;
    progress_scan_check(state, examined_done, examined_total, current_p);
}

// Erases the line, if one is drawn, and stops the display for good, so that
// whatever is printed next starts on a clean line. Safe to call repeatedly.
void progress_end(progress_state& state);

// The scan's status text, for example
// "scanning primes 43.2%  p=8803369  51234 primes/s  1m 05s left".
// The rate and the time left are given only once the scan has run a second.
std::string progress_scan_text(std::int64_t examined_done, std::int64_t examined_total, std::int32_t current_p,
                               double seconds_scanning);

}  // namespace erdos
