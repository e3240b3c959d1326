#include "stats/run_stats.hpp"

#include <gtest/gtest.h>

#include <bit>

using erdos::prime_scan;
using erdos::run_stats;
using erdos::update_run_stats;

namespace {

prime_scan covered(std::int32_t p, std::int32_t least_c, double uniform, double weighted) {
    prime_scan s;
    s.p = p;
    s.least_c = least_c;
    s.first_d = 1;
    s.branch = 1;
    s.successful_shifts = 1;
    s.first_m = (p + least_c) / 4;
    s.has_witness = true;
    s.uniform_mass = uniform;
    s.weighted_mass = weighted;
    return s;
}

}  // namespace

TEST(RunStats, FirstPrimeToReachAnExtremeIsKept) {
    run_stats stats;
    update_run_stats(stats, covered(73, 7, 19.0 / 720, 529.0 / 5940), true);
    update_run_stats(stats, covered(97, 3, 47.0 / 1440, 371.0 / 1980), true);
    update_run_stats(stats, covered(193, 7, 13.0 / 720, 101.0 / 1980), true);
    update_run_stats(stats, covered(241, 7, 13.0 / 720, 101.0 / 1980), true);  // ties change nothing

    EXPECT_EQ(stats.covered, 4);
    EXPECT_EQ(stats.verified, 4);
    EXPECT_EQ(stats.max_least_shift, 7);
    EXPECT_EQ(stats.max_least_shift_prime, 73);
    EXPECT_EQ(stats.least_shift_histogram, (std::map<std::int32_t, std::int64_t>{{3, 1}, {7, 3}}));
    EXPECT_EQ(stats.min_uniform_mass, 13.0 / 720);
    EXPECT_EQ(stats.min_uniform_mass_prime, 193);
    EXPECT_EQ(stats.min_weighted_mass, 101.0 / 1980);
    EXPECT_EQ(stats.min_weighted_mass_prime, 193);
    EXPECT_EQ(stats.masses.uniform, (std::vector<double>{19.0 / 720, 47.0 / 1440, 13.0 / 720, 13.0 / 720}));
    EXPECT_EQ(stats.masses.weighted.size(), 4U);
    EXPECT_EQ(stats.processed, 0);  // counted by the walk, not here
}

TEST(RunStats, UncoveredFailedAndNanPrimes) {
    run_stats stats;
    prime_scan none;
    none.p = 73;
    update_run_stats(stats, none, false);  // masses 0: uncovered, but the minimum moves
    EXPECT_EQ(stats.covered, 0);
    EXPECT_EQ(stats.max_least_shift_prime, 0);
    EXPECT_EQ(stats.min_uniform_mass_prime, 73);

    // A failed verification still counts as covered, in the histogram and the
    // maximum; the run then does not count as a success, even with every
    // prime covered.
    update_run_stats(stats, covered(97, 11, 0.5, 0.5), false);
    EXPECT_EQ(stats.covered, 1);
    EXPECT_EQ(stats.verified, 0);
    stats.processed = 1;
    stats.covered = 1;
    EXPECT_FALSE(erdos::every_prime_covered_and_verified(stats));
    stats.verified = 1;
    EXPECT_TRUE(erdos::every_prime_covered_and_verified(stats));
    stats.processed = 2;
    EXPECT_FALSE(erdos::every_prime_covered_and_verified(stats));
    EXPECT_EQ(stats.max_least_shift, 11);
    EXPECT_EQ(stats.least_shift_histogram.at(11), 1);

    run_stats fresh;
    prime_scan nan_scan;
    nan_scan.p = 193;
    nan_scan.uniform_mass = std::bit_cast<double>(std::uint64_t{0xFFF8000000000000});
    nan_scan.weighted_mass = nan_scan.uniform_mass;
    update_run_stats(fresh, nan_scan, false);
    update_run_stats(fresh, covered(241, 3, 1.0, 1.0), true);  // equal to the initial 1.0
    EXPECT_EQ(fresh.min_uniform_mass, 1.0);
    EXPECT_EQ(fresh.min_uniform_mass_prime, 0);
    EXPECT_EQ(fresh.min_weighted_mass_prime, 0);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(fresh.masses.uniform[0]), 0xFFF8000000000000U);
}
