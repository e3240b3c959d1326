// The records that carry results between phases: one prime's scan and the run-wide aggregates.
#pragma once

#include <cstdint>
#include <map>

#include "numtheory/int128.hpp"
#include "report/mass_store.hpp"

namespace erdos {

// What the shift scan finds for one examined prime. The "none" values below
// stand for a prime that no shift covers.
struct prime_scan {
    std::int64_t p = 0;
    std::int32_t least_c = -1;            // first shift with a witness
    int128 first_d = -1;                  // its first witness, in divisor order
    std::int32_t branch = 0;              // 1: (m+d) = 0 mod c, 2: (4d+1) = 0 mod c, 3: both
    std::int32_t successful_shifts = 0;   // shifts with at least one witness
    std::int64_t first_m = 0;             // (p + least_c) / 4
    bool has_witness = false;
    double uniform_mass = 0.0;            // mean witness share over the shifts
    double weighted_mass = 0.0;           // the same, weighted towards small shifts
};

// Run-wide aggregates, folded in one examined prime at a time. Every extreme
// moves only on a strictly better value, so the first prime to reach it is kept.
// Counts and primes are 64-bit: an interval may lie anywhere up to 2^62 and
// hold more than 2^31 examined primes.
struct run_stats {
    std::int64_t processed = 0;
    std::int64_t covered = 0;
    std::int64_t verified = 0;
    std::int32_t max_least_shift = 0;
    std::int64_t max_least_shift_prime = 0;
    std::map<std::int32_t, std::int64_t> least_shift_histogram;
    double min_uniform_mass = 1.0;
    std::int64_t min_uniform_mass_prime = 0;
    double min_weighted_mass = 1.0;
    std::int64_t min_weighted_mass_prime = 0;
    mass_store masses;  // both masses of every prime, for the percentiles; makes run_stats move-only
};

}  // namespace erdos
