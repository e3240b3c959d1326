// What the scans of far-out pairs share: 64-bit residues, the divisor-order walk, and pairs counted on their own.
#pragma once

#include <algorithm>
#include <cstdint>

#include "numtheory/int128.hpp"
#include "search/far_scan.hpp"
#include "search/prime_scan.hpp"
#include "search/residue_factors.hpp"
#include "search/shift_residues.hpp"

namespace erdos {

// x mod c for any 64-bit x and a tabled shift: the high and low halves
// reduced apart, then their combination, which is below c^2 + c < 2^32.
inline std::uint32_t residue64(const shift_residues& s, std::uint64_t x, std::uint32_t two32) {
    const std::uint32_t high = reduce(s, static_cast<std::uint32_t>(x >> 32));
    const std::uint32_t low = reduce(s, static_cast<std::uint32_t>(x));
    return reduce(s, high * two32 + low);
}

// The same for x below 2^56: the high part, below 2^24, needs no reduction
// of its own, as (x >> 32) * (2^32 mod c) + (low mod c) < 2^32 for c < 256.
inline std::uint32_t residue56(const shift_residues& s, std::uint64_t x, std::uint32_t two32) {
    return reduce(s, static_cast<std::uint32_t>(x >> 32) * two32 + reduce(s, static_cast<std::uint32_t>(x)));
}

// 2^32 mod c.
inline std::uint32_t two32_mod(const shift_residues& s) {
    return (reduce(s, 0xFFFFFFFFU) + 1) % static_cast<std::uint32_t>(s.c);
}

// Residue products modulo a tabled shift, through its multiplication table.
struct tabled_ring {
    const shift_residues& s;
    std::uint32_t mul(std::uint32_t x, std::uint32_t y) const {
        return s.mul[x * static_cast<std::uint32_t>(s.c) + y];
    }
};

// Residue products modulo a large shift, in 64 bits.
struct far_ring {
    std::uint64_t c;
    std::uint32_t mul(std::uint32_t x, std::uint32_t y) const {
        return static_cast<std::uint32_t>(static_cast<std::uint64_t>(x) * y % c);
    }
};

// The first witness in divisor order (the smallest prime's exponent
// slowest), walking the exponent vectors like an odometer; when count_all
// is set, it walks on to the end and counts every witness as well.
struct walk_result {
    std::int64_t count = 0;
    int128 first_d = -1;
    std::int32_t branch = 0;
};

template <typename Ring>
walk_result walk_divisors(const Ring& ring, const far_residue_factors& f, std::uint32_t one, std::uint32_t t1,
                          std::uint32_t t2, bool count_all) {
    constexpr int max_factors = far_residue_factors::capacity;
    walk_result result;
    int digit[max_factors] = {};
    std::uint32_t prefix_residue[max_factors + 1];
    for (int i = 0; i <= f.count; ++i) prefix_residue[i] = one;
    const int n = f.count;
    while (true) {
        const std::uint32_t r = prefix_residue[n];
        if (r == t1 || r == t2) {
            if (result.count++ == 0) {
                // The divisor itself only now, from its exponents: it is
                // below m^2 < 2^122.
                uint128 d = 1;
                for (int j = 0; j < n; ++j) {
                    for (int e = 0; e < digit[j]; ++e) d *= f.prime[j];
                }
                result.first_d = static_cast<int128>(d);
                result.branch = (r == t1 ? 1 : 0) + (r == t2 ? 2 : 0);
                if (!count_all) return result;
            }
        }
        int i = n - 1;
        while (i >= 0 && digit[i] == 2 * f.exponent[i]) --i;
        if (i < 0) return result;
        ++digit[i];
        // prefix[i + 1] = prefix[i] * q_i^digit[i]; deeper ones restart from it.
        prefix_residue[i + 1] = ring.mul(digit[i] == 1 ? prefix_residue[i] : prefix_residue[i + 1], f.residue[i]);
        for (int j = i + 1; j < n; ++j) {
            digit[j] = 0;
            prefix_residue[j + 1] = prefix_residue[i + 1];
        }
    }
}

// The same first witness for a tabled shift (c <= 255), the walk stepping
// through the powers of the last factor in a tight loop along its row of
// the multiplication table: count 1 with the witness, or 0 when m^2 has
// none for the shift.
inline walk_result first_witness_tabled(const shift_residues& s, const far_residue_factors& f, std::uint32_t t1,
                                        std::uint32_t t2) {
    constexpr int capacity = far_residue_factors::capacity;
    const auto c = static_cast<std::uint32_t>(s.c);
    const auto one = static_cast<std::uint8_t>(1 % c);
    const int n = std::min(f.count, capacity);
    int digit[capacity] = {};
    const auto hit = [&](std::uint32_t r) {
        uint128 d = 1;
        for (int j = 0; j < n; ++j) {
            for (int e = 0; e < digit[j]; ++e) d *= f.prime[j];
        }
        return walk_result{1, static_cast<int128>(d), (r == t1 ? 1 : 0) + (r == t2 ? 2 : 0)};
    };
    if (n == 0) return one == t1 || one == t2 ? hit(one) : walk_result{};
    const int last = n - 1;
    const std::uint8_t* const last_row = s.mul.data() + f.residue[last] * c;
    const int last_powers = 2 * f.exponent[last];
    std::uint8_t prefix[capacity + 1];  // the residue of the factors before i, at their digits
    for (int i = 0; i <= capacity; ++i) prefix[i] = one;
    while (true) {
        std::uint32_t r = prefix[last];
        for (int k = 0;; ++k) {
            if (r == t1 || r == t2) {
                digit[last] = k;
                return hit(r);
            }
            if (k == last_powers) break;
            r = last_row[r];
        }
        int i = last - 1;
        while (i >= 0 && digit[i] == 2 * f.exponent[i]) --i;
        if (i < 0) return {};  // no witness at all
        ++digit[i];
        // prefix[i + 1] = prefix[i] * q_i^digit[i]; deeper ones restart from it.
        const std::uint8_t base = digit[i] == 1 ? prefix[i] : prefix[i + 1];
        prefix[i + 1] = s.mul[base * c + f.residue[i]];
        std::fill(digit + i + 1, digit + last, 0);
        std::fill(prefix + i + 2, prefix + last + 1, prefix[i + 1]);
    }
}

// Scans prime p's listed shifts into scan, in shift order: while it has no
// least shift yet, first(k) walks shift k in divisor order (settling it at
// the first witness); from then on rest(k) only counts shift k.
template <typename First, typename Rest>
inline void scan_prime_shifts(std::int64_t p, std::size_t shifts, prime_scan& scan, First first, Rest rest) {
    scan = prime_scan{};
    scan.p = p;
    std::size_t k = 0;
    for (; k < shifts && !scan.has_witness; ++k) first(k);
    for (; k < shifts; ++k) rest(k);
}

// The tally of a pair with witnesses counted on its own: its count and tau
// go to the scratch's list, in pair order, and the tally says so by
// witnesses but no divisors, which no counted pair has.
constexpr pair_tally counted_alone = 0xFFFFU;

inline void count_alone(far_scratch& scratch, std::size_t pair, std::int64_t count, std::int64_t tau) {
    scratch.batches.tallies[pair] = counted_alone;
    scratch.single.push_back({count, tau});
}

// Readies scratch for a chunk of n primes: no tallies, no batches, no
// pairs counted on their own, and 2^32 modulo each shift.
void start_far_chunk(std::size_t n, const scan_plan& plan, far_scratch& scratch);

// Counts the batches still open and folds every prime's tallies, and those
// counted on their own, into its masses; the shifts above the plan's list
// are scanned on from there (search/high_shift_scan).
void finish_far_chunk(const std::int64_t* primes, std::size_t n, const scan_plan& plan, far_scratch& scratch,
                      prime_scan* out);

}  // namespace erdos
