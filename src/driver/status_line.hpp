// The status line a person watching a long run sees on a terminal.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

namespace erdos {

// A status line on standard error for a person who watches a long run: the
// phase and how long it has run, and during the scan how far it has come, the
// current prime, the rate and the time left. It is drawn only when the stream
// is a terminal, never in the first half second, and by a thread of its own
// ten times a second when its text changes, so that a phase that reports
// nothing (a sieve, a table) still shows that it is alive. Each drawing
// rewrites the line in place ("\r", text, erase to the end of the line). When
// the stream is not a terminal no thread is started and nothing is ever
// written, so captured standard error is exactly what the run prints besides,
// unless a progress log was asked for (driver/progress_log): then plain
// lines go there every so many seconds instead, by the same kind of thread.
struct status_line {
    using clock = std::chrono::steady_clock;

    std::FILE* err = nullptr;  // the terminal; null when nobody watches or after status_end
    int width = 80;            // columns of the terminal when the run began
    int log_seconds = 0;       // a progress log: a plain line this often; 0 on a terminal or without one
    const char* program = "";  // the name that opens each line of the log
    clock::time_point start;
    std::string shown;  // the text on the terminal now; empty when nothing is drawn

    // Shared with the drawing thread, under mutex.
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    const char* phase = "";
    clock::time_point phase_start;
    bool scanning = false;  // the scan has reported its position
    std::int64_t examined_done = 0;
    std::int64_t examined_total = 0;
    std::int64_t current_p = 0;
    std::int64_t p_min = 0;  // the interval, for runs whose examined primes are not counted in advance
    std::int64_t p_max = 0;
    std::int64_t examined_resumed = 0;  // examined primes a resumed run took from the kept rows
    std::int64_t resumed_p = 0;         // where its own scan begins
    std::thread drawer;

    status_line() = default;
    status_line(const status_line&) = delete;
    status_line& operator=(const status_line&) = delete;
    ~status_line();  // ends it as status_end does
};

// Starts the clock, and the drawing thread when err is a terminal. When it
// is not and log_seconds is positive, starts the thread that writes a plain
// progress line, opened by the program's name, every log_seconds instead.
void status_begin(status_line& state, std::FILE* err, int log_seconds = 0, const char* program = "");

// Names the phase now running ("sieving", "building tables",
// "scanning primes", "writing the summary"); the name must outlive the run.
void status_phase(status_line& state, const char* phase);

// Reports the scan's position: examined_done of examined_total examined primes
// are finished, the latest being current_p. Meant for every batch of primes:
// when nobody watches it costs a branch, otherwise an uncontended lock.
void status_scan(status_line& state, std::int64_t examined_done, std::int64_t examined_total,
                   std::int64_t current_p);

// The interval of the run. A scan that reports no total (0) is measured by
// how far its current prime has come through it instead.
void status_interval(status_line& state, std::int64_t p_min, std::int64_t p_max);

// A resumed run: examined_resumed examined primes came from the kept rows and
// its scan begins at resumed_p. The share done counts them; the rate and the
// time left count only what this run scans.
void status_resumed(status_line& state, std::int64_t examined_resumed, std::int64_t resumed_p);

// Stops the drawing (or logging) thread and erases the line, if one is drawn, so that
// whatever is printed next starts on a clean line. Must be called before the
// state goes; safe to call repeatedly.
void status_end(status_line& state);

// The scan's status text, for example
// "scanning primes 43.2%  p=8803369  51234 primes/s  1m 05s left".
// The rate and the time left are given only once the scan has run a second.
// Without a total (0) the share done is current_p's place in [p_min, p_max].
// A resumed run gives the primes it took from the kept rows (counted in
// examined_done and examined_total) and where its scan began.
std::string status_scan_text(std::int64_t examined_done, std::int64_t examined_total, std::int64_t current_p,
                               double seconds_scanning, std::int64_t p_min = 0, std::int64_t p_max = 0,
                               std::int64_t examined_resumed = 0, std::int64_t resumed_p = 0);

// A duration as the status texts give it: "42s", "3m 05s", "2h 07m", whole
// seconds rounded up.
std::string format_duration(double seconds);

// The text of a phase that reports no position, with its whole seconds so
// far: "sieving  12s", "building tables  3m 05s".
std::string status_phase_text(const char* phase, double seconds);

}  // namespace erdos
