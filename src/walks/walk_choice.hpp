// Which walk a run takes, and that walk over any part of the run's interval.
#pragma once

#include <cstdint>
#include <string>

#include "walks/prime_walk.hpp"

namespace erdos {

// How the primes are scanned: the fast windowed, threaded walk, or the plain
// single-threaded one that lists every divisor. Both give the same bytes.
enum class scan_engine { fast, plain };

// The four walks. fast and plain keep every m = (p + c)/4 below 2^29 and use
// 32-bit tables; far and plain_far reach m up to 2^61.
enum class walk_kind { fast, plain, far, plain_far };

// The walk of a whole run up to p_max over the shifts up to c_max: a run
// whose every m lies below 2^29 takes the windowed walk, whatever its shift
// bound. Any other run (an interval far out, or p_max + c_max beyond 32 bits)
// takes the walk whose factor sieve reaches m up to 2^61. The plain engine
// takes the plain walk of the same reach. The choice depends on the whole
// run, never on a part of it, so a run cut into parts scans each part the
// same way.
walk_kind choose_walk(std::int64_t p_max, std::int32_t c_max, scan_engine engine);

// Runs `walk`, chosen for a run with this c_max and a p_max of at least
// p_hi, over the examined primes of [p_lo, p_hi] alone (0 <= p_lo), with
// `threads` workers where the walk has them. Chunks reach the sink in prime
// order; returns the sink's first non-zero value, or 0. An empty part
// (p_lo > p_hi) visits nothing. Each call sets up its own sieves and tables;
// events hear of its phases, and the fast walk tells how many examined primes
// it listed. The walk far out keeps the chunks that wait their turn beyond
// its memory in unnamed files in spill_directory (empty: $TMPDIR or /tmp).
int walk_part(walk_kind walk, std::int64_t p_lo, std::int64_t p_hi, std::int32_t c_max, unsigned threads,
              const chunk_sink& sink, const walk_events& events = {}, const std::string& spill_directory = {});

}  // namespace erdos
