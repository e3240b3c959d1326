// The odd primes up to a bound below 2^32, listed once in a byte each, for sieves set up many times over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "numtheory/vector_way.hpp"

namespace erdos {

// The odd primes up to `bound`, in parts of consecutive primes: each part
// holds its primes as the halved gaps from `base` (odd, below its first
// prime) and then from one prime to the next. Gaps between primes below 2^32
// stay below 512, so each fits a byte. About a byte a prime (51 MB up to
// 10^9), a quarter of the primes themselves.
struct sieving_primes {
    struct part {
        std::uint64_t base = 0;
        std::vector<std::uint8_t> half_gaps;
    };
    std::uint64_t bound = 0;
    std::vector<part> parts;
};

// Lists the odd primes up to bound (< 2^32), the work shared by `threads`
// threads.
sieving_primes list_sieving_primes(std::uint64_t bound, unsigned threads);

// Where a walk over the list's blocks stands: the part, the next of its
// gaps, and the prime before that gap (the part's base at its start). A
// walk past its end has part == parts.size().
struct sieving_cursor {
    std::size_t part = 0;
    std::size_t gap = 0;
    std::uint64_t q = 0;
};

// The most primes a block holds.
inline constexpr std::size_t sieving_block_primes = 1024;

// Fills block with the next listed primes q with lo <= q <= hi, ascending,
// from the cursor on, and moves the cursor past them: sieving_block_primes
// of them, fewer only where none is left (0: the walk is over). Every way
// the processor has (a prime at a time, or sixteen at once with AVX-512;
// any other way decodes a prime at a time) gives the same blocks; the
// default is the fastest.
std::size_t next_sieving_block(const sieving_primes& list, sieving_cursor& cursor, std::uint64_t lo, std::uint64_t hi,
                               std::uint32_t* block, vector_way way = fastest_vector_way());

// Calls visit(primes, count) with the listed primes q with lo <= q <= hi,
// ascending, in blocks of one to sieving_block_primes primes: for set-ups
// that handle many primes a block at a time.
template <typename Visit>
void for_each_sieving_block(const sieving_primes& list, std::uint64_t lo, std::uint64_t hi, Visit visit) {
    std::uint32_t block[sieving_block_primes];
    sieving_cursor cursor;
    while (const std::size_t count = next_sieving_block(list, cursor, lo, hi, block)) visit(block, count);
}

// Calls visit(q) for every listed prime q with lo <= q <= hi, ascending.
template <typename Visit>
void for_each_sieving_prime(const sieving_primes& list, std::uint64_t lo, std::uint64_t hi, Visit visit) {
    for_each_sieving_block(list, lo, hi, [&](const std::uint32_t* primes, std::size_t count) {
        for (std::size_t k = 0; k < count; ++k) visit(std::uint64_t{primes[k]});
    });
}

}  // namespace erdos
