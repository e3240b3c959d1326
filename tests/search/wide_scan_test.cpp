// The wide scan, fed in chunks cut at its windows' ends, against the plain
// scans wherever both can run: every field, the masses as bit patterns.
#include "search/wide_scan.hpp"

#include <gtest/gtest.h>


#include "numtheory/examined_primes.hpp"
#include "numtheory/prime_test64.hpp"
#include "numtheory/spf_table.hpp"
#include "search/scan_prime.hpp"
#include "search/scan_prime_far.hpp"
#include "search/shift_list.hpp"
#include "support/prime_sources.hpp"
#include "support/same_scan.hpp"
#include "walks/wide_feed.hpp"

namespace {

using erdos_test::examined_between;
using erdos_test::same_scan;
using erdos_test::source_of;

// Scans `primes` (ascending, from p_min on) as the far walk does in the
// wide range, in chunks of at least `chunk`, and holds every scan to what
// `plain` gives for its prime.
template <typename Plain>
void expect_wide_scans(const std::vector<std::int64_t>& primes, std::int64_t p_min, std::int64_t p_max,
                       std::int32_t c_max, std::size_t chunk, Plain plain) {
    ASSERT_TRUE(erdos::wide_scan_covers(p_max, c_max));
    const std::int64_t shifts = static_cast<std::int64_t>(erdos::count_shifts(c_max));
    erdos::wide_factor_window window =
        erdos::make_wide_factor_window((p_max + 4 * shifts - 1) / 4, erdos::wide_window_span, shifts);
    erdos::wide_feed feed = erdos::start_wide_feed(source_of(primes), p_min, window);
    const erdos::scan_plan plan = erdos::make_scan_plan(c_max, {});
    erdos::far_scratch scratch;
    std::vector<std::int64_t> batch;
    std::size_t next = 0;
    while (erdos::next_wide_chunk(feed, chunk, batch)) {
        std::vector<erdos::prime_scan> out(batch.size());
        erdos::scan_primes_wide(batch.data(), batch.size(), plan, feed.grid_lo, window, scratch, out.data());
        for (std::size_t j = 0; j < batch.size(); ++j, ++next) {
            ASSERT_EQ(batch[j], primes[next]);
            ASSERT_TRUE(same_scan(out[j], plain(batch[j]))) << "c_max " << c_max << ", chunk " << chunk;
        }
    }
    EXPECT_EQ(next, primes.size());
}

void expect_same_as_plain(std::int32_t p_min, std::int32_t p_max, std::int32_t c_max, std::size_t chunk) {
    std::vector<std::int64_t> primes;
    for (const std::int32_t p : erdos::sieve_examined_primes(p_max)) {
        if (p >= p_min) primes.push_back(p);
    }
    const std::vector<std::int32_t> spf = erdos::build_spf_table(p_max, c_max);
    const erdos::shift_table shifts = erdos::build_shift_list(c_max);
    expect_wide_scans(primes, p_min, p_max, c_max, chunk, [&](std::int64_t p) {
        return erdos::scan_prime(static_cast<std::int32_t>(p), shifts.shift_list, shifts.shift_list.size(),
                                 shifts.weight_total, spf);
    });
}

void expect_same_as_plain_far_out(std::int64_t p_min, std::int64_t p_max, std::int32_t c_max, std::size_t chunk) {
    const std::vector<std::int64_t> primes = examined_between(p_min, p_max);
    ASSERT_FALSE(primes.empty());
    const erdos::shift_table shifts = erdos::build_shift_list(c_max);
    expect_wide_scans(primes, p_min, p_max, c_max, chunk, [&](std::int64_t p) {
        return erdos::scan_prime_far(p, shifts.shift_list, shifts.shift_list.size(), shifts.weight_total);
    });
}

TEST(WideScan, AgreesWithThePlainScans) {
    // From the smallest primes on, where p <= c leaves m no unit, and shifts
    // without logarithms; chunks of every size against the windows.
    expect_same_as_plain(0, 400000, 127, 1000);
    expect_same_as_plain(1000000, 1300000, 255, 1);
    expect_same_as_plain(0, 50000, 3, 7);
    for (const std::int32_t c_max : {127, 255}) {
        expect_same_as_plain_far_out(2147400000, 2147500000, c_max, 100);       // across 2^31
        expect_same_as_plain_far_out(1000000000000, 1000000030000, c_max, 64);  // 10^12
    }
    // The top of the range: m up to 2^42.
    const std::int64_t top = 4 * ((std::int64_t{1} << 42) - 64) - 255;
    expect_same_as_plain_far_out(top - 20000, top, 255, 30);
}

// The first `wanted` examined p = 4 * k * base - c, over k = 1, 2, ... and
// the shifts c, whose pair (p, c) has m = k * base, walked up to the least
// shift or counted after it; each one's scan against the plain one.
void expect_same_for_constructed_m(std::int64_t base, std::int32_t c_max, int wanted) {
    const erdos::shift_table shifts = erdos::build_shift_list(c_max);
    int found = 0;
    for (std::int64_t k = 1; 4 * k * base < 4 * (std::int64_t{1} << 42) - 4 * c_max && found < wanted; ++k) {
        for (std::int32_t c = 3; c <= c_max && found < wanted; c += 4) {
            const std::int64_t p = 4 * k * base - c;
            if (p % 24 != 1 || !erdos::is_prime_u64(static_cast<std::uint64_t>(p))) continue;
            const erdos::prime_scan plain =
                erdos::scan_prime_far(p, shifts.shift_list, shifts.shift_list.size(), shifts.weight_total);
            expect_wide_scans({p}, p, p, c_max, 1, [&](std::int64_t) { return plain; });
            ++found;
        }
    }
    EXPECT_EQ(found, wanted) << "base " << base;
}

TEST(WideScan, AgreesForPatternsBeyondTheBatches) {
    // A batch holds ten factors with exponents below 32 and tau(m^2) below
    // 2^16; these m are counted on their own.
    expect_same_for_constructed_m(2LL * 3 * 5 * 7 * 11 * 13 * 17 * 19 * 23 * 29 * 31, 255, 4);  // eleven factors
    expect_same_for_constructed_m(16LL * 9 * 25 * 7 * 11 * 13 * 17 * 19 * 23, 127, 4);          // tau(m^2) = 164025
    expect_same_for_constructed_m(std::int64_t{1} << 32, 127, 16);  // twos beyond a pattern's 5 bits
    expect_same_for_constructed_m(std::int64_t{1} << 38, 255, 4);
}

}  // namespace
