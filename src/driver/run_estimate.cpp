// The forecast of --estimate: a timed sample of the run's own walk, spread over its interval, and what it implies for the whole.
#include "driver/run_estimate.hpp"

#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <exception>
#include <string_view>
#include <thread>

#include "numtheory/examined_primes.hpp"
#include "search/prime_scan.hpp"
#include "stats/mass_store.hpp"
#include "stats/results_rows.hpp"
#include "tuning.hpp"
#include "walks/far_walk.hpp"
#include "walks/walk_choice.hpp"

namespace erdos {

namespace {

using clock = std::chrono::steady_clock;

// The sample: this many places spread evenly over the interval, at each as
// many stretches side by side as the run has threads, each of about
// slice_primes examined primes walked on a thread of its own. A place's
// walks stop at the first chunk after place_seconds. A run of at most
// whole_places times a sample's primes is walked whole instead, cut into one
// stretch a thread.
constexpr int sample_places = 8;
constexpr double slice_primes = 32768.0;
constexpr double whole_places = 2.0;
constexpr double place_seconds = 1.0;
// The trial before the sample walks about trial_primes examined primes; a
// prime that takes longer than slow_prime_seconds there (a chunk of the
// 32-bit walk, 64 primes at least, would take more than place_seconds)
// makes the sample's slices that small.
constexpr double trial_primes = 2.0;
constexpr double slow_prime_seconds = place_seconds / 64.0;

// Selecting the summary's percentiles among masses on file: about this long
// per prime there (passes over the file, from the page cache), measured on
// the run to 10^10.
constexpr double selection_seconds_per_prime_on_file = 25e-9;

// The bytes of a scan and its verdict that a chunk holds besides its row
// while it waits to be handed on.
constexpr double held_bytes_besides_row = sizeof(prime_scan) + 1.0;

double seconds_since(clock::time_point start) { return std::chrono::duration<double>(clock::now() - start).count(); }

// The largest resident size of the process so far, in bytes.
double peak_resident_bytes() {
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) != 0) return 0.0;
    return static_cast<double>(usage.ru_maxrss) * 1024.0;
}

// One stretch walked on the calling thread, its chunks timed; stopped at
// the first chunk after `limit` seconds once two have arrived.
slice_sample walk_slice(walk_kind walk, std::int64_t lo, std::int64_t hi, std::int32_t c_max, double limit) {
    slice_sample slice;
    slice.lo = lo;
    slice.hi = hi;
    const clock::time_point start = clock::now();
    bool scanning = false;
    walk_events events;
    events.phase = [&](const char* phase) {
        if (!scanning && std::string_view(phase) == "scanning primes") {
            slice.sieve_seconds = seconds_since(start);
            scanning = true;
        }
    };
    const chunk_sink sink = [&](const prime_chunk& chunk) {
        slice.primes += static_cast<std::int64_t>(chunk.scans.size());
        slice.row_bytes += chunk.rows.size();
        const double now = seconds_since(start);
        slice.arrival_seconds.push_back(now);
        slice.arrival_primes.push_back(slice.primes);
        return now > limit && slice.arrival_seconds.size() >= 2 ? 1 : 0;
    };
    slice.finished = walk_part(walk, lo, hi, c_max, 1, sink, events) == 0;
    slice.seconds = seconds_since(start);
    return slice;
}

// The slices of one place walked side by side, one thread each; an
// exception of any is rethrown here once all have ended.
std::vector<slice_sample> walk_place(walk_kind walk, const std::vector<std::pair<std::int64_t, std::int64_t>>& cuts,
                                     std::int32_t c_max) {
    std::vector<slice_sample> slices(cuts.size());
    std::vector<std::exception_ptr> failures(cuts.size());
    std::vector<std::thread> workers;
    for (std::size_t i = 0; i < cuts.size(); ++i) {
        workers.emplace_back([&, i] {
            try {
                slices[i] = walk_slice(walk, cuts[i].first, cuts[i].second, c_max, place_seconds);
            } catch (...) {
                failures[i] = std::current_exception();
            }
        });
    }
    for (std::thread& worker : workers) worker.join();
    for (const std::exception_ptr& failure : failures) {
        if (failure) std::rethrow_exception(failure);
    }
    return slices;
}

