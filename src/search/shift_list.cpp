// Building the shift list and its weights.
#include "search/shift_list.hpp"

#include <algorithm>

#include "stop_request.hpp"

namespace erdos {

std::int32_t shift_weight(std::int32_t c) { return std::max<std::int32_t>(1, 128 / c); }

std::uint64_t count_shifts(std::int32_t c_max) {
    return c_max < 3 ? 0 : static_cast<std::uint64_t>((static_cast<std::int64_t>(c_max) - 3) / 4 + 1);
}

shift_table build_shift_list(std::int32_t c_max) {
    shift_table table;
    for (std::int64_t c = 3; c <= c_max; c += 4) {
        if ((c & 0xFFFFF) == 3) stop_if_requested();  // once per 2^18 shifts
        table.shift_list.push_back(static_cast<std::int32_t>(c));
        table.weight_total += shift_weight(static_cast<std::int32_t>(c));
    }
    return table;
}

}  // namespace erdos
