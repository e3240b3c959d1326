// Micro-benchmarks of the scan of one prime (plain and fast) and of the table
// builds. Run: build/erdos-straus-benchmarks [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "numtheory/examined_primes.hpp"
#include "numtheory/factor_window.hpp"
#include "numtheory/prime_sieve.hpp"
#include "numtheory/spf_table.hpp"
#include "search/fast_scan.hpp"
#include "search/scan_prime.hpp"
#include "search/shift_list.hpp"

namespace {

constexpr std::int32_t c_max = 127;

// A block of 2048 examined primes just below p_top.
std::vector<std::int32_t> primes_below(std::int32_t p_top) {
    const std::vector<std::int32_t> all = erdos::sieve_examined_primes(p_top);
    return {all.end() - 2048, all.end()};
}

void scan_plain(benchmark::State& state) {
    const auto p_top = static_cast<std::int32_t>(state.range(0));
    const std::vector<std::int32_t> primes = primes_below(p_top);
    const std::vector<std::int32_t> spf = erdos::build_spf_table(p_top, c_max);
    const erdos::shift_table shifts = erdos::build_shift_list(c_max);
    std::size_t next = 0;
    for (auto _ : state) {
        const std::int32_t p = primes[next++ % primes.size()];
        benchmark::DoNotOptimize(
            erdos::scan_prime(p, shifts.shift_list, shifts.shift_list.size(), shifts.weight_total, spf));
    }
    state.SetItemsProcessed(state.iterations());
}

// Per prime, scanning blocks of 2048 as the program does (windows included).
void scan_fast(benchmark::State& state) {
    const auto p_top = static_cast<std::int32_t>(state.range(0));
    const std::vector<std::int32_t> primes = primes_below(p_top);
    erdos::factor_window window = erdos::make_factor_window((static_cast<std::int64_t>(p_top) + c_max) / 4 + 2);
    const erdos::scan_plan plan = erdos::make_scan_plan(c_max, window.primes);
    erdos::scan_scratch scratch;
    std::vector<erdos::prime_scan> out(primes.size());
    for (auto _ : state) {
        erdos::scan_primes_fast(primes.data(), primes.size(), plan, window, scratch, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(primes.size()));
}

void sieve_all_primes(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(erdos::sieve_primes(static_cast<std::int32_t>(state.range(0))));
}

void sieve_class_24k_plus_1(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(erdos::sieve_examined_primes(static_cast<std::int32_t>(state.range(0))));
    }
}

void factor_table(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(erdos::build_spf_table(static_cast<std::int32_t>(state.range(0)), c_max));
    }
}

// The same m range as factor_table, in windows of 8192 that carry the sieve over.
void factor_windows(benchmark::State& state) {
    const std::int64_t max_m = (state.range(0) + c_max) / 4 + 2;
    erdos::factor_window window = erdos::make_factor_window(max_m);
    for (auto _ : state) {
        for (std::int64_t lo = 0; lo <= max_m; lo += 8192) erdos::fill_factor_window(window, lo, 8192 + 33, lo + 8192);
        benchmark::DoNotOptimize(window.entries.data());
    }
}

}  // namespace

BENCHMARK(scan_plain)->Arg(2000000)->Arg(200000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(scan_fast)->Arg(2000000)->Arg(200000000)->Unit(benchmark::kMillisecond);
BENCHMARK(sieve_all_primes)->Arg(20000000)->Unit(benchmark::kMillisecond);
BENCHMARK(sieve_class_24k_plus_1)->Arg(20000000)->Unit(benchmark::kMillisecond);
BENCHMARK(factor_table)->Arg(20000000)->Unit(benchmark::kMillisecond);
BENCHMARK(factor_windows)->Arg(20000000)->Arg(200000000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
