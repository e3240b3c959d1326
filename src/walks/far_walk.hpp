// The walks over the examined primes of an interval beyond the reach of the 32-bit tables.
#pragma once

#include <cstdint>
#include <string>

#include "walks/prime_walk.hpp"

namespace erdos {

// Scans every examined prime p with p_min <= p <= p_max (p_max <= 2^62) over
// the shifts up to c_max with `threads` workers. Each worker sieves the
// primes of a stretch of the interval, factors their m = (p + c)/4 and scans
// them, with sieves of its own; an interval too narrow to pay for the
// sieving primes has each candidate tested and each m factored on its own.
// Chunks reach the sink in prime order, so the outputs are the same for every
// thread count; the chunks made ahead of the sink stay bounded in memory
// (tuning.hpp), the others waiting in unnamed files in spill_directory
// (empty: $TMPDIR or /tmp). Exceptions of the workers are rethrown here,
// run_stopped among them.
int walk_primes_far(std::int64_t p_min, std::int64_t p_max, std::int32_t c_max, unsigned threads,
                     const chunk_sink& sink, const std::string& spill_directory = {});

// How walk_primes_far cuts [p_min, p_max] on `threads` workers. For forecasts.
struct far_stretch_plan {
    // Stretches, each setting its sieves up afresh: 1 on one thread, 0 when
    // every m is factored on its own, with no sieve to set up.
    std::size_t count = 0;
    // About the bytes each worker's sieves take at the start of a stretch,
    // as the cut assumes them (0 with no sieve).
    double sieve_bytes = 0;
    // The widest stretch's share of the interval (the last ones may be
    // narrower): what a worker running ahead may hold.
    double widest_share = 1;
};
far_stretch_plan plan_far_stretches(std::int64_t p_min, std::int64_t p_max, std::int32_t c_max, unsigned threads);

// The same walk done the plain way, on one thread, for comparison: each
// candidate 24k + 1 tested for primality on its own, each m factored on its
// own, every divisor of m^2 listed and tested.
int walk_primes_plain_far(std::int64_t p_min, std::int64_t p_max, std::int32_t c_max, const chunk_sink& sink);

}  // namespace erdos
