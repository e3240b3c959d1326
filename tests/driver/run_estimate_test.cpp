#include "driver/estimate_text.hpp"

#include <gtest/gtest.h>

using erdos::fit_slice_cost;
using erdos::forecast_text;
using erdos::run_config;
using erdos::run_forecast;
using erdos::slice_sample;

TEST(SliceCost, AFixedStartAndACostPerPrimeAreTakenApart) {
    // 0.4 s of set-up, then 2 us a prime, chunks of 1024 primes with some noise.
    slice_sample slice;
    for (int i = 1; i <= 32; ++i) {
        slice.arrival_primes.push_back(1024 * i);
        slice.arrival_seconds.push_back(0.4 + 2e-6 * 1024 * i + (i % 2 == 0 ? 1e-5 : -1e-5));
    }
    slice.primes = 32 * 1024;
    slice.seconds = slice.arrival_seconds.back();
    auto cost = fit_slice_cost(slice);
    EXPECT_NEAR(cost.fixed, 0.4, 1e-3);
    EXPECT_NEAR(cost.per_prime, 2e-6, 1e-8);

    // One chunk: the walk's own sieve is the fixed part, the rest per prime.
    slice = {};
    slice.primes = 1000;
    slice.sieve_seconds = 0.1;
    slice.arrival_primes = {1000};
    slice.arrival_seconds = {0.3};
    slice.seconds = 0.31;
    cost = fit_slice_cost(slice);
    EXPECT_DOUBLE_EQ(cost.fixed, 0.1);
    EXPECT_DOUBLE_EQ(cost.per_prime, 0.2 / 1000);

    // A line that would start before the walk (a slow last chunk) is not believed.
    slice.arrival_primes = {1000, 2000, 3000};
    slice.arrival_seconds = {0.01, 0.02, 0.9};
    slice.primes = 3000;
    slice.sieve_seconds = 0.0;
    cost = fit_slice_cost(slice);
    EXPECT_GE(cost.fixed, 0.0);
    EXPECT_DOUBLE_EQ(cost.per_prime, 0.9 / 3000);

    // No prime at all: nothing per prime.
    EXPECT_EQ(fit_slice_cost(slice_sample{}).per_prime, 0.0);
}

TEST(ForecastText, SaysWhatTheRunNeedsInUnitsAPersonReads) {
    run_config config;
    config.has_p_min = true;
    config.p_min = 1000000000000;
    config.p_max = 1002000000000;
    config.results_path = "r.csv";
    run_forecast f;
    f.threads = 2;
    f.examined = 9049570;
    f.results_bytes = 1.0512e9;
    f.mass_file_bytes = 77.7e6;
    f.mass_directory = "/data";
    f.peak_bytes = 160.4 * 1024 * 1024;
    f.wall_seconds = 3725;
    f.sample_primes = 524288;
    f.sample_places = 8;
    f.sample_seconds = 1.04;
    EXPECT_EQ(forecast_text(config, f, 82.2e9, -1),
              "A run from 1000000000000 to 1002000000000 with C_MAX 127 on 2 threads would need:\n"
              "  examined primes  about 9,050,000 (estimated from the density of primes)\n"
              "  results file     about 1.05 GB, written as 'r.csv.erdos-partial' until the run ends "
              "(the previous file stays until then; 82.2 GB free there)\n"
              "  temporary disk   about 77.7 MB of masses in '/data' (gone when the run ends)\n"
              "  peak memory      about 160 MiB\n"
              "  wall time        about 1h 02m\n"
              "from a sample of 524288 examined primes in 8 places, timed in 1.0 s\n");

    // A small run counted whole, its results straight to a device, its masses in memory.
    config = run_config{};
    config.p_max = 200;
    config.results_path = "/dev/null";
    f = run_forecast{};
    f.examined = 3;
    f.counted = true;
    f.results_staged = false;
    f.results_bytes = 364;
    f.peak_bytes = 3e6;
    f.wall_seconds = 0.004;
    f.sample_primes = 3;
    f.sample_places = 1;
    EXPECT_EQ(forecast_text(config, f, -1, -1),
              "A run to 200 with C_MAX 127 on 1 thread would need:\n"
              "  examined primes  3 (counted)\n"
              "  results file     about 364 bytes, written directly to '/dev/null'\n"
              "  temporary disk   none besides the results (the masses stay in memory)\n"
              "  peak memory      about 3 MiB\n"
              "  wall time        about 0.0 s\n"
              "from a sample of 3 examined primes in 1 place, timed in 0.0 s\n");
}
