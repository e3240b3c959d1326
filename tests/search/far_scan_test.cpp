// The scan for primes far out, fed by its factor sieve, against the plain
// scan wherever both can run: every field, the masses as bit patterns.
#include "search/far_scan.hpp"

#include <gtest/gtest.h>

#include <bit>

#include "numtheory/examined_primes.hpp"
#include "numtheory/prime_test64.hpp"
#include "numtheory/spf_table.hpp"
#include "search/scan_prime.hpp"
#include "search/scan_prime_far.hpp"
#include "search/shift_list.hpp"
#include "support/prime_sources.hpp"
#include "support/same_scan.hpp"
#include "walks/far_feed.hpp"

namespace {

using erdos_test::examined_between;
using erdos_test::same_scan;
using erdos_test::source_of;

// Feeds `primes` through the far walk's producer in chunks of `chunk` and
// holds every scan to what `plain` gives for its prime.
// As the walk does, the feed factors the m of the shifts up to list_max and
// the scan sieves those of the shifts above.
template <typename Plain>
void expect_far_scans(const std::vector<std::int64_t>& primes, std::int64_t p_min, std::int64_t p_max,
                       std::int32_t c_max, std::size_t chunk, Plain plain, std::int32_t list_max) {
    erdos::far_feed feed = erdos::start_far_feed(source_of(primes), p_min, p_max, std::min(c_max, list_max));
    const erdos::scan_plan plan = erdos::make_scan_plan(c_max, {}, list_max);
    erdos::far_scratch scratch;
    erdos::far_pair_factors factors;
    std::vector<std::int64_t> batch;
    std::size_t next = 0;
    while (erdos::next_far_chunk(feed, chunk, batch, factors)) {
        std::vector<erdos::prime_scan> out(batch.size());
        erdos::scan_primes_far(batch.data(), batch.size(), plan, factors, scratch, out.data());
        for (std::size_t j = 0; j < batch.size(); ++j, ++next) {
            ASSERT_EQ(batch[j], primes[next]);
            ASSERT_TRUE(same_scan(out[j], plain(batch[j]))) << "c_max " << c_max;
        }
    }
    EXPECT_EQ(next, primes.size());
}

// Against the plain scan with its factor table, below 2^31.
void expect_same_as_plain(std::int32_t p_min, std::int32_t p_max, std::int32_t c_max, std::size_t chunk,
                          std::int32_t list_max = 65535) {
    std::vector<std::int64_t> primes;
    for (const std::int32_t p : erdos::sieve_examined_primes(p_max)) {
        if (p >= p_min) primes.push_back(p);
    }
    const std::vector<std::int32_t> spf = erdos::build_spf_table(p_max, c_max);
    const erdos::shift_table shifts = erdos::build_shift_list(c_max);
    expect_far_scans(primes, p_min, p_max, c_max, chunk, [&](std::int64_t p) {
        return erdos::scan_prime(static_cast<std::int32_t>(p), shifts.shift_list, shifts.shift_list.size(),
                                 shifts.weight_total, spf);
    }, list_max);
}

TEST(FarScan, AgreesWithThePlainScan) {
    expect_same_as_plain(0, 400000, 127, 1000);
    expect_same_as_plain(1000000, 1300000, 255, 333);
    expect_same_as_plain(0, 50000, 3, 7);
    expect_same_as_plain(0, 3000, 2, 5);
}

TEST(FarScan, AgreesForLargeShiftsAndPrimesBelowTheirShifts) {
    // Shifts beyond the residue tables, shifts that are multiples of a prime
    // (73 * 3, 97 * 7, ...), and runs of m longer than a sieve segment.
    expect_same_as_plain(0, 20000, 1023, 50);
    expect_same_as_plain(0, 3000, 140003, 3);
    // Every shift from 131 on sieved by the chunk for itself: least shifts
    // above the list, shifts above p (one candidate) and below it.
    expect_same_as_plain(0, 40000, 1023, 50, 127);
}

// Far out only the plain far scan can check it: the examined primes of
// [p_min, p_max] found by a primality test of each 24k + 1.
void expect_same_as_plain_far_out(std::int64_t p_min, std::int64_t p_max, std::int32_t c_max, std::size_t chunk,
                                  std::int32_t list_max = 65535) {
    const std::vector<std::int64_t> primes = examined_between(p_min, p_max);
    ASSERT_FALSE(primes.empty());
    const erdos::shift_table shifts = erdos::build_shift_list(c_max);
    expect_far_scans(primes, p_min, p_max, c_max, chunk, [&](std::int64_t p) {
        return erdos::scan_prime_far(p, shifts.shift_list, shifts.shift_list.size(), shifts.weight_total);
    }, list_max);
}

TEST(FarScan, AgreesWithThePlainFarScanFarOut) {
    for (const std::int32_t c_max : {127, 255}) {
        expect_same_as_plain_far_out(2147400000, 2147500000, c_max, 100);                       // across 2^31
        expect_same_as_plain_far_out(1000000000000, 1000000030000, c_max, 64);                  // 10^12
        expect_same_as_plain_far_out(1000000000000000, 1000000000020000, c_max, 64);            // 10^15
        expect_same_as_plain_far_out(1000000000000000000, 1000000000000020000, c_max, 64);      // 10^18
        expect_same_as_plain_far_out(4611686018427367904, 4611686018427387904, c_max, 64);      // up to 2^62
    }
    // Long shift lists near 10^12 and 10^18, where the shifts beyond 255 are
    // walked in divisor order up to the least shift and counted by residues
    // after it: a table of c counters up to 65535, a hash table above.
    expect_same_as_plain_far_out(1000000000000, 1000000006000, 1023, 64);
    expect_same_as_plain_far_out(1000000000000, 1000000002000, 4095, 16);
    expect_same_as_plain_far_out(1000000000000000000, 1000000000000001000, 4095, 16);
    expect_same_as_plain_far_out(1000000000000, 1000000000300, 80003, 4);
    expect_same_as_plain_far_out(1000000000000, 1000000010000, 1023, 64, 127);
}

// The smallest examined prime p = 4 * k * base - c, over k = 1, 2, ...,
// whose least shift lies below c, so that the pair (p, c), with m = k * base,
// is counted after the first-witness walk; and the scan of p against the
// plain one, with the factor sieve reaching only p's own m.
void expect_same_for_constructed_m(std::int64_t base, std::int32_t c, std::int32_t c_max) {
    const erdos::shift_table shifts = erdos::build_shift_list(c_max);
    for (std::int64_t k = 1; k < 100000; ++k) {
        const std::int64_t p = 4 * k * base - c;
        if (p % 24 != 1 || !erdos::is_prime_u64(static_cast<std::uint64_t>(p))) continue;
        const erdos::prime_scan plain =
            erdos::scan_prime_far(p, shifts.shift_list, shifts.shift_list.size(), shifts.weight_total);
        if (!plain.has_witness || plain.least_c >= c) continue;
        erdos::far_feed feed = erdos::start_far_feed(source_of({p}), p, p, c_max);
        const erdos::scan_plan plan = erdos::make_scan_plan(c_max, {});
        erdos::far_scratch scratch;
        erdos::far_pair_factors factors;
        std::vector<std::int64_t> batch;
        ASSERT_TRUE(erdos::next_far_chunk(feed, 1, batch, factors));
        ASSERT_EQ(batch, std::vector<std::int64_t>{p});
        erdos::prime_scan far;
        erdos::scan_primes_far(&p, 1, plan, factors, scratch, &far);
        EXPECT_TRUE(same_scan(far, plain)) << "m = " << k << " * " << base << ", c " << c;
        return;
    }
    FAIL() << "no prime found for base " << base << ", c " << c;
}

TEST(FarScan, AgreesForPatternsBeyondTheBatches) {
    // A batch holds ten factors with exponents below 32, and tau(m^2) below
    // 2^16 for its 16-bit counts; these m are counted on their own. Their p
    // lie near 10^15, 10^13 and 10^14 (c = 47, 7 and 23 make p = 1 mod 24).
    const std::int64_t primorial_31 = 2LL * 3 * 5 * 7 * 11 * 13 * 17 * 19 * 23 * 29 * 31;  // eleven factors
    expect_same_for_constructed_m(primorial_31, 47, 127);
    // 2^5 3^3 5^2 7^2 11 13 17 19 23: nine factors, tau(m^2) = 467775.
    expect_same_for_constructed_m(32LL * 27 * 25 * 49 * 11 * 13 * 17 * 19 * 23, 47, 127);
    // 2^32 times an odd k: an exponent beyond five bits.
    expect_same_for_constructed_m(std::int64_t{1} << 32, 7, 127);
    expect_same_for_constructed_m(std::int64_t{1} << 33, 23, 255);
}

}  // namespace
