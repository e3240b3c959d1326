// Counts one pair's witnesses for a shift without logarithm tables, in 32- or 64-bit residues and a meet in the middle.
#pragma once

#include <cstdint>
#include <vector>

#include "numtheory/factor_window.hpp"
#include "search/residue_factors.hpp"
#include "search/shift_residues.hpp"

namespace erdos {

// Working memory of the counts, reused from pair to pair.
struct untabled_lists {
    std::vector<std::uint16_t> hits;      // per residue below c <= 65535; all 0 between calls
    std::vector<std::uint32_t> b_residues;
    std::vector<std::uint32_t> a_residues;
    // The classes of a wider shift, in a small open-addressed table: a
    // residue (empty_key for a free place) and its count.
    static constexpr std::uint32_t empty_key = 0xFFFFFFFFU;
    std::vector<std::uint32_t> class_keys;
    std::vector<std::uint16_t> class_counts;
};

struct untabled_count {
    std::int64_t witnesses = 0;
    std::int64_t tau = 1;  // the number of divisors of m^2
};

// The number of divisors d of m^2 with d = -m or d = -1/4 (mod c), for a shift
// at most max_counted_shift; m must lie in the filled window. No divisor is
// formed: only residues modulo c.
untabled_count count_untabled_witnesses(const shift_residues& shift, const factor_window& window,
                                            std::int64_t m, untabled_lists& lists);

// The same for any shift c from 3 to 2^31 - 1 (the products of two residues
// taken in 64 bits and reduced by a reciprocal of c), m in the filled window.
untabled_count count_any_shift_witnesses(std::uint32_t c, const factor_window& window, std::int64_t m,
                                           untabled_lists& lists);

// The same from m's prime powers (f.prime, f.exponent, f.count and f.tau;
// their residues modulo c are formed here) and m mod c: for m of any size,
// as far out as the factor sieves reach.
std::int64_t count_shift_witnesses(std::uint32_t c, far_residue_factors& f, std::uint32_t m_residue,
                                   untabled_lists& lists);

}  // namespace erdos
