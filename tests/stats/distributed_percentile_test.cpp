#include "stats/distributed_percentile.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>

#include "stats/percentile.hpp"

using namespace erdos;

namespace {

std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

// The search run over lists held by several parts, as the processes of a run
// hold them: each part counts its own store, the counts are added, every
// part takes the same digits. A part holds `budget` pairs in memory, the
// rest on file.
summary_percentiles search_parts(const std::vector<std::vector<double>>& uniform,
                                 const std::vector<std::vector<double>>& weighted,
                                 std::uint64_t budget = tuning::mass_budget_primes) {
    std::vector<mass_store> stores(uniform.size());
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < uniform.size(); ++i) {
        set_up_mass_store(stores[i], "", budget);
        stores[i].read_block = 3;
        for (std::size_t j = 0; j < uniform[i].size(); ++j) add_masses(stores[i], uniform[i][j], weighted[i][j]);
        total += mass_count(stores[i]);
    }
    percentile_search search = start_percentile_search(total);
    for (int pass = 0; pass < select_passes && !search.targets.empty(); ++pass) {
        std::vector<std::uint64_t> sums(search.targets.size() * select_digit_values, 0);
        for (const mass_store& store : stores) {
            std::vector<std::uint64_t> counts;
            EXPECT_EQ(count_percentile_pass(search, store, counts), 0);
            for (std::size_t j = 0; j < counts.size(); ++j) sums[j] += counts[j];
        }
        take_percentile_pass(search, sums);
    }
    return finish_percentile_search(search);
}

// Deals values round-robin in blocks of `block` to `parts` parts.
std::vector<std::vector<double>> deal(const std::vector<double>& values, std::size_t parts, std::size_t block) {
    std::vector<std::vector<double>> out(parts);
    for (std::size_t i = 0; i < values.size(); ++i) out[(i / block) % parts].push_back(values[i]);
    return out;
}

void expect_as_single(const std::vector<double>& uniform, const std::vector<double>& weighted, std::size_t parts,
                      std::size_t block, std::uint64_t budget = tuning::mass_budget_primes) {
    const summary_percentiles got = search_parts(deal(uniform, parts, block), deal(weighted, parts, block), budget);
    const std::string where = std::to_string(uniform.size()) + " values, " + std::to_string(parts) + " parts, budget " +
                              std::to_string(budget);
    EXPECT_EQ(bits(got.median_uniform), bits(percentile(uniform, 0.5))) << where;
    EXPECT_EQ(bits(got.p10_uniform), bits(percentile(uniform, 0.1))) << where;
    EXPECT_EQ(bits(got.p90_uniform), bits(percentile(uniform, 0.9))) << where;
    EXPECT_EQ(bits(got.median_weighted), bits(percentile(weighted, 0.5))) << where;
}

}  // namespace

TEST(OrderKey, OrdersAsTheValuesAndRoundTrips) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<double> ascending = {-inf, -1e300, -1.0, -1e-310, -0.0, 0.0, 1e-310, 0.25, 1.0, 1e300, inf};
    for (std::size_t i = 0; i < ascending.size(); ++i) {
        EXPECT_EQ(bits(key_value(order_key(ascending[i]))), bits(ascending[i]));
        if (i > 0) {
            EXPECT_LT(order_key(ascending[i - 1]), order_key(ascending[i])) << i;
        }
    }
}

// Every split of a list, with ties, tiny lists and masses near 0 and 1, in
// memory or mostly on file, gives the single program's bits.
TEST(DistributedPercentile, EqualsTheSingleListForEverySplit) {
    std::mt19937_64 random(14);
    std::uniform_real_distribution<double> mass(0.0, 1.0);
    for (const std::size_t n : {1, 2, 3, 5, 10, 11, 97, 1000}) {
        std::vector<double> uniform;
        std::vector<double> weighted;
        for (std::size_t i = 0; i < n; ++i) {
            // A few repeated values, so that ranks fall inside runs of equal keys.
            uniform.push_back(i % 7 == 0 ? 0.125 : mass(random));
            weighted.push_back(i % 5 == 0 ? 0.0 : mass(random) * 1e-3);
        }
        for (const std::size_t parts : {1, 2, 3, 4, 7}) {
            expect_as_single(uniform, weighted, parts, 3);
            expect_as_single(uniform, weighted, parts, 3, 2);  // most of each part on file
        }
    }
}

TEST(DistributedPercentile, EmptyListsAndListsOfNans) {
    const summary_percentiles none = search_parts({{}, {}}, {{}, {}});
    EXPECT_EQ(bits(none.median_uniform), 0x7FF8000000000000U);
    EXPECT_EQ(bits(none.p90_uniform), 0x7FF8000000000000U);
    EXPECT_EQ(bits(none.median_weighted), 0x7FF8000000000000U);

    // No shift at all gives every prime the masses 0/0, of one sign.
    for (const std::uint64_t nan_bits : {std::uint64_t{0x7FF8000000000000}, std::uint64_t{0xFFF8000000000000}}) {
        const std::vector<double> nans(9, std::bit_cast<double>(nan_bits));
        expect_as_single(nans, nans, 3, 2);
        expect_as_single(nans, nans, 3, 2, 1);
    }
}

TEST(DistributedPercentile, CountsThatDoNotAddUpAreRefused) {
    percentile_search search = start_percentile_search(5);
    std::vector<std::uint64_t> sums(search.targets.size() * select_digit_values, 0);
    EXPECT_THROW(take_percentile_pass(search, sums), std::logic_error);
}

// A pass shared by several threads counts what one thread counts, in every
// pass, whether the masses are in memory or mostly on file.
TEST(DistributedPercentile, APassOnSeveralThreadsCountsAsOne) {
    std::mt19937_64 random(3);
    std::uniform_real_distribution<double> mass(0.0, 1.0);
    for (const std::uint64_t budget : {tuning::mass_budget_primes, std::uint64_t{30000}}) {
        mass_store store;
        set_up_mass_store(store, "", budget);
        store.read_block = 4099;
        for (int i = 0; i < 100003; ++i) add_masses(store, mass(random), i % 4 == 0 ? 0.25 : mass(random));
        percentile_search search = start_percentile_search(mass_count(store));
        for (int pass = 0; pass < select_passes; ++pass) {
            std::vector<std::uint64_t> one;
            ASSERT_EQ(count_percentile_pass(search, store, one, 1), 0);
            for (const unsigned threads : {2U, 3U, 8U}) {
                std::vector<std::uint64_t> several;
                ASSERT_EQ(count_percentile_pass(search, store, several, threads), 0);
                ASSERT_EQ(several, one) << "pass " << pass << ", " << threads << " threads, budget " << budget;
            }
            take_percentile_pass(search, one);
        }
    }
}
