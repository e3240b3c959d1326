// Finds a shift's first witness by walking the divisor order in residues, stopping at the first hit.
#pragma once

#include <cstdint>

#include "numtheory/factor_window.hpp"
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

// Every witness of shift c among the divisors of m^2 (m in the filled
// window), the divisors listed in their order and each tested as the plain
// scan does: for a shift without residue tables, whose first witness is
// sought. tau is the number of divisors.
struct listed_witnesses {
    shift_witnesses found;
    std::int64_t tau = 1;
};
listed_witnesses witnesses_by_listing(const factor_window& window, std::int64_t m, std::int32_t c);

}  // namespace erdos
