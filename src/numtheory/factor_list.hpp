// The factorisation of one m as ascending prime powers, shared by every way of factoring.
#pragma once

#include <cstdint>
#include <vector>

namespace erdos {

// One prime power q^e of a factorisation.
struct prime_power {
    std::int32_t prime;
    std::int32_t exponent;
    bool operator==(const prime_power&) const = default;
};

// Ascending (prime, exponent) pairs whose product is m; empty for m <= 1.
using factor_list = std::vector<prime_power>;

// The same for an m beyond 32 bits, whose primes may be too.
struct prime_power64 {
    std::int64_t prime;
    std::int32_t exponent;
    bool operator==(const prime_power64&) const = default;
};
using factor_list64 = std::vector<prime_power64>;

}  // namespace erdos
