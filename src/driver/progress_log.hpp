// The progress of a long run as plain lines in a log, for a standard error that is no terminal.
#pragma once

#include <cstdint>
#include <string>

#include "driver/status_line.hpp"

namespace erdos {

// The thread that status_begin starts for a progress log: every
// state.log_seconds, one whole line on state.err (one write, so that lines of
// other processes in the same log do not cut into it), until status_end
// stops it. It writes nothing after status_end returns, so that the closing
// line or a message stays last.
void log_progress_until_stopped(status_line& state);

// One line of the log, without its line feed: the program, the time since
// the run began, the phase and, while the scan reports its position, the
// share done, the examined primes done, the current prime, the rate and the
// time left, for example
// "erdos-straus: 2m 10s  scanning primes 43.2%  2470000 primes  p=8803369  51234 primes/s  1m 05s left".
// The arguments after `program` and `seconds_running` are those of
// status_scan_text; `phase` and `seconds_in_phase` alone count when
// `scanning` is false.
std::string progress_log_text(const char* program, double seconds_running, const char* phase,
                              double seconds_in_phase, bool scanning, std::int64_t examined_done,
                              std::int64_t examined_total, std::int64_t current_p, std::int64_t p_min,
                              std::int64_t p_max, std::int64_t examined_resumed, std::int64_t resumed_p);

}  // namespace erdos
