// The straightforward shift scan for primes up to 2^62: factors m without a table, tests divisors in 128 bits.
#pragma once

#include <cstdint>
#include <vector>

#include "search/prime_scan.hpp"

namespace erdos {

// Scans the prime p over every shift c of shift_list exactly as scan_prime
// does, with the same fields, the same first witness in the same divisor
// order and masses equal to the last bit, but for any p from 0 to 2^62 and
// shifts up to 2147483646: each m = (p + c) / 4 is factorised on its own,
// every divisor of m^2 is listed (128-bit) and tested with two 128-bit
// remainders. For p below 2^31 its result equals scan_prime's.
// Throws std::out_of_range for p outside [0, 2^62].
prime_scan scan_prime_far(std::int64_t p, const std::vector<std::int32_t>& shift_list, std::uint64_t shift_count,
                           std::int64_t weight_total);

}  // namespace erdos
