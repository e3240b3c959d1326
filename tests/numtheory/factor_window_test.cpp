#include "numtheory/factor_window.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "numtheory/prime_sieve.hpp"
#include "numtheory/spf_table.hpp"
#include "support/trial_factor.hpp"

namespace {

// Every field the scan reads for m, against the factorisation of m: the
// exponents in the pattern (with the bit of the large prime), the count, the
// slots in ascending order, the large prime, and valid indices in the first
// four slots whatever the count.
void expect_entry(const erdos::factor_window& window, std::int64_t m, const erdos::factor_list& factors) {
    const auto i = static_cast<std::size_t>(m - window.lo);
    const erdos::factor_window::entry& e = window.entries[i];
    const std::uint16_t* slots = window.small.data() + i * erdos::factor_window::max_small;
    const std::int64_t bound = window.primes.empty() ? 1 : window.primes.back();
    std::uint64_t pattern = 0;
    std::uint32_t large = 1;
    int small = 0;
    for (const erdos::prime_power& f : factors) {
        pattern |= static_cast<std::uint64_t>(f.exponent) << (5 * small);  // the large prime comes last
        if (f.prime > bound) {
            ASSERT_EQ(f.exponent, 1) << m;
            large = static_cast<std::uint32_t>(f.prime);
            continue;
        }
        ASSERT_LT(small, e.small_count) << m;
        ASSERT_EQ(window.primes[slots[small]], f.prime) << m << " slot " << small;
        ++small;
    }
    EXPECT_EQ(e.small_count, small) << m;
    EXPECT_EQ(e.large, large) << m;
    EXPECT_EQ(e.pattern, pattern) << m;
    if (!window.primes.empty()) {
        for (int s = 0; s < 4; ++s) EXPECT_LT(slots[s], window.primes.size()) << m << " slot " << s;
    }
}

}  // namespace

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

// 2, 3, 5 and 7 enter a window as a copy of one period of 5040 from lo mod
// 5040, their higher powers by sieving: windows from every kind of offset, of
// the length the scan uses and longer than two periods, m = 0 and 1 at the
// start, and bounds small enough that some of those primes do not sieve.
TEST(FactorWindow, EveryFieldAtAnyOffsetOfThePeriod) {
    const std::int64_t max_m = 80000;
    const std::vector<std::int32_t> spf = erdos::build_spf_table(4 * 80000 - 10, 7);
    erdos::factor_window window = erdos::make_factor_window(max_m);
    auto check = [&](std::int64_t lo, std::int64_t count, std::int64_t next_lo) {
        erdos::fill_factor_window(window, lo, count, next_lo);
        for (std::int64_t m = lo; m < lo + count; ++m) {
            ASSERT_NO_FATAL_FAILURE(expect_entry(window, m, m == 0 ? erdos::factor_list{} : erdos::factorize(m, spf)));
        }
    };
    for (std::int64_t lo = 0; lo < 3 * 5040 + 8192; lo += 8192) check(lo, 8192 + 33, lo + 8192);
    for (const std::int64_t lo : {1, 5039, 5040, 5041, 2 * 5040 - 33, 9 * 5040, 9 * 5040 + 2519, 68000}) {
        check(lo, 8192 + 33, lo + 8192);
    }
    check(7 * 5040 - 1, 11500, -1);  // runs of 1, 5040, 5040 and 1419
    check(0, 1, -1);

    for (const std::int64_t small_max : {1, 3, 4, 8, 15, 16, 24, 30, 48, 49, 50, 121}) {
        erdos::factor_window w = erdos::make_factor_window(small_max);
        erdos::fill_factor_window(w, 0, small_max + 1);
        for (std::int64_t m = 1; m <= small_max; ++m) {
            ASSERT_EQ(erdos::window_factor_list(w, m), erdos_test::trial_factor(m)) << small_max << ' ' << m;
            ASSERT_NO_FATAL_FAILURE(expect_entry(w, m, erdos_test::trial_factor(m)));
        }
        EXPECT_TRUE(erdos::window_factor_list(w, 0).empty());
    }
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

    // High powers of 2, 3, 5 and 7 beyond the period, alone and together, a
    // window apart and in windows that carry the sieve over.
    const std::int64_t powers[] = {
        536870912,                // 2^29
        387420489,                // 3^18
        244140625,                // 5^12
        282475249,                // 7^10
        429981696,                // 2^16 3^8
        381024000,                // 2^8 3^5 5^3 7^2
        1058400LL * 503,          // 2^5 3^3 5^2 7^2 503
        5040LL * 106522,          // 2^5 3^2 5 7 13 17 241
        4LL * 134217727,          // 2^2 7 73 262657
    };
    for (const std::int64_t m : powers) {
        for (std::int64_t lo = m - 8192 - 40; lo <= m; lo += 8192) {
            erdos::fill_factor_window(window, lo, std::min<std::int64_t>(8192 + 33, max_m - lo + 1), lo + 8192);
        }
        ASSERT_NO_FATAL_FAILURE(expect_entry(window, m, erdos_test::trial_factor(m)));
        for (std::int64_t d = -4; d <= 4; ++d) {
            if (m + d > max_m) continue;
            ASSERT_NO_FATAL_FAILURE(expect_entry(window, m + d, erdos_test::trial_factor(m + d)));
        }
    }
}
