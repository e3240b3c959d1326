// The remainder from an estimated quotient against the exact one, where the estimate is tightest.
#include "numtheory/fast_remainder.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

TEST(FastRemainder, MatchesTheDivisionAtTheEdgesOfItsRange) {
    constexpr std::uint64_t top = (std::uint64_t{1} << 62) - 1;
    // Divisors at both ends of the range, primes and powers of two among
    // them; dividends at the top, just around multiples (where an estimate
    // off by one shows), and random.
    std::vector<std::uint64_t> divisors = {2048, 2049, 4093, 8191, 65521, 1000000007, 2147483647, 4294967291, 4294967295};
    std::mt19937_64 random(24);
    for (int i = 0; i < 200; ++i) divisors.push_back(2048 + random() % ((std::uint64_t{1} << 32) - 2048));
    for (const std::uint64_t q : divisors) {
        ASSERT_TRUE(erdos::remainder_estimate_fits(q));
        std::vector<std::uint64_t> dividends = {0, 1, q - 1, q, q + 1, top, top - 1, top / q * q, top / q * q - 1};
        for (int i = 0; i < 50; ++i) {
            const std::uint64_t multiple = (random() % (top / q)) * q;
            dividends.push_back(multiple);
            if (multiple > 0) dividends.push_back(multiple - 1);
            dividends.push_back(random() % top);
        }
        for (const std::uint64_t a : dividends) ASSERT_EQ(erdos::remainder_by_estimate(a, q), a % q) << a << " mod " << q;
    }
    EXPECT_FALSE(erdos::remainder_estimate_fits(2047));
    EXPECT_FALSE(erdos::remainder_estimate_fits(std::uint64_t{1} << 32));
}
