// What a run would need, forecast before it from a short timed sample of its own walk.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/run_config.hpp"

namespace erdos {

// One stretch of the interval walked on one thread for the sample: how many
// examined primes it held, their rows' bytes, and when each chunk arrived.
struct slice_sample {
    std::int64_t lo = 0;  // the stretch walked (or begun: the sample may stop it early)
    std::int64_t hi = 0;
    bool finished = false;  // walked to hi, not stopped by the sample's time limit
    std::int64_t primes = 0;
    std::uint64_t row_bytes = 0;
    double sieve_seconds = 0;  // until the walk began to scan (the 32-bit walk sieves its interval first)
    double seconds = 0;        // the whole walk
    std::vector<double> arrival_seconds;       // after each chunk, since the walk began
    std::vector<std::int64_t> arrival_primes;  // the primes done by then
};

// A stretch's cost as fixed + per_prime * primes, fitted to its chunks'
// arrivals by least squares (from its whole time when fewer than two
// arrived). Neither part is negative.
struct slice_cost {
    double fixed = 0;
    double per_prime = 0;
};
slice_cost fit_slice_cost(const slice_sample& slice);

// What the run of a configuration would need.
struct run_forecast {
    unsigned threads = 1;
    double examined = 0;         // examined primes
    bool counted = false;        // the sample walked the whole interval: examined is exact
    double row_bytes = 0;        // the mean results row
    double results_bytes = 0;    // header and rows
    bool results_staged = true;  // a regular results file, written beside its target until the end
    double mass_file_bytes = 0;  // masses beyond the budget in memory, in an unnamed temporary file
    std::string mass_directory;  // where that file would go
    double waiting_file_bytes = 0;  // at most, chunks far out that wait their turn beyond memory, in files there
    double peak_bytes = 0;       // resident memory
    double wall_seconds = 0;
    std::int64_t sample_primes = 0;
    int sample_places = 0;
    double sample_seconds = 0;
};

// Walks a short sample of the run of config, spread over its interval, with
// as many concurrent one-thread walks as the run has threads, and forecasts
// from it the run's examined primes, results size, temporary disk, peak
// memory and wall time. Writes no file and keeps nothing of the sample but
// its measurements; takes a few seconds (longer where a single chunk of
// primes takes longer, with very wide shift bounds).
run_forecast forecast_run(const run_config& config);

}  // namespace erdos
