#include "numtheory/spf_table.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

using erdos::build_spf_table;
using erdos::factor_list;
using erdos::factorize;
using table = std::vector<std::int32_t>;

TEST(SpfTable, EveryEntryIsTheSmallestPrimeFactor) {
    const table spf = build_spf_table(40000, 7);  // R = 10001, entries 0 .. 10003
    ASSERT_EQ(spf.size(), 10004U);
    EXPECT_EQ(table(spf.begin(), spf.begin() + 11), (table{0, 1, 2, 3, 2, 5, 2, 7, 2, 3, 2}));
    EXPECT_EQ(spf[25], 5);
    EXPECT_EQ(spf[49], 7);
    EXPECT_EQ(spf[91], 7);
    for (std::int32_t x = 2; x < static_cast<std::int32_t>(spf.size()); ++x) {
        std::int32_t least = x;
        for (std::int32_t q = 2; q * q <= x; ++q) {
            if (x % q == 0) {
                least = q;
                break;
            }
        }
        ASSERT_EQ(spf[x], least) << x;
    }
}

TEST(SpfTable, LengthFollowsTheTruncatingQuotient) {
    EXPECT_EQ(build_spf_table(2000000, 127).size(), 500034U);
    EXPECT_EQ(build_spf_table(0, -8), (table{0}));
    EXPECT_EQ(build_spf_table(0, -4), (table{0, 1}));
    EXPECT_EQ(build_spf_table(0, 0), (table{0, 1, 2}));
    EXPECT_EQ(build_spf_table(0, 4), (table{0, 1, 2, 3}));
    EXPECT_EQ(build_spf_table(0, 8), (table{0, 1, 2, 3, 2}));
    // (0 - 15) / 4 truncates to -3: length 0. Lower still, the length would be
    // negative; no shift exists then, so an empty table is all the run needs.
    EXPECT_TRUE(build_spf_table(0, -15).empty());
    EXPECT_TRUE(build_spf_table(0, -16).empty());
    EXPECT_TRUE(build_spf_table(5, -2147483647 - 1).empty());
}

TEST(Factorize, ReadsTheTable) {
    const table spf = build_spf_table(2000000, 127);
    EXPECT_EQ(factorize(0, spf), factor_list{});
    EXPECT_EQ(factorize(1, spf), factor_list{});
    EXPECT_EQ(factorize(19, spf), (factor_list{{19, 1}}));
    EXPECT_EQ(factorize(360, spf), (factor_list{{2, 3}, {3, 2}, {5, 1}}));
    EXPECT_EQ(factorize(262144, spf), (factor_list{{2, 18}}));
    EXPECT_EQ(factorize(360360, spf), (factor_list{{2, 3}, {3, 2}, {5, 1}, {7, 1}, {11, 1}, {13, 1}}));
    EXPECT_EQ(factorize(500031, spf), (factor_list{{3, 2}, {7, 1}, {7937, 1}}));  // m = R, the largest of the run
    EXPECT_EQ(factorize(500033, spf), (factor_list{{47, 1}, {10639, 1}}));  // the last entry
    EXPECT_EQ(factorize(499979, spf), (factor_list{{499979, 1}}));
    EXPECT_THROW(factorize(500034, spf), std::out_of_range);
}
