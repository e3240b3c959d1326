// Cuts the primes of an interval into chunks, each with the factorisation of every m it needs.
#pragma once

#include <cstdint>
#include <vector>

#include "numtheory/far_factor_sieve.hpp"
#include "search/far_scan.hpp"
#include "walks/pending_primes.hpp"

namespace erdos {

// The state of a stretch's feed: the primes not yet handed out and the
// factor sieve over every m = (p + c)/4 of the stretch, which moves only forward.
struct far_feed {
    pending_primes pending;

    std::int64_t first_shift = 3;
    std::size_t shifts = 0;
    far_factor_sieve sieve;
    bool segment_loaded = false;
    // The m of the current segment that the chunk has factored end at
    // factored_end, and those of the run of consecutive m ending there have
    // consecutive entries ending at end_entry (exclusive both): the primes
    // of a chunk ascend, so each one's m overlap only that run.
    std::uint64_t factored_end = 0;
    std::uint32_t end_entry = 0;
};

// A feed over the examined primes of source, whose m run from (p_min + 3)/4
// to (p_max + c_max)/4 (p_max <= 2^62, c_max < 2^31). The factor sieve takes
// its primes from `listed` where that reaches far enough (see
// start_far_factor_sieve).
far_feed start_far_feed(prime_source source, std::int64_t p_min, std::int64_t p_max, std::int32_t c_max,
                        const sieving_primes* listed = nullptr);

// Fills primes with the next chunk, about max_primes of them (a few more when
// the shifts of the last one reach into a segment of m that the next prime
// would need again), and factors with the factorisation of (p + c)/4 for
// each of them and each shift. False when no prime is left.
bool next_far_chunk(far_feed& feed, std::size_t max_primes, std::vector<std::int64_t>& primes,
                     far_pair_factors& factors);

}  // namespace erdos
