// The primes of an interval below 2^32, generated a segment at a time in little memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace erdos {

// A walk over the primes of [lo, hi), made by start_prime_range and advanced
// by next_primes. Its memory does not grow with the interval.
struct prime_range {
    std::uint64_t next_byte = 0;  // the flag byte of 30b + 1 .. 30b + 29 that the next segment starts at, as b
    std::uint64_t end_byte = 0;   // one past the last flag byte of the range
    std::uint64_t lo = 0;         // the range's own bounds, to trim its first and last bytes
    std::uint64_t hi = 0;
    std::vector<std::uint32_t> small_pending;  // those of 2, 3 and 5 in the range, yet to be handed out
    // Per sieving prime (7 < q <= the square root of hi - 1, less those the
    // pattern strikes): q, its next multiple's byte from the segment's start,
    // and where q's cofactor stands on the wheel of the residues modulo 30.
    struct sieving_prime {
        std::uint32_t prime;
        std::uint32_t byte;
        std::uint32_t wheel;
    };
    std::vector<sieving_prime> primes;
    std::vector<std::uint8_t> flags;  // one byte per 30 numbers, one bit per residue prime to 30
};

// Prepares the walk over the primes p with lo <= p < hi. Requires 0 <= lo and
// hi <= 2^32; lo >= hi gives an empty walk.
prime_range start_prime_range(std::int64_t lo, std::int64_t hi);

// Appends to `out` the next primes of the walk, ascending and following those
// handed out before, and returns true; once the walk is exhausted, appends
// nothing and returns false. A call hands out at least one prime and at most
// those of under a million consecutive integers.
bool next_primes(prime_range& range, std::vector<std::uint32_t>& out);

// Calls visit(primes, count) with the primes p with lo <= p < hi, ascending,
// a block of at least one at a time (same requirements as
// start_prime_range).
template <typename Visit>
void for_each_prime_block_in(std::int64_t lo, std::int64_t hi, Visit visit) {
    prime_range range = start_prime_range(lo, hi);
    std::vector<std::uint32_t> batch;
    while (next_primes(range, batch)) {
        visit(batch.data(), batch.size());
        batch.clear();
    }
}

// Calls f(p) for every prime p with lo <= p < hi, in ascending order (same
// requirements as start_prime_range).
template <typename F>
void for_each_prime_in(std::int64_t lo, std::int64_t hi, F f) {
    for_each_prime_block_in(lo, hi, [&](const std::uint32_t* primes, std::size_t count) {
        for (std::size_t k = 0; k < count; ++k) f(primes[k]);
    });
}

}  // namespace erdos
