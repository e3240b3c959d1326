#include "search/scan_prime.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>

#include "numtheory/prime_sieve.hpp"
#include "numtheory/spf_table.hpp"
#include "search/shift_list.hpp"
#include "search/verify_witness.hpp"

using erdos::prime_scan;

namespace {

struct scan_setup {
    std::vector<std::int32_t> spf;
    erdos::shift_table shifts;
};

scan_setup make_setup(std::int32_t p_max, std::int32_t c_max) {
    return {erdos::build_spf_table(p_max, c_max), erdos::build_shift_list(c_max)};
}

prime_scan scan(const scan_setup& s, std::int32_t p) {
    return erdos::scan_prime(p, s.shifts.shift_list, s.shifts.shift_list.size(), s.shifts.weight_total, s.spf);
}

std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

}  // namespace

TEST(ScanPrime, KnownPrimesAtTheDefaultShifts) {
    const scan_setup s = make_setup(2000, 127);
    struct row {
        std::int32_t p, least_c;
        std::int64_t first_d;
        std::int32_t branch, successful;
        std::int64_t first_m;
        double uniform, weighted;
    };
    // Masses are the doubles nearest these fractions, to the last bit.
    const row rows[] = {
        {73, 7, 1, 1, 3, 20, 19.0 / 720, 529.0 / 5940},
        {97, 3, 5, 3, 4, 25, 47.0 / 1440, 371.0 / 1980},
        {193, 7, 5, 2, 3, 50, 13.0 / 720, 101.0 / 1980},
        // For m = 110 the divisors begin 1, 11, 121, 5, ...: 121 is the first
        // witness although 2 is a smaller one.
        {433, 7, 121, 1, 7, 110, 23.0 / 432, 907.0 / 8910},
    };
    for (const row& r : rows) {
        const prime_scan got = scan(s, r.p);
        EXPECT_EQ(got.p, r.p);
        EXPECT_EQ(got.least_c, r.least_c) << r.p;
        EXPECT_EQ(got.first_d, r.first_d) << r.p;
        EXPECT_EQ(got.branch, r.branch) << r.p;
        EXPECT_EQ(got.successful_shifts, r.successful) << r.p;
        EXPECT_EQ(got.first_m, r.first_m) << r.p;
        EXPECT_TRUE(got.has_witness);
        EXPECT_EQ(bits(got.uniform_mass), bits(r.uniform)) << r.p;
        EXPECT_EQ(bits(got.weighted_mass), bits(r.weighted)) << r.p;
    }
}

TEST(ScanPrime, UncoveredAndShiftlessPrimes) {
    const prime_scan none = scan(make_setup(100, 3), 73);
    EXPECT_EQ(none.least_c, -1);
    EXPECT_EQ(none.first_d, -1);
    EXPECT_EQ(none.branch, 0);
    EXPECT_EQ(none.successful_shifts, 0);
    EXPECT_EQ(none.first_m, 0);
    EXPECT_FALSE(none.has_witness);
    EXPECT_EQ(bits(none.uniform_mass), bits(0.0));
    EXPECT_EQ(bits(none.weighted_mass), bits(0.0));

    // No shift at all: 0/0, the NaN whose sign bit is set.
    const prime_scan empty = scan(make_setup(100, 2), 97);
    EXPECT_FALSE(empty.has_witness);
    EXPECT_EQ(empty.least_c, -1);
    EXPECT_EQ(bits(empty.uniform_mass), 0xFFF8000000000000U);
    EXPECT_EQ(bits(empty.weighted_mass), 0xFFF8000000000000U);
}

// Over many primes and shifts, including shifts that are multiples of p
// (73 * 3 = 219, 97 * 7 = 679, ...), every covered prime's record is
// consistent and its first witness yields a verified solution.
TEST(ScanPrime, RecordsAreConsistentAndVerify) {
    const std::int32_t p_max = 30000;
    const std::int32_t c_max = 1023;
    const scan_setup s = make_setup(p_max, c_max);
    for (const std::int32_t p : erdos::sieve_primes(p_max)) {
        if (p % 24 != 1) continue;
        const prime_scan r = scan(s, p);
        ASSERT_EQ(r.has_witness, r.successful_shifts > 0) << p;
        ASSERT_EQ(r.has_witness, r.least_c != -1) << p;
        ASSERT_TRUE(r.uniform_mass >= 0.0 && r.uniform_mass <= 1.0) << p;
        ASSERT_TRUE(r.weighted_mass >= 0.0 && r.weighted_mass <= 1.0) << p;
        if (!r.has_witness) continue;
        const std::int64_t m = r.first_m;
        const std::int64_t c = r.least_c;
        ASSERT_EQ(m, (p + c) / 4) << p;
        ASSERT_EQ((m * m) % r.first_d, 0) << p;
        const std::int32_t branch = ((m + r.first_d) % c == 0 ? 1 : 0) + ((4 * r.first_d + 1) % c == 0 ? 2 : 0);
        ASSERT_EQ(r.branch, branch) << p;
        ASSERT_TRUE(erdos::verify_first_witness(p, r.least_c, m, r.first_d, r.branch)) << p;
    }
}
