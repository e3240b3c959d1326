// A run of consecutive examined primes as a walk hands it on: scans, verdicts, rows and their aggregates.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "search/prime_scan.hpp"

namespace erdos {

// The counts and extremes of some examined primes, as a run's aggregates and
// a chunk's tally both keep them. Every extreme moves only on a strictly
// better value, so the first prime to reach it is kept. Counts and primes
// are 64-bit: an interval may lie anywhere up to 2^62 and hold more than
// 2^31 examined primes.
struct prime_counts {
    std::int64_t covered = 0;
    std::int64_t verified = 0;
    std::int32_t max_least_shift = 0;
    std::int64_t max_least_shift_prime = 0;
    std::map<std::int32_t, std::int64_t> least_shift_histogram;
    double min_uniform_mass = 1.0;
    std::int64_t min_uniform_mass_prime = 0;
    double min_weighted_mass = 1.0;
    std::int64_t min_weighted_mass_prime = 0;
};

// The aggregates of the first `primes` primes of a chunk, folded by whoever
// made the chunk, so that the run only adds them to its own in prime order
// (fold_chunk_stats); the masses are kept in prime order.
struct chunk_tally : prime_counts {
    std::size_t primes = 0;
    std::vector<double> uniform_masses;
    std::vector<double> weighted_masses;
};

// The outcome of a run of consecutive examined primes, in prime order: each
// prime's scan, whether its first witness verified, its results rows, and
// their aggregates.
struct prime_chunk {
    std::vector<prime_scan> scans;
    std::vector<std::uint8_t> verified;
    std::string rows;
    chunk_tally tally;
};

}  // namespace erdos
