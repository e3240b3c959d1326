// Finds a shift's first witness by walking the divisor order in residues, stopping at the first hit.
#pragma once

#include <cstdint>

#include "search/residue_factors.hpp"
#include "search/scan_prime.hpp"
#include "search/shift_residues.hpp"

namespace erdos {

// The first divisor d of m^2, in the order of divisors_of_square, with
// d = minus_m or d = minus_quarter (mod c), for a shift with residue tables:
// count 1 with that d and its branch code, or count 0 when m^2 has no
// witness for the shift at all. Only the first witness is sought, so the
// count says no more than whether there is one.
shift_witnesses first_witness_by_residues(const shift_residues& shift, const residue_factors& factors,
                                          std::uint8_t minus_m, std::uint8_t minus_quarter);

}  // namespace erdos
