#include "search/verify_witness.hpp"

#include <gtest/gtest.h>

#include "numtheory/divisors.hpp"
#include "support/trial_factor.hpp"

using erdos::verify_first_witness;

TEST(VerifyFirstWitness, WorkedCases) {
    // 4/73 = 1/20 + 1/219 + 1/4380, and with d = 5: 4/73 = 1/20 + 1/4015 + 1/220.
    EXPECT_TRUE(verify_first_witness(73, 7, 20, 1, 1));
    EXPECT_TRUE(verify_first_witness(73, 7, 20, 5, 2));
    // The wrong branch for the divisor leaves a remainder: 6789 mod 7 = 6, 1825 mod 7 = 5.
    EXPECT_FALSE(verify_first_witness(73, 7, 20, 1, 2));
    EXPECT_FALSE(verify_first_witness(73, 7, 20, 5, 1));
    EXPECT_TRUE(verify_first_witness(97, 3, 25, 5, 3));
}

TEST(VerifyFirstWitness, ImpossibleInputsFailWithoutOverflow) {
    EXPECT_FALSE(verify_first_witness(73, 7, 20, -1, 1));
    EXPECT_FALSE(verify_first_witness(73, 7, 20, 0, 1));
    EXPECT_FALSE(verify_first_witness(73, 0, 20, 1, 1));
    EXPECT_FALSE(verify_first_witness(73, 7, 20, 1, 0));
    EXPECT_FALSE(verify_first_witness(73, 7, 20, 1, 4));
    EXPECT_FALSE(verify_first_witness(73, 7, -20, 1, 1));
    EXPECT_FALSE(verify_first_witness(73, 7, INT64_MAX, 1, 1));
    EXPECT_FALSE(verify_first_witness(73, 7, 20, INT64_MAX, 2));
    EXPECT_FALSE(verify_first_witness(2147483647, 2147483646, INT64_MAX, INT64_MAX, 2));
}

// Every witness of a shift verifies under its branch, not only the first one,
// for shifts prime to p and for shifts that p divides; near the 32-bit limit
// the identity's two sides exceed 128 bits and are compared modulo 2^128.
TEST(VerifyFirstWitness, EveryWitnessOfAShiftVerifies) {
    struct pc {
        std::int64_t p, c;
    };
    const pc pairs[] = {{73, 7}, {73, 219}, {73, 511}, {97, 679}, {433, 7}, {2147483497, 127}, {2147483497, 3}};
    int witnesses = 0;
    for (const auto [p, c] : pairs) {
        const std::int64_t m = (p + c) / 4;
        for (const std::int64_t d : erdos::divisors_of_square(erdos_test::trial_factor(m))) {
            const std::int32_t branch = ((m + d) % c == 0 ? 1 : 0) + ((4 * d + 1) % c == 0 ? 2 : 0);
            if (branch == 0) continue;
            ++witnesses;
            EXPECT_TRUE(verify_first_witness(static_cast<std::int32_t>(p), static_cast<std::int32_t>(c), m, d, branch))
                << p << ' ' << c << ' ' << d;
        }
    }
    EXPECT_GT(witnesses, 20);
}
