// Chunks of primes far out, each candidate tested and each m factored on its own, for intervals too narrow to pay for the sieves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "search/far_scan.hpp"

namespace erdos {

// The examined primes of [next, p_hi] not yet handed out, over `shifts` shifts.
struct lone_feed {
    std::int64_t next = 0;  // the next candidate 24k + 1
    std::int64_t p_hi = 0;
    std::size_t shifts = 0;
};

// A feed over the examined primes of [p_lo, p_hi] (0 <= p_lo, p_hi <= 2^62)
// and the m = (p + c)/4 of the shifts up to c_max (c_max < 2^31).
lone_feed start_lone_feed(std::int64_t p_lo, std::int64_t p_hi, std::int32_t c_max);

// Fills primes with the next examined primes, at most max_primes of them, and
// factors with the factorisation of (p + c)/4 for each of them and each
// shift, in the form the far scan reads (the primes below 2^31 listed, the
// one above, if any, as the cofactor): the same primes and factorisations as
// next_far_chunk gives. False when no prime is left.
bool next_lone_chunk(lone_feed& feed, std::size_t max_primes, std::vector<std::int64_t>& primes,
                     far_pair_factors& factors);

// True when testing the candidates of [p_min, p_max] and factoring the m of
// their examined primes over `shifts` shifts one by one costs less than
// setting up the sieving primes up to sqrt(p_max) (see tuning.hpp).
bool lone_feed_pays(std::int64_t p_min, std::int64_t p_max, std::size_t shifts);

}  // namespace erdos
