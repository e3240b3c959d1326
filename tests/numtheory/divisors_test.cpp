#include "numtheory/divisors.hpp"

#include <gtest/gtest.h>

#include <set>

#include "support/trial_factor.hpp"

using erdos::divisor_list;
using erdos::divisors_of_square;
using erdos::factor_list;
using erdos_test::trial_factor;

namespace {

// Checks that the list holds each divisor of m^2 once, in the order of counting
// with the exponent vector (smallest prime the most significant digit).
void expect_counting_order(const factor_list& factors, const divisor_list& divisors) {
    std::int64_t tau = 1;
    for (const auto& pp : factors) tau *= 2 * pp.exponent + 1;
    ASSERT_EQ(static_cast<std::int64_t>(divisors.size()), tau);
    std::vector<std::int32_t> digits(factors.size(), 0);
    for (const std::int64_t d : divisors) {
        std::int64_t expected = 1;
        for (std::size_t i = 0; i < factors.size(); ++i) {
            for (std::int32_t k = 0; k < digits[i]; ++k) expected *= factors[i].prime;
        }
        ASSERT_EQ(d, expected);
        for (std::size_t i = factors.size(); i-- > 0;) {  // odometer, last digit fastest
            if (++digits[i] <= 2 * factors[i].exponent) break;
            digits[i] = 0;
        }
    }
}

}  // namespace

TEST(Divisors, WorkedExamples) {
    EXPECT_EQ(divisors_of_square({}), divisor_list{1});
    EXPECT_EQ(divisors_of_square(trial_factor(19)), (divisor_list{1, 19, 361}));
    EXPECT_EQ(divisors_of_square(trial_factor(6)), (divisor_list{1, 3, 9, 2, 6, 18, 4, 12, 36}));
    EXPECT_EQ(divisors_of_square(trial_factor(12)),
              (divisor_list{1, 3, 9, 2, 6, 18, 4, 12, 36, 8, 24, 72, 16, 48, 144}));
    EXPECT_EQ(divisors_of_square(trial_factor(30)),
              (divisor_list{1, 5, 25, 3, 15, 75, 9, 45, 225, 2, 10, 50, 6, 30, 150, 18, 90, 450,
                            4, 20, 100, 12, 60, 300, 36, 180, 900}));
    EXPECT_EQ(divisors_of_square({{7, 3}}), (divisor_list{1, 7, 49, 343, 2401, 16807, 117649}));
}

TEST(Divisors, LongListsKeepTheCountingOrder) {
    for (const std::int64_t m : {360360LL, 471240LL, 536870911LL, 510510LL * 1051, 536870912LL}) {
        const factor_list factors = trial_factor(m);
        const divisor_list divisors = divisors_of_square(factors);
        expect_counting_order(factors, divisors);
        EXPECT_EQ(divisors.back(), m * m) << m;
        EXPECT_EQ(std::set<std::int64_t>(divisors.begin(), divisors.end()).size(), divisors.size());
    }
    EXPECT_EQ(divisors_of_square(trial_factor(360360)).size(), 2835U);
    EXPECT_EQ(divisors_of_square(trial_factor(471240)).size(), 2835U);
}
