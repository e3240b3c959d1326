// The odd primes up to a bound below 2^32, listed once in a byte each, for sieves set up many times over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

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

// Calls visit(q) for every listed prime q with lo <= q <= hi, ascending.
template <typename Visit>
void for_each_sieving_prime(const sieving_primes& list, std::uint64_t lo, std::uint64_t hi, Visit visit) {
    for (const sieving_primes::part& part : list.parts) {
        std::uint64_t q = part.base;
        for (const std::uint8_t half_gap : part.half_gaps) {
            q += 2 * std::uint64_t{half_gap};
            if (q > hi) return;
            if (q >= lo) visit(q);
        }
    }
}

// Calls visit(primes, count) with the listed primes q with lo <= q <= hi,
// ascending, in blocks of one to sieving_block_primes primes: for set-ups
// that handle many primes a block at a time.
inline constexpr std::size_t sieving_block_primes = 1024;
template <typename Visit>
void for_each_sieving_block(const sieving_primes& list, std::uint64_t lo, std::uint64_t hi, Visit visit) {
    std::uint32_t block[sieving_block_primes];
    std::size_t filled = 0;
    for (const sieving_primes::part& part : list.parts) {
        std::uint64_t q = part.base;
        for (const std::uint8_t half_gap : part.half_gaps) {
            q += 2 * std::uint64_t{half_gap};
            if (q > hi) {
                if (filled > 0) visit(block, filled);
                return;
            }
            if (q < lo) continue;
            block[filled++] = static_cast<std::uint32_t>(q);
            if (filled == sieving_block_primes) {
                visit(block, filled);
                filled = 0;
            }
        }
    }
    if (filled > 0) visit(block, filled);
}

}  // namespace erdos
