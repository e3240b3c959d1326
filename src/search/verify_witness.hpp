// Turning a first witness into x and y and proving 4/p = 1/m + 1/x + 1/y exactly.
#pragma once

#include <cstdint>

#include "numtheory/int128.hpp"

namespace erdos {

// Turns the first witness d (a divisor of m^2 for the shift c, meeting the
// congruence that branch names) into x = (N + D) / c and y = (N + N^2/D) / c
// with N = m*p and D = d*p (branch 1 or 3) or p^2*d (branch 2), and checks
// 4*m*x*y == p*(x*y + m*x + m*y), i.e. 4/p = 1/m + 1/x + 1/y, exactly: no value
// formed on the way wraps. Returns true when every division is exact, m, x and
// y are positive and the identity holds. Inputs outside what a run can produce
// (d < 1, so any negative d, c < 1, p < 1, p > 2^62, m < 1, m > 2^61,
// d >= 2^122, a branch other than 1, 2, 3) give false, never overflow.
// Thread-safe; allocates nothing.
bool verify_first_witness(std::int64_t p, std::int32_t c, std::int64_t m, int128 d, std::int32_t branch);

}  // namespace erdos
