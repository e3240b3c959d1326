// The merge of two parts' aggregates, and their packing into 64-bit words.
#include "mpi/stats_merge.hpp"

#include <bit>
#include <stdexcept>

namespace erdos {

void merge_run_stats(run_stats& whole, const run_stats& part) {
    whole.processed += part.processed;
    add_counts_and_extremes(whole, part);
}

std::vector<std::int64_t> pack_run_stats(const run_stats& stats) {
    std::vector<std::int64_t> words = {
        stats.processed,
        stats.covered,
        stats.verified,
        stats.max_least_shift,
        stats.max_least_shift_prime,
        std::bit_cast<std::int64_t>(stats.min_uniform_mass),
        stats.min_uniform_mass_prime,
        std::bit_cast<std::int64_t>(stats.min_weighted_mass),
        stats.min_weighted_mass_prime,
        static_cast<std::int64_t>(stats.least_shift_histogram.size()),
    };
    for (const auto& [least_c, count] : stats.least_shift_histogram) {
        words.push_back(least_c);
        words.push_back(count);
    }
    return words;
}

run_stats unpack_run_stats(const std::vector<std::int64_t>& words, std::size_t& at) {
    constexpr std::size_t fixed = 10;
    if (words.size() < at || words.size() - at < fixed) throw std::invalid_argument("truncated statistics");
    const std::int64_t* w = words.data() + at;
    run_stats stats;
    stats.processed = w[0];
    stats.covered = w[1];
    stats.verified = w[2];
    stats.max_least_shift = static_cast<std::int32_t>(w[3]);
    stats.max_least_shift_prime = w[4];
    stats.min_uniform_mass = std::bit_cast<double>(w[5]);
    stats.min_uniform_mass_prime = w[6];
    stats.min_weighted_mass = std::bit_cast<double>(w[7]);
    stats.min_weighted_mass_prime = w[8];
    const auto entries = static_cast<std::uint64_t>(w[9]);
    at += fixed;
    if ((words.size() - at) / 2 < entries) throw std::invalid_argument("truncated statistics");
    for (std::uint64_t i = 0; i < entries; ++i, at += 2) {
        stats.least_shift_histogram[static_cast<std::int32_t>(words[at])] = words[at + 1];
    }
    return stats;
}

}  // namespace erdos
