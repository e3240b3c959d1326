// The divisors of m^2, listed in the fixed order that decides which witness is first.
#pragma once

#include <cstdint>
#include <vector>

#include "numtheory/factor_list.hpp"

namespace erdos {

using divisor_list = std::vector<std::int64_t>;

// Appends current * q1^k1 * q2^k2 * ... for every exponent vector of the pairs
// from position index on, each k_i running 0 .. 2*e_i: the divisors of m^2 when
// called with index 0 and current 1. Order is depth-first: the exponent of the
// first (smallest) prime changes slowest, that of the last prime fastest, and
// each runs upward. All products are 64-bit; they divide m^2 < 2^63 whenever
// m < 2^31.
void gen_divisors_rec(const factor_list& factors, std::int32_t index, std::int64_t current,
                      divisor_list& divisors);

// A fresh list with room for 256 entries, filled by gen_divisors_rec from index
// 0 and product 1: every divisor of m^2 once, beginning with 1 and ending with m^2.
divisor_list divisors_of_square(const factor_list& factors);

}  // namespace erdos
