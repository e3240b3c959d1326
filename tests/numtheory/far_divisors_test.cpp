// The 128-bit divisor enumeration: the 64-bit one's lists where both apply, and the same order for m near 2^60.
#include "numtheory/far_divisors.hpp"

#include <gtest/gtest.h>

#include "numtheory/divisors.hpp"
#include "support/trial_factor.hpp"

using erdos::uint128;

namespace {

erdos::far_divisor_list widened(const erdos::divisor_list& divisors) {
    return {divisors.begin(), divisors.end()};
}

}  // namespace

TEST(FarDivisors, SameListsAsTheSixtyFourBitEnumeration) {
    for (std::int64_t m = 1; m <= 20000; ++m) {
        ASSERT_EQ(erdos::far_divisors_of_square(erdos::factorize64(m)),
                  widened(erdos::divisors_of_square(erdos_test::trial_factor(m))))
            << m;
    }
    EXPECT_EQ(erdos::far_divisors_of_square(erdos::factorize64(6)),
              (erdos::far_divisor_list{1, 3, 9, 2, 6, 18, 4, 12, 36}));
    const erdos::far_divisor_list big = erdos::far_divisors_of_square(erdos::factorize64(360360));
    EXPECT_EQ(big.size(), 2835U);
    EXPECT_EQ(big, widened(erdos::divisors_of_square(erdos_test::trial_factor(360360))));
}

// m near 2^60: the list is the odometer over the exponent vectors (the first
// prime the most significant digit), every product exact in 128 bits.
TEST(FarDivisors, CountingOrderBeyondSixtyFourBits) {
    const erdos::factor_list64 cases[] = {
        {{2, 29}, {3, 1}, {715827883, 1}},          // 2^60 + 2^29
        {{2, 30}, {3, 8}, {5, 3}, {7, 2}},          // 36295 divisors
        {{1073741789, 1}, {1073741783, 1}},
        {{2305843009213693951, 1}},
    };
    for (const erdos::factor_list64& factors : cases) {
        const erdos::far_divisor_list divisors = erdos::far_divisors_of_square(factors);
        std::vector<std::int32_t> digits(factors.size(), 0);
        std::size_t count = 0;
        bool done = false;
        while (!done) {
            uint128 expected = 1;
            for (std::size_t i = 0; i < factors.size(); ++i) {
                for (std::int32_t k = 0; k < digits[i]; ++k) expected *= static_cast<uint128>(factors[i].prime);
            }
            ASSERT_LT(count, divisors.size());
            ASSERT_TRUE(divisors[count++] == expected);
            done = true;
            for (std::size_t i = factors.size(); i-- > 0;) {  // last digit fastest
                if (++digits[i] <= 2 * factors[i].exponent) {
                    done = false;
                    break;
                }
                digits[i] = 0;
            }
        }
        EXPECT_EQ(count, divisors.size());
    }
}
