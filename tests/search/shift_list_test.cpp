#include "search/shift_list.hpp"

#include <gtest/gtest.h>

using erdos::build_shift_list;
using erdos::shift_weight;
using list = std::vector<std::int32_t>;

TEST(ShiftList, WeightsStepDownAndNeverReachZero) {
    const std::pair<std::int32_t, std::int32_t> expected[] = {
        {3, 42}, {7, 18}, {11, 11}, {15, 8}, {19, 6}, {23, 5}, {27, 4}, {31, 4}, {35, 3}, {39, 3},
        {43, 2}, {63, 2}, {67, 1}, {127, 1}, {131, 1}, {2147483643, 1}};
    for (const auto& [c, w] : expected) EXPECT_EQ(shift_weight(c), w) << c;
}

TEST(ShiftList, ListsAndTotals) {
    for (const std::int32_t c_max : {-2147483647 - 1, -5, 0, 2}) {
        const auto t = build_shift_list(c_max);
        EXPECT_TRUE(t.shift_list.empty());
        EXPECT_EQ(t.weight_total, 0);
    }
    for (const std::int32_t c_max : {3, 6}) {
        const auto t = build_shift_list(c_max);
        EXPECT_EQ(t.shift_list, list{3});
        EXPECT_EQ(t.weight_total, 42);
    }
    EXPECT_EQ(build_shift_list(7).shift_list, (list{3, 7}));
    EXPECT_EQ(build_shift_list(7).weight_total, 60);

    const auto defaults = build_shift_list(127);
    EXPECT_EQ(defaults.shift_list.size(), 32U);
    EXPECT_EQ(defaults.shift_list.back(), 127);
    EXPECT_EQ(defaults.weight_total, 132);

    const auto t131 = build_shift_list(131);
    EXPECT_EQ(t131.shift_list.size(), 33U);
    EXPECT_EQ(t131.weight_total, 133);
    EXPECT_EQ(build_shift_list(1026).shift_list.back(), 1023);
    for (const std::int32_t c_max : {-2147483647 - 1, 0, 2, 3, 6, 7, 126, 127, 131, 1026}) {
        EXPECT_EQ(erdos::count_shifts(c_max), build_shift_list(c_max).shift_list.size()) << c_max;
    }
    EXPECT_EQ(erdos::count_shifts(2147483646), 536870911U);
}
