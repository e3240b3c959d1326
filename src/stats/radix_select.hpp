// Finding the k-th smallest of values spread over several lists, one 16-bit digit of their bit patterns at a time.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace erdos {

// A double's bits turned so that unsigned comparison orders the keys as the
// values: the sign bit flipped for a positive value, every bit for a negative
// one. -0.0 comes just before +0.0; a NaN lies beyond the infinities of its
// sign, so a list of equal NaNs still has a well-defined k-th key.
// Inline: the passes over a run's masses call it once a value.
inline std::uint64_t order_key(double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    constexpr std::uint64_t sign = std::uint64_t{1} << 63;
    return (bits & sign) != 0 ? ~bits : bits | sign;
}
inline double key_value(std::uint64_t key) {
    constexpr std::uint64_t sign = std::uint64_t{1} << 63;
    return std::bit_cast<double>((key & sign) != 0 ? key & ~sign : ~key);
}

inline constexpr int select_digit_bits = 16;
inline constexpr std::size_t select_digit_values = std::size_t{1} << select_digit_bits;
inline constexpr int select_passes = 64 / select_digit_bits;

// The search for the key of rank `rank` (0-based) among all keys of all
// lists. After pass i the top (i + 1) * 16 bits of the answer are known; each
// pass counts, in every list, the keys that share the bits known so far by
// their next digit, and the counts of all lists, added up, fix that digit.
struct rank_search {
    std::uint64_t rank = 0;    // the wanted key's rank among the keys that share prefix
    std::uint64_t prefix = 0;  // the bits known so far, in place
    int known_bits = 0;
};

// Adds to counts (select_digit_values entries) the keys of the count values
// that share search's known bits, each at its next digit.
void count_next_digit(const double* values, std::size_t count, const rank_search& search, std::uint64_t* counts);
inline void count_next_digit(const std::vector<double>& values, const rank_search& search, std::uint64_t* counts) {
    count_next_digit(values.data(), values.size(), search, counts);
}

// Fixes the next digit from the counts of every list added up: the digit in
// whose run of keys the wanted rank falls. Throws std::logic_error when the
// counts hold fewer keys than the rank needs.
void take_next_digit(rank_search& search, const std::uint64_t* total_counts);

// The value found once all passes are done.
inline double found_value(const rank_search& search) { return key_value(search.prefix); }

}  // namespace erdos
