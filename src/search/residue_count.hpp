// Counts one pair's witnesses from the residues of m's prime powers, without listing the divisors.
#pragma once

#include <cstdint>
#include <vector>

#include "search/residue_factors.hpp"
#include "search/shift_residues.hpp"

namespace erdos {

// Working lists of the residue count, reused from pair to pair.
struct residue_lists {
    std::vector<std::uint8_t> residues;
    std::vector<std::uint8_t> inverse_residues;
    std::vector<std::uint32_t> target_count = std::vector<std::uint32_t>(256, 0);  // all 0 between calls
};

// The number of divisors d of m^2 with d = minus_m or d = minus_quarter
// (mod c), for a shift with residue tables: the witnesses of the two
// congruences (m + d) = 0 and (4d + 1) = 0. all_units says that every factor
// of m is a unit modulo c, which allows the faster meet in the middle.
std::int64_t count_witnesses_by_residues(const shift_residues& shift, const residue_factors& factors,
                                         std::uint8_t minus_m, std::uint8_t minus_quarter, bool all_units,
                                         residue_lists& lists);

// The same for an m far out; its residues must be those of a tabled shift.
std::int64_t count_witnesses_by_residues(const shift_residues& shift, const far_residue_factors& factors,
                                         std::uint8_t minus_m, std::uint8_t minus_quarter, bool all_units,
                                         residue_lists& lists);

}  // namespace erdos
