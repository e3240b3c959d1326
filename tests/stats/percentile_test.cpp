#include "stats/percentile.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <limits>

#include "stats/number_format.hpp"

using erdos::percentile;

namespace {
std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }
}  // namespace

TEST(Percentile, EmptyAndSingleLists) {
    for (const double q : {0.0, 0.1, 0.5, 0.9, 1.0}) {
        EXPECT_EQ(bits(percentile({}, q)), 0x7FF8000000000000U) << q;
        EXPECT_EQ(percentile({0.25}, q), 0.25) << q;
    }
}

TEST(Percentile, RanksAndInterpolation) {
    const std::vector<double> eleven = {10, 0, 9, 1, 8, 2, 7, 3, 6, 4, 5};
    EXPECT_EQ(percentile(eleven, 0.1), 1.0);  // pos = 10 * 0.1 is exactly 1
    EXPECT_EQ(percentile({3.0, 1.0, 2.0}, 0.5), 2.0);

    const std::vector<double> four = {4.0, 2.0, 1.0, 3.0};
    EXPECT_EQ(percentile(four, 0.5), 2.5);
    EXPECT_EQ(percentile(four, 0.1), 1.3);
    EXPECT_EQ(percentile(four, 0.9), 3.7);
    EXPECT_EQ(erdos::format_double(percentile(four, 0.9)), "3.7000000000000002");

    // Equal neighbours are interpolated all the same, which moves the last bit.
    const double equal = percentile({0.3, 0.3}, 0.1);
    EXPECT_EQ(equal, 0.30000000000000004);
    EXPECT_EQ(erdos::format_double(equal), "0.30000000000000004");
}

TEST(Percentile, NansKeepTheirSignAndTheCallersListKeepsItsOrder) {
    const double negative_nan = std::bit_cast<double>(std::uint64_t{0xFFF8000000000000});
    const std::vector<double> nans(5, negative_nan);
    for (const double q : {0.1, 0.5, 0.9}) EXPECT_EQ(bits(percentile(nans, q)), 0xFFF8000000000000U) << q;
    EXPECT_EQ(bits(1.0 / percentile(nans, 0.5)), 0xFFF8000000000000U);

    const std::vector<double> values = {0.4, 0.1, 0.3};
    const std::vector<double> copy = values;
    percentile(values, 0.9);
    EXPECT_EQ(values, copy);
}

// Selection must give exactly what the sort gives, for every rank and list.
TEST(Percentile, SelectionAgreesWithTheSort) {
    std::vector<double> values;
    double x = 0.123;
    for (int n = 0; n < 60; ++n) {
        for (const double q : {0.0, 0.1, 0.5, 0.9, 1.0}) {
            std::vector<double> work = values;
            EXPECT_EQ(bits(erdos::select_percentile(work, q)), bits(percentile(values, q))) << n << ' ' << q;
        }
        x = x * 3.7 - static_cast<int>(x * 3.7);  // a scrambled sequence with repeats of equal values
        values.push_back(n % 7 == 0 ? 0.25 : x);
    }
    std::vector<double> nans(4, std::bit_cast<double>(std::uint64_t{0xFFF8000000000000}));
    EXPECT_EQ(bits(erdos::select_percentile(nans, 0.9)), 0xFFF8000000000000U);
}
