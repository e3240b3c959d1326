// Remainders of a large number by many sieving primes, without a 64-bit division each.
#pragma once

#include <cstdint>

namespace erdos {

// a mod q for a < 2^62 and 2^11 <= q < 2^32 (so that a / q < 2^51). The
// quotient is estimated in double precision: a rounds by at most 2^9, which
// moves a / q by under 1/4, and the division's rounding (relative 2^-53 of a
// quotient below 2^51) by under 1/4 more, so the estimate is off by at most
// one and one correction either way gives the exact remainder
// (remainder_estimate_fits says which q qualify). Setting up a
// sieve's primes takes one remainder per prime, and a divsd pipelines where
// a 64-bit div does not.
inline constexpr bool remainder_estimate_fits(std::uint64_t q) {
    return q >= (std::uint64_t{1} << 11) && q < (std::uint64_t{1} << 32);
}

inline std::uint64_t remainder_by_estimate(std::uint64_t a, std::uint64_t q) {
    const auto t = static_cast<std::int64_t>(static_cast<double>(a) / static_cast<double>(q));
    const auto qs = static_cast<std::int64_t>(q);
    std::int64_t r = static_cast<std::int64_t>(a) - t * qs;
    if (r < 0) {
        r += qs;
    } else if (r >= qs) {
        r -= qs;
    }
    return static_cast<std::uint64_t>(r);
}

}  // namespace erdos
