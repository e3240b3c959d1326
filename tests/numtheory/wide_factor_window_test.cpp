// The wide factor window against factorisation by trial, window after window.
#include "numtheory/wide_factor_window.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

#include "numtheory/factorize64.hpp"

namespace {

erdos::factor_list64 window_factors(const erdos::wide_factor_window& window, std::int64_t m) {
    std::uint64_t primes[erdos::wide_factor_window::max_small + 1];
    std::int32_t exponents[erdos::wide_factor_window::max_small + 1];
    const int n = erdos::wide_factors_of(window, m, primes, exponents);
    erdos::factor_list64 got;
    for (int f = 0; f < n; ++f) got.push_back({static_cast<std::int64_t>(primes[f]), exponents[f]});
    return got;
}

// Fills `count` windows from lo on, each the last one's lo + span (a run
// that carries its sieve on) or, every `jump`th, further on (a new run),
// and checks every `step`th m up to max_m, and the ones in `also`,
// against trial division.
void expect_windows_factor(std::int64_t max_m, std::int64_t span, std::int64_t reach, std::int64_t lo, int count,
                           int jump, std::int64_t step, std::vector<std::int64_t> also = {}) {
    erdos::wide_factor_window window = erdos::make_wide_factor_window(max_m, span, reach);
    for (int k = 0; k < count; ++k) {
        erdos::fill_wide_factor_window(window, lo);
        const std::int64_t hi = std::min(lo + span + reach - 1, max_m);
        const auto check = [&](std::int64_t m) {
            ASSERT_EQ(window_factors(window, m), erdos::factorize64(m)) << "m " << m << " window at " << lo;
        };
        for (std::int64_t m = lo; m <= hi; m += step) check(m);
        for (const std::int64_t m : also) {
            if (m >= lo && m <= hi) check(m);
        }
        lo += jump > 0 && k % jump == jump - 1 ? 3 * span + 17 : span;
    }
}

TEST(WideFactorWindow, AgreesWithTrialDivision) {
    // From m = 1: 1, the small primes themselves, and every power of them.
    expect_windows_factor(1 << 20, 1024, 32, 1, 200, 0, 1);
    expect_windows_factor(1 << 20, 1024, 0, 1, 50, 7, 1);
    // Near 2^31 and 10^11: primes far past the span wait in buckets, and
    // several of them strike one m, in any order.
    expect_windows_factor(std::int64_t{1} << 32, 8192, 64, (std::int64_t{1} << 31) - 50000, 12, 5, 1);
    expect_windows_factor(250000000000, 8192, 64, 249999000000, 40, 9, 3);
    // Up to the top of the range, the multiples of 2^32 and 2^41 among
    // them, whose twos exceed a pattern's five bits, and squares of
    // bucket primes (q > span + reach).
    const std::int64_t top = (std::int64_t{1} << 42) - 1;
    const std::int64_t q = 2097143;  // the largest prime below 2^21: q^2 < 2^42
    expect_windows_factor(top, 8192, 64, top - 90000, 12, 0, 7, {std::int64_t{1} << 41, 1023LL << 32, q * q});
    expect_windows_factor(top, 4096, 16, (1023LL << 32) - 4096 * 30, 40, 0, 97, {1023LL << 32});
    expect_windows_factor(q * q + 10, 512, 8, q * q - 512 * 3, 6, 0, 1);
    // The ring and the offsets need a power of two at least the reach.
    EXPECT_THROW(erdos::make_wide_factor_window(1 << 20, 1000, 8), std::invalid_argument);
    EXPECT_THROW(erdos::make_wide_factor_window(1 << 20, 64, 65), std::invalid_argument);
}

}  // namespace
