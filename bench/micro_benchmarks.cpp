// Micro-benchmarks of the scan of one prime (plain, fast and far), of the table
// builds, of the witness check, of the sieves of intervals and of the number formatting of the results rows. Run: build/erdos-straus-benchmarks [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "numtheory/examined_primes.hpp"
#include "numtheory/factor_window.hpp"
#include "numtheory/prime_range.hpp"
#include "numtheory/prime_sieve.hpp"
#include "numtheory/prime_test64.hpp"
#include "numtheory/spf_table.hpp"
#include "numtheory/wide_factor_window.hpp"
#include "search/fast_scan.hpp"
#include "search/scan_prime.hpp"
#include "search/scan_prime_far.hpp"
#include "search/shift_list.hpp"
#include "search/verify_witness.hpp"
#include "stats/number_format.hpp"

namespace {

constexpr std::int32_t c_max = 127;

// A block of examined primes just below p_top, as many as the program scans
// at once with the 32 shifts up to 127.
constexpr std::ptrdiff_t block_primes = 8192;
std::vector<std::int32_t> primes_below(std::int32_t p_top) {
    const std::vector<std::int32_t> all = erdos::sieve_examined_primes(p_top);
    return {all.end() - block_primes, all.end()};
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

// Per prime, scanning whole blocks as the program does (windows included).
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

// The far reference scan, per prime, over the first 256 examined primes
// from the argument on (10^12, 10^18: m factorised by trial division and rho).
void scan_far(benchmark::State& state) {
    std::vector<std::int64_t> primes;
    for (std::int64_t p = state.range(0) - state.range(0) % 24 + 1; primes.size() < 256; p += 24) {
        if (erdos::is_prime_u64(static_cast<std::uint64_t>(p))) primes.push_back(p);
    }
    const erdos::shift_table shifts = erdos::build_shift_list(c_max);
    std::size_t next = 0;
    for (auto _ : state) {
        const std::int64_t p = primes[next++ % primes.size()];
        benchmark::DoNotOptimize(
            erdos::scan_prime_far(p, shifts.shift_list, shifts.shift_list.size(), shifts.weight_total));
    }
    state.SetItemsProcessed(state.iterations());
}

void sieve_all_primes(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(erdos::sieve_primes(static_cast<std::int32_t>(state.range(0))));
}

void sieve_class_24k_plus_1(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(erdos::sieve_examined_primes(static_cast<std::int32_t>(state.range(0))));
    }
}

// The examined primes of [p_min, p_min + width] (the arguments; p_min 0
// means the whole 32-bit run to 2147483520), handed out in batches of 8192
// as the walk takes them. Per examined prime.
void sieve_examined_interval(benchmark::State& state) {
    const std::int64_t p_min = state.range(0);
    const std::int64_t p_max = p_min == 0 ? 2147483520 : p_min + state.range(1);
    std::int64_t count = 0;
    for (auto _ : state) {
        erdos::examined_sieve sieve = erdos::start_examined_sieve(p_min, p_max);
        std::vector<std::int64_t> batch;
        count = 0;
        while (erdos::next_examined_primes(sieve, batch, 8192)) {
            count += static_cast<std::int64_t>(batch.size());
            benchmark::DoNotOptimize(batch.data());
            batch.clear();
        }
    }
    state.SetItemsProcessed(state.iterations() * count);
}

// The primes below the bound: the sieving primes of the walk up to 2^62 (2^31)
// and of factor windows up to 2^60 (2^30).
void all_primes_below(benchmark::State& state) {
    for (auto _ : state) {
        std::int64_t count = 0;
        erdos::for_each_prime_in(0, state.range(0), [&](std::uint32_t) { ++count; });
        benchmark::DoNotOptimize(count);
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

// Windows of 8192 m (and 32 of reach) of the wide walk, carried over,
// from m = range(0) over range(1) m: beside factor_windows at the same m
// near 4*10^8, and near 2.5*10^11, where the primes up to 5*10^5 sieve.
// Per m.
void wide_factor_windows(benchmark::State& state) {
    const std::int64_t lo = state.range(0);
    const std::int64_t width = state.range(1);
    erdos::wide_factor_window window = erdos::make_wide_factor_window(lo + width + 64, 8192, 32);
    for (auto _ : state) {
        for (std::int64_t at = lo; at < lo + width; at += 8192) erdos::fill_wide_factor_window(window, at);
        benchmark::DoNotOptimize(window.entries.data());
    }
    state.SetItemsProcessed(state.iterations() * width);
}

// The four numbers of a results row: two masses, shares of a few thousand
// divisors, and their reciprocals; now and then a mass of 0 and so an
// infinite reciprocal. Per number written.
void format_row_doubles(benchmark::State& state) {
    std::mt19937_64 random(7);
    std::vector<double> values;
    for (int row = 0; row < 4096; ++row) {
        const double uniform = row % 512 == 0 ? 0.0 : static_cast<double>(random() % 400 + 1) / 2880.0;
        const double weighted = static_cast<double>(random() % 900 + 1) / 7128.0;
        const double infinity = std::numeric_limits<double>::infinity();
        values.insert(values.end(), {uniform, weighted, uniform > 0.0 ? 1.0 / uniform : infinity, 1.0 / weighted});
    }
    char row[4 * (erdos::max_double_chars + 1)];
    for (auto _ : state) {
        for (std::size_t i = 0; i < values.size(); i += 4) {
            char* p = row;
            for (std::size_t k = 0; k < 4; ++k) {
                p = erdos::put_double(p, values[i + k]);
                *p++ = ',';
            }
            benchmark::DoNotOptimize(row);
            benchmark::ClobberMemory();
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(values.size()));
}

// One witness check; range(0) picks primes near 2^31 (0) or just below 2^62
// (1) with small d and d near 2^100, range(1) the branch.
void verify_witness(benchmark::State& state) {
    struct witness {
        std::int64_t p;
        std::int32_t c;
        erdos::int128 d;
    };
    const bool far = state.range(0) != 0;
    const bool second = state.range(1) == 2;
    const witness cases[2][2] = {
        {{2147383681, 11, second ? 41 : 123}, {2147383681, 11, second ? 41 : 123}},
        {{4611686018417388193, 7, second ? 5 : 1},
         {4611686017427387929, 11,
          second ? erdos::int128{40717981554} << 64 | 0x0ee5e68a152ea4d3ULL
                 : erdos::int128{28730238930} << 64 | 0xec9e3ada74676373ULL}},
    };
    std::size_t next = 0;
    for (auto _ : state) {
        const witness& w = cases[far ? 1 : 0][next++ & 1];
        benchmark::DoNotOptimize(
            erdos::verify_first_witness(w.p, w.c, (w.p + w.c) / 4, w.d, static_cast<std::int32_t>(state.range(1))));
    }
}

}  // namespace

BENCHMARK(scan_plain)->Arg(2000000)->Arg(200000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(scan_far)->Arg(1000000000000)->Arg(1000000000000000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(scan_fast)->Arg(2000000)->Arg(200000000)->Unit(benchmark::kMillisecond);
BENCHMARK(sieve_all_primes)->Arg(20000000)->Unit(benchmark::kMillisecond);
BENCHMARK(sieve_class_24k_plus_1)->Arg(20000000)->Unit(benchmark::kMillisecond);
BENCHMARK(sieve_class_24k_plus_1)->Arg(2147483520)->Unit(benchmark::kMillisecond);
BENCHMARK(sieve_examined_interval)
    ->Args({0, 0})
    ->Args({1000000000000, 2000000000})
    ->Args({1000000000000000, 1000000000})
    ->Args({1000000000000000000, 1000000000})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(all_primes_below)->Arg(std::int64_t{1} << 30)->Arg(std::int64_t{1} << 31)->Unit(benchmark::kMillisecond);
BENCHMARK(factor_table)->Arg(20000000)->Unit(benchmark::kMillisecond);
BENCHMARK(factor_windows)->Arg(20000000)->Arg(200000000)->Unit(benchmark::kMillisecond);
BENCHMARK(wide_factor_windows)
    ->Args({400000000, 50000000})
    ->Args({250000000000, 50000000})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(verify_witness)->ArgsProduct({{0, 1}, {1, 2}});
BENCHMARK(format_row_doubles)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