// The stretches of one place of [lo, hi]: the whole place cut into `threads`
// equal parts, or `threads` stretches of about `primes` examined primes each
// side by side around its middle.
std::vector<std::pair<std::int64_t, std::int64_t>> cut_place(std::int64_t lo, std::int64_t hi, unsigned threads,
                                                             bool whole, double primes) {
    const std::int64_t span = hi - lo + 1;
    std::int64_t width = span / threads + (span % threads != 0 ? 1 : 0);
    std::int64_t first = lo;
    if (!whole) {
        // About `primes` examined primes by their density 1/(8 ln p).
        const double middle = std::max(73.0, static_cast<double>(lo) + static_cast<double>(span) / 2.0);
        width = std::min(width, std::max<std::int64_t>(24, std::llround(primes * 8.0 * std::log(middle))));
        first = std::max(lo, lo + (span - width * static_cast<std::int64_t>(threads)) / 2);
    }
    std::vector<std::pair<std::int64_t, std::int64_t>> cuts;
    for (unsigned t = 0; t < threads && first <= hi; ++t, first += width) {
        cuts.emplace_back(first, std::min(hi, first + width - 1));
    }
    return cuts;
}

// The primes of the sieving list that the stretches of a run on several
// threads share, a byte each.
double listed_sieving_bytes(std::int64_t p_max) {
    const double root = std::sqrt(static_cast<double>(std::max<std::int64_t>(p_max, 16)));
    return root / std::log(root);
}


}  // namespace

slice_cost fit_slice_cost(const slice_sample& slice) {
    slice_cost cost;
    const std::size_t n = slice.arrival_seconds.size();
    if (n >= 2) {
        double mean_c = 0;
        double mean_t = 0;
        for (std::size_t i = 0; i < n; ++i) {
            mean_c += static_cast<double>(slice.arrival_primes[i]);
            mean_t += slice.arrival_seconds[i];
        }
        mean_c /= static_cast<double>(n);
        mean_t /= static_cast<double>(n);
        double covariance = 0;
        double variance = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const double dc = static_cast<double>(slice.arrival_primes[i]) - mean_c;
            covariance += dc * (slice.arrival_seconds[i] - mean_t);
            variance += dc * dc;
        }
        if (variance > 0 && covariance > 0) {
            cost.per_prime = covariance / variance;
            cost.fixed = mean_t - cost.per_prime * mean_c;
            if (cost.fixed >= 0) return cost;
        }
    }
    // Too few chunks for a line, or one that would begin before the walk did:
    // the sieve's time fixed, the rest per prime.
    const double end = n > 0 ? slice.arrival_seconds.back() : slice.seconds;
    cost.fixed = std::min(slice.sieve_seconds, end);
    cost.per_prime = slice.primes > 0 ? (end - cost.fixed) / static_cast<double>(slice.primes) : 0.0;
    return cost;
}

