// Radix selection over order-preserving bit patterns, one digit per pass.
#include "stats/radix_select.hpp"

#include <bit>
#include <stdexcept>

namespace erdos {

std::uint64_t order_key(double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    constexpr std::uint64_t sign = std::uint64_t{1} << 63;
    return (bits & sign) != 0 ? ~bits : bits | sign;
}

double key_value(std::uint64_t key) {
    constexpr std::uint64_t sign = std::uint64_t{1} << 63;
    return std::bit_cast<double>((key & sign) != 0 ? key & ~sign : ~key);
}

void count_next_digit(const std::vector<double>& values, const rank_search& search, std::uint64_t* counts) {
    const int shift = 64 - search.known_bits - select_digit_bits;
    constexpr std::uint64_t digit_mask = select_digit_values - 1;
    if (search.known_bits == 0) {
        for (const double v : values) ++counts[(order_key(v) >> shift) & digit_mask];
        return;
    }
    const int known_shift = 64 - search.known_bits;
    const std::uint64_t want = search.prefix >> known_shift;
    for (const double v : values) {
        const std::uint64_t key = order_key(v);
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
