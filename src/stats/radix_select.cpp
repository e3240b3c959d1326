// Radix selection over order-preserving bit patterns, one digit per pass.
#include "stats/radix_select.hpp"

#include <stdexcept>

namespace erdos {

void count_next_digit(const double* values, std::size_t count, const rank_search& search, std::uint64_t* counts) {
    const int shift = 64 - search.known_bits - select_digit_bits;
    constexpr std::uint64_t digit_mask = select_digit_values - 1;
    if (search.known_bits == 0) {
        for (std::size_t i = 0; i < count; ++i) ++counts[(order_key(values[i]) >> shift) & digit_mask];
        return;
    }
    const int known_shift = 64 - search.known_bits;
    const std::uint64_t want = search.prefix >> known_shift;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t key = order_key(values[i]);
        if ((key >> known_shift) == want) ++counts[(key >> shift) & digit_mask];
    }
}

void take_next_digit(rank_search& search, const std::uint64_t* total_counts) {
    const int shift = 64 - search.known_bits - select_digit_bits;
    for (std::uint64_t digit = 0; digit < select_digit_values; ++digit) {
        if (search.rank < total_counts[digit]) {
            search.prefix |= digit << shift;
            search.known_bits += select_digit_bits;
            return;
        }
        search.rank -= total_counts[digit];
    }
    throw std::logic_error("rank beyond the counted keys");
}

}  // namespace erdos
