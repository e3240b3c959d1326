// The merge of two parts' aggregates, and their packing into 64-bit words.
#include "mpi/stats_merge.hpp"

#include <bit>
#include <stdexcept>

namespace erdos {

namespace {

// The minimum of two (value, first prime) pairs. Neither value is a NaN: a
// minimum only ever moves to a value strictly below another.
void take_smaller(double& value, std::int64_t& prime, double other_value, std::int64_t other_prime) {
    if (other_value < value || (other_value == value && other_prime < prime)) {
        value = other_value;
        prime = other_prime;
    }
}

}  // namespace

void merge_run_stats(run_stats& whole, const run_stats& part) {
    whole.processed += part.processed;
    whole.covered += part.covered;
    whole.verified += part.verified;
    if (part.max_least_shift > whole.max_least_shift ||
        (part.max_least_shift == whole.max_least_shift && part.max_least_shift_prime < whole.max_least_shift_prime)) {
        whole.max_least_shift = part.max_least_shift;
        whole.max_least_shift_prime = part.max_least_shift_prime;
    }
    take_smaller(whole.min_uniform_mass, whole.min_uniform_mass_prime, part.min_uniform_mass,
                 part.min_uniform_mass_prime);
    take_smaller(whole.min_weighted_mass, whole.min_weighted_mass_prime, part.min_weighted_mass,
                 part.min_weighted_mass_prime);
    for (const auto& [least_c, count] : part.least_shift_histogram) whole.least_shift_histogram[least_c] += count;
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
