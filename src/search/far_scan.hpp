// The scan of primes beyond the 32-bit range, from factorisations handed in per (prime, shift).
#pragma once

#include <cstdint>
#include <vector>

#include "numtheory/factor_window.hpp"
#include "numtheory/int128.hpp"
#include "search/prime_scan.hpp"
#include "search/residue_factors.hpp"
#include "search/scan_plan.hpp"
#include "search/scan_scratch.hpp"

namespace erdos {

// The factorisations of the m = (p + c)/4 of a run of primes, for every pair
// (prime j, shift k), pair j * shifts + k. Pairs of one m share its entry:
// the prime powers below the factor sieve's bound (every such prime is below
// 2^31), ascending, then the one prime above the bound that may remain, or
// 1. Filled by the walk from its factor sieve; read by the scan.
struct far_pair_factors {
    static constexpr int max_factors = 16;  // m < 2^61 has at most 15 distinct primes
    std::vector<std::uint32_t> pair_entry;   // per pair: the entry of its m
    std::vector<std::uint32_t> entry_start;  // per entry, and one past the last: its first power
    std::vector<std::uint32_t> primes;       // per power below the bound
    std::vector<std::uint8_t> exponents;     // per power below the bound
    // primes and exponents run on for this many values past the last
    // entry's, so that the first four of any entry can be read unchecked.
    static constexpr int padding = 4;
    std::vector<std::uint64_t> cofactor;     // per entry
    std::vector<std::uint64_t> key;          // per entry: far_batch_key
};

// The key of m's exponent pattern in the scan's batches, 5 bits per factor
// in the order of the factors (the cofactor, if any, last), or 0 when the
// pattern does not fit a batch: more than factor_window::max_factors
// factors, an exponent of 32 or more, or tau(m^2) >= 2^16, beyond the
// kernel's 16-bit counts and the tallies. exponents are m's powers below the
// sieve's bound; the first `padding` are read whatever their number, so
// that the common m take no branch on it. Inline: the feed keys every m.
inline std::uint64_t far_batch_key(const std::uint8_t* exponents, int sieved, bool has_cofactor) {
    constexpr int unchecked = far_pair_factors::padding;
    const int cofactors = has_cofactor ? 1 : 0;
    std::uint64_t key = 0;
    std::uint64_t tau = 1;
    std::uint32_t any = 0;  // every exponent or-ed: 32 or more shows in bit 5 and up
    for (int i = 0; i < unchecked; ++i) {
        const std::uint32_t e = i < sieved ? exponents[i] : 0;
        any |= e;
        key |= static_cast<std::uint64_t>(e) << (5 * i);
        tau *= 2 * e + 1;
    }
    if (sieved > unchecked) {
        if (sieved + cofactors > factor_window::max_factors) return 0;
        for (int i = unchecked; i < sieved; ++i) {
            const std::uint32_t e = exponents[i];
            any |= e;
            key |= static_cast<std::uint64_t>(e) << (5 * i);
            tau *= 2 * e + 1;
        }
    }
    key |= static_cast<std::uint64_t>(cofactors) << (5 * sieved);
    tau *= static_cast<std::uint64_t>(2 * cofactors + 1);
    return (any >> 5) == 0 && tau < (std::uint64_t{1} << 16) ? key : 0;
}

// Makes room for n primes over `shifts` shifts, with no entries yet (the
// lists of powers keep their length, to be overwritten).
void size_far_pair_factors(far_pair_factors& factors, std::size_t n, std::size_t shifts);

// Working memory of one thread of the far scan, reused from chunk to chunk.
struct far_scratch {
    scan_scratch batches;              // the pattern batches, their tallies, the residue lists
    // The pairs counted on their own that have witnesses, in pair order.
    struct single_count {
        std::int64_t count;  // witnesses
        std::int64_t tau;    // divisors of m^2
    };
    std::vector<single_count> single;
    std::vector<std::uint32_t> two32;  // per shift: 2^32 mod c
};

// The witnesses of shift c (3 <= c < 2^31) among the divisors of m^2, from
// m's prime powers (f.prime, f.exponent, f.count, f.tau; the residues are
// formed here) and m mod c: how many, and the first in the divisor order of
// the plain scan with its branch code (-1 and 0 when there is none).
struct far_witnesses {
    std::int64_t count = 0;
    int128 first_d = -1;
    std::int32_t branch = 0;
};
far_witnesses witnesses_in_divisor_order(std::uint32_t c, far_residue_factors& f, std::uint32_t m_residue);

// Scans the ascending examined primes[0 .. n) (any p <= 2^62) into out, each
// exactly as the plain scan defines it: least shift, first witness in divisor
// order (128 bits), branch, successful shifts and both masses to the last
// bit. factors holds the factorisation of every m of a listed shift, pair by
// pair; the shifts above the plan's list are scanned after them with a
// factor sieve of their own (search/high_shift_scan). plan is made by
// make_scan_plan; its per-sieving-prime tables are not used.
void scan_primes_far(const std::int64_t* primes, std::size_t n, const scan_plan& plan,
                      const far_pair_factors& factors, far_scratch& scratch, prime_scan* out);

}  // namespace erdos
