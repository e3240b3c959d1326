// Counts one m's witnesses for several untabled shifts at once from the divisors of m^2 below m, four shifts to a vector.
#pragma once

#include <cstddef>
#include <cstdint>

namespace erdos {

// Shifts are taken in groups of this many, one to a lane.
inline constexpr std::size_t below_count_lanes = 4;

// 1/c raised by a factor 1 + 2^-50 in double precision: the inverse of each
// shift that count_by_divisors_below takes.
double reciprocal_above(std::uint32_t c);

// For 1 < m < 2^30 and each shift c = shifts[i] (i < count, count a
// multiple of below_count_lanes; 3 <= c <= 65535, c = 3 mod 4, m a unit
// modulo c) with inverses[i] = reciprocal_above(c): writes to witnesses[i]
// the number of divisors d of m^2 with d = -m or d = -1/4 (mod c), reading
// the divisors of m^2 below m from below[0 .. n), each an integer held
// exactly as a double. Exact: every quotient formed in double precision is
// the true floor. avx2 chooses the AVX2 build; the counts are the
// same.
void count_by_divisors_below(const double* below, std::size_t n, std::uint32_t m, const double* shifts,
                             const double* inverses, std::size_t count, std::int64_t* witnesses, bool avx2);

}  // namespace erdos
