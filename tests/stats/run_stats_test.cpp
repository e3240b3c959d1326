#include "stats/run_stats.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <string>
#include <vector>

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

namespace {

bool same_aggregates(const run_stats& a, const run_stats& b) {
    return a.processed == b.processed && a.covered == b.covered && a.verified == b.verified &&
           a.max_least_shift == b.max_least_shift && a.max_least_shift_prime == b.max_least_shift_prime &&
           a.least_shift_histogram == b.least_shift_histogram &&
           std::bit_cast<std::uint64_t>(a.min_uniform_mass) == std::bit_cast<std::uint64_t>(b.min_uniform_mass) &&
           a.min_uniform_mass_prime == b.min_uniform_mass_prime &&
           std::bit_cast<std::uint64_t>(a.min_weighted_mass) == std::bit_cast<std::uint64_t>(b.min_weighted_mass) &&
           a.min_weighted_mass_prime == b.min_weighted_mass_prime;
}

}  // namespace

// Chunks folded from their tallies give the run's aggregates and masses of
// the same primes folded one by one, however the primes are cut into
// chunks: extremes reached again in a later chunk, by a NaN, or only by the
// initial 1.0 stay with the first prime, and the masses cross the budget at
// any point of a chunk.
TEST(RunStats, ChunkTalliesFoldAsTheirPrimes) {
    const double nan = std::bit_cast<double>(std::uint64_t{0x7FF8000000000000});
    std::vector<prime_scan> scans;
    std::vector<std::uint8_t> verdicts;
    for (std::int32_t i = 0; i < 40; ++i) {
        const std::int32_t p = 73 + 24 * i;
        prime_scan s;
        if (i % 6 == 5) {
            s.p = p;  // uncovered
        } else {
            const double mass = i == 17 ? nan : (i % 5 == 0 ? 1.0 : 0.25 + 0.125 * (i % 3));
            s = covered(p, 3 + 4 * ((i * 7) % 5), mass, i % 4 == 0 ? 0.5 : mass);
        }
        scans.push_back(s);
        verdicts.push_back(i % 9 == 4 ? 0 : 1);
    }
    for (const std::size_t chunk_size : {std::size_t{1}, std::size_t{3}, std::size_t{7}, std::size_t{40}}) {
        for (const std::uint64_t budget : {std::uint64_t{1}, std::uint64_t{5}, std::uint64_t{64}}) {
            run_stats one_by_one;
            run_stats by_tally;
            set_up_mass_store(one_by_one.masses, "", budget);
            set_up_mass_store(by_tally.masses, "", budget);
            for (std::size_t first = 0; first < scans.size(); first += chunk_size) {
                erdos::prime_chunk chunk;
                for (std::size_t i = first; i < std::min(scans.size(), first + chunk_size); ++i) {
                    chunk.scans.push_back(scans[i]);
                    chunk.verified.push_back(verdicts[i]);
                    erdos::tally_prime(chunk.tally, scans[i], verdicts[i] != 0);
                    ++one_by_one.processed;
                    update_run_stats(one_by_one, scans[i], verdicts[i] != 0);
                }
                erdos::fold_chunk_stats(by_tally, chunk);
                erdos::clear_chunk_tally(chunk.tally);
                EXPECT_EQ(chunk.tally.primes, 0U);
                EXPECT_TRUE(chunk.tally.uniform_masses.empty());
            }
            const std::string where = std::to_string(chunk_size) + " a chunk, budget " + std::to_string(budget);
            EXPECT_TRUE(same_aggregates(one_by_one, by_tally)) << where;
            EXPECT_EQ(one_by_one.masses.segments, by_tally.masses.segments) << where;
            EXPECT_EQ(one_by_one.masses.uniform_digits, by_tally.masses.uniform_digits) << where;
            ASSERT_EQ(one_by_one.masses.uniform.size(), by_tally.masses.uniform.size()) << where;
            for (std::size_t i = 0; i < by_tally.masses.uniform.size(); ++i) {
                EXPECT_EQ(std::bit_cast<std::uint64_t>(one_by_one.masses.uniform[i]),
                          std::bit_cast<std::uint64_t>(by_tally.masses.uniform[i]));
                EXPECT_EQ(one_by_one.masses.weighted[i], by_tally.masses.weighted[i]);
            }
        }
    }
}
