// The examined primes (p mod 24 == 1) of an interval up to 2^62, sieved a segment at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "numtheory/sieving_primes.hpp"

namespace erdos {

// A walk over the examined primes of an interval, made by start_examined_sieve
// and advanced by next_examined_primes. It sieves only the numbers n = 24k + 1,
// one flag per k; its memory does not grow with the width of the interval
// (at most about 135 MiB, for intervals near 2^62).
struct examined_sieve {
    std::int64_t k_end = 0;         // the candidates are 24k + 1 for k below k_end
    std::int64_t segment_lo = 0;    // the first k of the next segment
    std::int64_t chunk_lo = 0;      // the stretch of k whose hits of the large
    std::int64_t chunk_end = 0;     // sieving primes wait in the buckets
    std::int64_t root = 0;          // the sieving primes go up to this bound
    std::vector<std::int64_t> ready;  // the sieved segment's examined primes
    std::size_t taken = 0;            // how many of them were handed out
    std::vector<std::uint8_t> flags;  // per k of a segment: nonzero while not struck out

    // The sieving primes below the segment length, each with the next k it strikes.
    std::vector<std::uint32_t> small_primes;
    std::vector<std::int64_t> small_next;

    // The larger sieving primes strike a segment at most once: each waits in
    // the bucket of the segment of its next hit, as the prime and the hit's
    // place in that segment. Buckets are lists of fixed-size blocks, which go
    // back to a free list once their segment is sieved.
    struct hit {
        std::uint32_t prime;
        std::uint32_t offset;
    };
    std::vector<std::vector<hit>> blocks;
    std::vector<std::uint32_t> free_blocks;
    std::vector<std::vector<std::uint32_t>> buckets;  // per segment of the stretch: its blocks, the last one filling

    const sieving_primes* listed = nullptr;  // the large sieving primes, when listed once for many sieves
};

// Prepares the walk over the primes p with p mod 24 == 1 and p_min <= p <= p_max.
// Requires 0 <= p_min and p_max <= 2^62 (throws std::invalid_argument
// otherwise); p_min > p_max gives an empty walk. With `listed` (which must
// outlive the walk), the sieving primes come from that list where it reaches
// sqrt(p_max), instead of being sieved afresh.
examined_sieve start_examined_sieve(std::int64_t p_min, std::int64_t p_max, const sieving_primes* listed = nullptr);

// Appends to `out` the next min(max_count, number left) examined primes of the
// walk, ascending and following those handed out before; returns true when it
// appended any. The primes handed out do not depend on how the walk is cut
// into calls. Memory is held until the sieve is destroyed.
bool next_examined_primes(examined_sieve& sieve, std::vector<std::int64_t>& out, std::size_t max_count);

// About the number of examined primes in [p_min, p_max]: an eighth of the
// integral of 1/ln t over the interval (from 73 on), the density of the
// primes p = 1 (mod 24) near t. For forecasts; 0 for an empty interval.
double expected_examined_primes(std::int64_t p_min, std::int64_t p_max);

// A little more than the number of examined primes in [p_min, p_max], from
// the density 1/(8 ln t) of the primes p = 1 (mod 24) near t: for reserving
// room, never for a result. At most (p_max - p_min)/24 + 1.
std::int64_t estimate_examined_primes(std::int64_t p_min, std::int64_t p_max);

// The primes p <= p_max with p mod 24 == 1, ascending: the same list as the
// entries of sieve_primes(p_max) in that class.
std::vector<std::int32_t> sieve_examined_primes(std::int32_t p_max);

}  // namespace erdos
