#include "numtheory/factor_window.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "numtheory/examined_primes.hpp"
#include "numtheory/prime_sieve.hpp"
#include "support/trial_factor.hpp"

// Windows that follow each other carry the sieve over; windows that jump or
// go back start afresh. Either way every m must factor as the table says.
TEST(FactorWindow, EveryWindowFactorsLikeTheTable) {
    const std::int64_t max_m = 300000;
    const std::vector<std::int32_t> spf = erdos::build_spf_table(4 * 300000 - 10, 7);
    erdos::factor_window window = erdos::make_factor_window(max_m);
    struct fill {
        std::int64_t lo, count, next_lo;
    };
    const fill fills[] = {{0, 1000, 700}, {700, 1000, 1700}, {1700, 50, 1710}, {1710, 4096, 5000},
                          {90000, 20000, 100000}, {100000, 8192, 108192}, {50, 10, 60}, {299000, 1001, 300001}};
    for (const fill& f : fills) {
        erdos::fill_factor_window(window, f.lo, f.count, f.next_lo);
        for (std::int64_t m = std::max<std::int64_t>(f.lo, 1); m < f.lo + f.count; ++m) {
            ASSERT_EQ(erdos::window_factor_list(window, m), erdos::factorize(m, spf)) << m;
        }
    }
    erdos::fill_factor_window(window, 0, 1);
    EXPECT_TRUE(erdos::window_factor_list(window, 0).empty());
}

TEST(FactorWindow, LargestMOfTheRun) {
    const std::int64_t max_m = (2147483520LL + 127) / 4 + 2;
    erdos::factor_window window = erdos::make_factor_window(max_m);
    erdos::fill_factor_window(window, max_m - 3000, 3001);
    for (const std::int64_t m : {max_m, max_m - 1, max_m - 2, std::int64_t{536870912}, max_m - 3000}) {
        EXPECT_EQ(erdos::window_factor_list(window, m), erdos_test::trial_factor(m)) << m;
    }
    erdos::fill_factor_window(window, 223092870 - 5, 11);  // 2*3*5*...*23: nine primes
    EXPECT_EQ(erdos::window_factor_list(window, 223092870).size(), 9U);
}

TEST(ExaminedPrimes, SameAsTheFullSieve) {
    for (const std::int32_t p_max : {0, 72, 73, 96, 97, 1000, 1000003, 2000000}) {
        std::vector<std::int32_t> expected;
        for (const std::int32_t p : erdos::sieve_primes(p_max)) {
            if (p % 24 == 1) expected.push_back(p);
        }
        EXPECT_EQ(erdos::sieve_examined_primes(p_max), expected) << p_max;
    }
    EXPECT_EQ(erdos::sieve_examined_primes(2000000).size(), 18507U);
}
