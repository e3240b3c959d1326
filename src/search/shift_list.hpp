// The shifts c = 3, 7, 11, ... and their weights.
#pragma once

#include <cstdint>
#include <vector>

namespace erdos {

// The shifts c = 3, 7, 11, ... <= c_max and the sum of their weights.
struct shift_table {
    std::vector<std::int32_t> shift_list;
    std::int64_t weight_total = 0;
};

// Requires c_max <= 2147483646; below 3 the list is empty and the total 0.
// Throws run_stopped when a signal asks the run to stop.
shift_table build_shift_list(std::int32_t c_max);

// The number of entries of build_shift_list(c_max), without building it:
// (c_max - 3) / 4 + 1, or 0 below 3.
std::uint64_t count_shifts(std::int32_t c_max);

// max(1, 128 / c) with truncating division: small shifts weigh most, none weighs 0.
std::int32_t shift_weight(std::int32_t c);

}  // namespace erdos
