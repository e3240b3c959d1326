// Counts one pair's witnesses for a shift above the byte tables, in 32-bit residues and a meet in the middle.
#pragma once

#include <cstdint>
#include <vector>

#include "numtheory/factor_window.hpp"
#include "search/shift_residues.hpp"

namespace erdos {

// Working memory of the count, reused from pair to pair.
struct wide_shift_lists {
    std::vector<std::uint16_t> hits;      // per residue below c; all 0 between calls
    std::vector<std::uint32_t> b_residues;
    std::vector<std::uint32_t> a_residues;
};

struct wide_shift_count {
    std::int64_t witnesses = 0;
    std::int64_t tau = 1;  // the number of divisors of m^2
};

// The number of divisors d of m^2 with d = -m or d = -1/4 (mod c), for a shift
// above max_table_shift and at most max_counted_shift; m must lie in the
// filled window. No divisor is formed: only residues modulo c.
wide_shift_count count_wide_shift_witnesses(const shift_residues& shift, const factor_window& window,
                                            std::int64_t m, wide_shift_lists& lists);

}  // namespace erdos
