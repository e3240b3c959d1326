// Factorisations of a window of consecutive m, sieved with the primes up to sqrt(max m).
#pragma once

#include <cstdint>
#include <vector>

#include "numtheory/factor_list.hpp"

namespace erdos {

// The factorisations of a run of consecutive integers m in [lo, lo + count),
// found by sieving that window alone with the primes up to a fixed bound. Each m
// keeps its prime powers below the bound (ascending, as indices into the
// sieving primes) and the one prime above the bound that can remain (or 1).
struct factor_window {
    static constexpr int max_small = 9;  // 2*3*5*...*29 > 2^30: no m < 2^30 has ten primes
    static constexpr int max_factors = max_small + 1;  // with the large prime

    // What a window keeps of one m, in one place: the sieve updates the
    // three fields together.
    struct entry {
        std::uint64_t pattern;  // exponent of factor i (small ones, then the large) in bits 5i .. 5i+4
        // The prime above the bound, or 1. While sieving: the inverse modulo
        // 2^32 of the odd part of the small primes' product, so that the
        // remaining prime is m without its sieved twos times this.
        std::uint32_t large;
        std::uint8_t small_count;
        std::uint8_t unused[3];  // named, so that a whole record is written in one store
    };

    std::int64_t lo = 0;
    std::int64_t count = 0;
    std::vector<std::int32_t> primes;    // the sieving primes, ascending
    std::vector<entry> entries;          // per m
    std::vector<std::uint16_t> small;    // per m, max_small slots: index of the prime in `primes`

    // The primes 2, 3, 5 and 7 (those of them that sieve) with their powers
    // dividing 5040 fall on every m with a period of 5040: a window starts
    // as a copy of these entries and slots, from lo mod 5040 on.
    static constexpr std::int64_t period = 5040;  // 2^4 * 3^2 * 5 * 7
    std::vector<entry> periodic;               // per residue
    std::vector<std::uint16_t> periodic_small;  // per residue, max_small slots; unused ones 0

    // The other sieving prime powers q^k <= max_m, each with the next
    // multiple to strike at or after resume_lo: the primes from 11 on, in
    // ascending order (each adds a factor to m), and the powers not in the
    // periodic part (each raises the exponent of q, already a factor of m).
    struct divisor {
        std::int64_t value;
        std::int64_t next;
        std::uint32_t inverse;  // of q modulo 2^32 for odd q, 1 for q = 2
        std::uint16_t prime_index;
    };
    std::vector<divisor> prime_divisors;
    std::vector<divisor> power_divisors;
    std::int64_t resume_lo = -1;  // where a following window may continue without divisions
};

// Prepares a window able to factor every m <= max_m (max_m < 2^31).
factor_window make_factor_window(std::int64_t max_m);

// Factors every m in [lo, lo + count) (lo >= 0, lo + count - 1 <= max_m of the
// window). m = 0 is left with no factors. When the next window will start at
// next_lo (lo <= next_lo <= lo + count), it can pick up the sieve where this
// one passed next_lo instead of dividing afresh.
void fill_factor_window(factor_window& window, std::int64_t lo, std::int64_t count, std::int64_t next_lo = -1);

// The factor_list of m, which must lie in the filled window; equal to what
// factorize gives.
factor_list window_factor_list(const factor_window& window, std::int64_t m);

// tau(m^2), the number of divisors of m^2, for m in the filled window.
std::int64_t window_tau_of_square(const factor_window& window, std::int64_t m);

}  // namespace erdos
