// The divisors of m^2 for 64-bit m, as 128-bit integers in the fixed enumeration order.
#pragma once

#include <cstdint>
#include <vector>

#include "numtheory/factorize64.hpp"
#include "numtheory/int128.hpp"

namespace erdos {

using far_divisor_list = std::vector<uint128>;

// Appends current * q1^k1 * q2^k2 * ... for every exponent vector of the pairs
// from position index on, each k_i running 0 .. 2*e_i: the divisors of m^2 when
// called with index 0 and current 1, in the same order as gen_divisors_rec
// (depth-first, the first and smallest prime changing slowest, every exponent
// upward). Requires the product m of the pairs to be below 2^63, so that
// every value formed divides m^2 < 2^126.
void gen_far_divisors_rec(const factor_list64& factors, std::int32_t index, uint128 current,
                           far_divisor_list& divisors);

// A fresh list with room for 256 entries, filled by gen_far_divisors_rec from
// index 0 and product 1: every divisor of m^2 once, beginning with 1 and
// ending with m^2.
far_divisor_list far_divisors_of_square(const factor_list64& factors);

}  // namespace erdos
