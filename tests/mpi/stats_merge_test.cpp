#include "mpi/stats_merge.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>

#include "stats/run_stats.hpp"

using namespace erdos;

namespace {

prime_scan scan(std::int64_t p, std::int32_t least_c, double uniform, double weighted) {
    prime_scan s;
    s.p = p;
    s.least_c = least_c;
    s.has_witness = least_c > 0;
    s.uniform_mass = uniform;
    s.weighted_mass = weighted;
    return s;
}

void expect_same(const run_stats& a, const run_stats& b) {
    EXPECT_EQ(a.processed, b.processed);
    EXPECT_EQ(a.covered, b.covered);
    EXPECT_EQ(a.verified, b.verified);
    EXPECT_EQ(a.max_least_shift, b.max_least_shift);
    EXPECT_EQ(a.max_least_shift_prime, b.max_least_shift_prime);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(a.min_uniform_mass), std::bit_cast<std::uint64_t>(b.min_uniform_mass));
    EXPECT_EQ(a.min_uniform_mass_prime, b.min_uniform_mass_prime);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(a.min_weighted_mass), std::bit_cast<std::uint64_t>(b.min_weighted_mass));
    EXPECT_EQ(a.min_weighted_mass_prime, b.min_weighted_mass_prime);
    EXPECT_EQ(a.least_shift_histogram, b.least_shift_histogram);
}

// Folds the scans dealt round-robin in blocks to `parts` parts, each part on
// its own, then merges the parts after a trip through the packed words, in
// reverse order.
run_stats fold_in_parts(const std::vector<prime_scan>& scans, std::size_t parts, std::size_t block) {
    std::vector<run_stats> each(parts);
    for (std::size_t i = 0; i < scans.size(); ++i) {
        run_stats& part = each[(i / block) % parts];
        ++part.processed;
        update_run_stats(part, scans[i], i % 11 != 0);
    }
    std::vector<std::int64_t> words;
    for (auto it = each.rbegin(); it != each.rend(); ++it) {
        const std::vector<std::int64_t> packed = pack_run_stats(*it);
        words.insert(words.end(), packed.begin(), packed.end());
    }
    run_stats whole;
    std::size_t at = 0;
    for (std::size_t i = 0; i < parts; ++i) merge_run_stats(whole, unpack_run_stats(words, at));
    EXPECT_EQ(at, words.size());
    return whole;
}

}  // namespace

// Ties everywhere: equal largest least shifts and equal minimal masses at
// several primes, in different parts, an uncovered prime, NaN masses, and
// parts left empty. The first prime of each extreme must win, as in one fold.
TEST(StatsMerge, PartsMergeToTheSequentialFold) {
    const double nan = std::nan("");
    std::vector<prime_scan> scans;
    for (std::int64_t i = 0; i < 40; ++i) {
        const std::int64_t p = 73 + 24 * i;
        const std::int32_t least_c = i == 9 ? -1 : (i % 13 == 4 ? 47 : static_cast<std::int32_t>(3 + 4 * (i % 5)));
        const double uniform = i == 6 ? nan : (i % 8 == 5 ? 0.0625 : 0.5 + 0.01 * static_cast<double>(i % 3));
        const double weighted = i % 10 == 7 ? 0.03125 : 0.75;
        scans.push_back(scan(p, least_c, uniform, weighted));
    }
    run_stats sequential;
    for (std::size_t i = 0; i < scans.size(); ++i) {
        ++sequential.processed;
        update_run_stats(sequential, scans[i], i % 11 != 0);
    }
    for (const std::size_t parts : {1, 2, 3, 4, 16, 64}) {
        for (const std::size_t block : {1, 3, 10}) expect_same(fold_in_parts(scans, parts, block), sequential);
    }
}

TEST(StatsMerge, TruncatedWordsAreRefused) {
    run_stats stats;
    ++stats.least_shift_histogram[3];
    std::vector<std::int64_t> words = pack_run_stats(stats);
    words.pop_back();
    std::size_t at = 0;
    EXPECT_THROW(unpack_run_stats(words, at), std::invalid_argument);
}
