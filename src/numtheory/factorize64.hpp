// Complete factorisation of 64-bit integers, with no table: for m beyond the reach of the smallest-prime-factor table.
#pragma once

#include <cstdint>
#include <vector>

namespace erdos {

// One prime power q^e of a factorisation whose primes may exceed 32 bits.
struct prime_power64 {
    std::int64_t prime;
    std::int32_t exponent;
    bool operator==(const prime_power64&) const = default;
};

// Ascending (prime, exponent) pairs whose product is m; empty for m <= 1.
using factor_list64 = std::vector<prime_power64>;

// The factor_list64 of m, for every m below 2^63: exact and deterministic
// (the same list for the same m, whatever was factorised before).
factor_list64 factorize64(std::int64_t m);

}  // namespace erdos
