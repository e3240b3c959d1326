// Cuts the examined primes of a stretch into chunks that end where a wide window does.
#pragma once

#include <cstdint>
#include <vector>

#include "numtheory/wide_factor_window.hpp"
#include "walks/far_feed.hpp"

namespace erdos {

// The primes not yet handed out, and the window their m are factored in,
// whose sieve goes on from chunk to chunk (and from stretch to stretch of
// one worker, where one starts where the last ended).
struct wide_feed {
    pending_primes pending;
    std::int64_t grid_lo = 1;  // the windows start at grid_lo + k * wide_window_span
    wide_factor_window* window = nullptr;
};

// A feed over the examined primes of source, from p_min on, factoring in
// `window` (made for the run's largest m), which must outlive it.
wide_feed start_wide_feed(prime_source source, std::int64_t p_min, wide_factor_window& window);

// Fills primes with the next chunk: at least max_primes of them where as
// many remain, and then the rest of the last one's window, so that the next
// chunk starts in a later window. False when no prime is left.
bool next_wide_chunk(wide_feed& feed, std::size_t max_primes, std::vector<std::int64_t>& primes);

}  // namespace erdos