run_forecast forecast_run(const run_config& config) {
    run_forecast forecast;
    const unsigned threads = worker_threads(config);
    forecast.threads = threads;
    const walk_kind walk = choose_walk(config.p_max, config.c_max, scan_engine::fast);
    const std::int64_t p_min = config.p_min;
    const std::int64_t p_max = config.p_max;
    const double expected = expected_examined_primes(p_min, p_max);
    const std::int64_t span = p_max - p_min + 1;

    // What they hold besides the program's own start is the memory a run's
    // walk takes.
    const double resident_before = peak_resident_bytes();
    const clock::time_point start = clock::now();

    // A trial of a few primes in the middle first. Where each prime takes
    // long (a huge C_MAX), a sample of whole chunks would take minutes or
    // hours: the slices then shrink to a few primes, and the places to as
    // many as the sample's time allows.
    double primes_per_slice = slice_primes;
    int places = sample_places;
    if (p_min <= p_max) {
        const double middle = std::max(73.0, static_cast<double>(p_min) + static_cast<double>(span) / 2.0);
        const std::int64_t trial_width = std::llround(trial_primes * 8.0 * std::log(middle));
        slice_sample trial;
        // Moved on, a few times, while it finds no prime.
        for (std::int64_t lo = p_min + span / 2, tries = 0; trial.primes == 0 && lo <= p_max && tries < 4;
             lo += trial_width, ++tries) {
            trial = walk_slice(walk, lo, lo + std::min<std::int64_t>(p_max - lo, trial_width - 1), config.c_max,
                               place_seconds);
        }
        const double per_prime = trial.primes > 0 ? trial.seconds / static_cast<double>(trial.primes) : 0.0;
        if (per_prime > slow_prime_seconds) {
            primes_per_slice = std::max(trial_primes, place_seconds / per_prime);
            places = std::clamp(static_cast<int>(sample_places * place_seconds / (per_prime * primes_per_slice)), 1,
                                sample_places);
        }
    }
    const bool whole = primes_per_slice == slice_primes &&
                       expected <= whole_places * sample_places * slice_primes * threads;
    if (whole) places = 1;
    forecast.sample_places = places;

    // The walks of the sample, place by place.
    double work = 0;        // one busy thread's seconds for every examined prime
    double fixed_sum = 0;   // the stretches' fitted fixed costs
    double sieve_sum = 0;   // the 32-bit walk's own sieve, and the widths it sieved
    double sieved_width = 0;
    int fitted = 0;
    double rows = 0;
    double row_bytes = 0;
    bool all_finished = true;
    std::int64_t all_primes = 0;
    for (int k = 0; k < places && p_min <= p_max; ++k) {
        const std::int64_t lo = p_min + static_cast<std::int64_t>(static_cast<double>(span) * k / places);
        const std::int64_t hi = k + 1 == places ? p_max
                                                : p_min + static_cast<std::int64_t>(static_cast<double>(span) * (k + 1) / places) - 1;
        if (lo > hi) continue;
        const std::vector<slice_sample> slices = walk_place(walk, cut_place(lo, hi, threads, whole, primes_per_slice),
                                                         config.c_max);
        double primes = 0;
        double seconds = 0;
        for (const slice_sample& slice : slices) {
            const slice_cost cost = fit_slice_cost(slice);
            primes += static_cast<double>(slice.primes);
            seconds += cost.per_prime * static_cast<double>(slice.primes);
            if (slice.primes > 0) {
                fixed_sum += cost.fixed;
                sieve_sum += slice.sieve_seconds;
                sieved_width += static_cast<double>(slice.hi - slice.lo + 1);
                ++fitted;
            }
            rows += static_cast<double>(slice.primes);
            row_bytes += static_cast<double>(slice.row_bytes);
            all_finished = all_finished && slice.finished;
            all_primes += slice.primes;
        }
        // The place's examined primes, each at the mean cost of those sampled there.
        const double place_primes = whole ? primes : expected_examined_primes(lo, hi);
        if (primes > 0) work += place_primes * seconds / primes;
    }
    forecast.sample_seconds = seconds_since(start);
    forecast.sample_primes = all_primes;
    const double walk_bytes = std::max(0.0, peak_resident_bytes() - resident_before);

    forecast.counted = whole && all_finished;
    forecast.examined = forecast.counted ? static_cast<double>(all_primes) : expected;
    if (whole && !all_finished && all_primes > 0) {
        // A few primes that take long each: what the sample did not reach costs as much.
        work *= expected / static_cast<double>(all_primes);
    }
    const double n = forecast.examined;

    // Wall time: the sieve of the 32-bit walk on one thread over the whole
    // interval, the set-up of the stretches far out (each thread sets up its
    // share of them one after another), and the scan spread over the threads.
    const double fixed = fitted > 0 ? fixed_sum / fitted : 0.0;
    double setup = 0;
    const far_stretch_plan stretches =
        walk == walk_kind::far ? plan_far_stretches(p_min, p_max, config.c_max, threads) : far_stretch_plan{};
    if (walk == walk_kind::far) {
        const std::size_t count = std::max<std::size_t>(1, stretches.count);
        setup = fixed * static_cast<double>((count + threads - 1) / threads);
    } else {
        const double sieve_mean = fitted > 0 ? sieve_sum / fitted : 0.0;
        const double sieve_rate = sieved_width > 0 ? sieve_sum / sieved_width : 0.0;
        setup = sieve_rate * static_cast<double>(span) + std::max(0.0, fixed - sieve_mean);
    }
    const std::uint64_t budget = mass_budget_setting();
    const double on_file = std::max(0.0, n - static_cast<double>(budget));
    forecast.wall_seconds = setup + work / threads + on_file * selection_seconds_per_prime_on_file;

    // Disk: the results (a header and the sample's mean row) and the masses
    // beyond the budget.
    forecast.row_bytes = rows > 0 ? row_bytes / rows : 0.0;
    forecast.results_bytes = static_cast<double>(std::strlen(results_header)) + n * forecast.row_bytes;
    struct stat target {};
    forecast.results_staged = stat(config.results_path.c_str(), &target) != 0 || S_ISREG(target.st_mode);
    forecast.mass_file_bytes = on_file * 2.0 * sizeof(double);
    forecast.mass_directory = mass_file_directory(config.results_path, config.summary_path);

    // Memory: the program, the walk as the sample took it, the masses kept
    // in memory, the rows' write buffer, and what the run's walk holds that
    // the sample's did not: the 32-bit walk's list of every examined prime
    // and the chunks its workers run ahead by; far out on several
    // threads, the one list of sieving primes and the rows of the stretches
    // that wait for the one being written.
    double memory = resident_before + walk_bytes + std::min(n, static_cast<double>(budget)) * 2.0 * sizeof(double) +
                    static_cast<double>(tuning::results_batch_bytes);
    if (walk == walk_kind::fast) {
        // Besides the list, the ring of chunks the workers run ahead by.
        const double shifts = std::clamp<double>((config.c_max - 3) / 4 + 1, 1.0,
                                                 static_cast<double>(tuning::max_listed_shifts));
        const double chunk = std::clamp(static_cast<double>(tuning::fast_chunk_pairs) / shifts,
                                        static_cast<double>(tuning::fast_chunk_min_primes),
                                        static_cast<double>(tuning::fast_chunk_max_primes));
        memory += n * sizeof(std::int32_t) + std::min(n, static_cast<double>(tuning::chunks_ahead_per_thread) *
                                                             threads * chunk) *
                                                 (forecast.row_bytes + held_bytes_besides_row);
    } else if (walk == walk_kind::far) {
        // The sample's stretches are short: where the run's are longer, its
        // sieves take what the cut into stretches assumes of them.
        const double workers =
            static_cast<double>(std::min<std::size_t>(threads, std::max<std::size_t>(stretches.count, 1)));
        memory += std::max(0.0, workers * stretches.sieve_bytes - walk_bytes);
        if (threads > 1 && stretches.count > 1) {
            // Every worker but the one being written may hold a whole
            // stretch, in memory up to its share of far_held_primes and on
            // file beyond, each prime with its masses for the run's tally.
            const double waiting = n * stretches.widest_share * (threads - 1);
            const double held = std::min(static_cast<double>(tuning::far_held_primes) * (threads - 1) / threads, waiting);
            const double per_prime = forecast.row_bytes + held_bytes_besides_row + 2.0 * sizeof(double);
            memory += listed_sieving_bytes(p_max) + held * per_prime;
            forecast.waiting_file_bytes = (waiting - held) * per_prime;
        }
    }
    forecast.peak_bytes = memory;
    return forecast;
}

}  // namespace erdos
