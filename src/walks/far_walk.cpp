// The walks over intervals far out: stretches of the interval, each sieved, factored and scanned by one worker.
#include "walks/far_walk.hpp"

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>

#include "numtheory/examined_primes.hpp"
#include "numtheory/prime_test64.hpp"
#include "search/far_scan.hpp"
#include "search/scan_plan.hpp"
#include "search/scan_prime_far.hpp"
#include "search/shift_list.hpp"
#include "search/wide_scan.hpp"
#include "stop_request.hpp"
#include "tuning.hpp"
#include "walks/far_feed.hpp"
#include "walks/lone_feed.hpp"
#include "walks/stretch_pool.hpp"
#include "walks/wide_feed.hpp"

namespace erdos {

namespace {

// What every stretch of a run shares: its bounds, its shifts, and the scan
// plan, made with the first chunk so that an interval without an examined
// prime never lists the shifts.
struct far_run {
    std::int64_t p_min = 0;
    std::int64_t p_max = 0;
    std::int32_t c_max = 0;
    std::int32_t listed_c_max = 0;  // the feed factors these m; wider shifts each chunk sieves for itself
    std::size_t chunk_primes = 0;
    bool lone = false;              // every m factored on its own, not sieved
    bool wide = false;              // every m below 2^42: factored in wide windows, read as they stand
    wide_factor_window wide_model;  // what every worker's window starts from (wide)
    sieving_primes listed;          // the sieving primes of every stretch, listed once (several threads)
    std::once_flag planned;
    scan_plan plan;
};

// What one worker scans with, reused from chunk to chunk.
struct alignas(64) far_worker {  // apart from its neighbours' cache lines
    std::vector<std::int64_t> primes;
    far_pair_factors factors;
    far_scratch scratch;
    prime_chunk chunk;
    // The wide window, copied from the run's once and carried from stretch
    // to stretch (each new stretch starts it afresh where it must).
    wide_factor_window wide_window;
    bool wide_ready = false;
};

// Scans the primes of w.primes, with their factors in w.factors or (wide)
// from its windows, into w.chunk and hands it to emit.
bool scan_and_emit(far_run& run, far_worker& w, const chunk_emit& emit, wide_feed* wide = nullptr) {
    std::call_once(run.planned, [&] { run.plan = make_scan_plan(run.c_max, {}, tuning::max_listed_shift); });
    w.chunk.scans.resize(w.primes.size());
    if (wide != nullptr) {
        scan_primes_wide(w.primes.data(), w.primes.size(), run.plan, wide->grid_lo, *wide->window, w.scratch,
                         w.chunk.scans.data());
    } else {
        scan_primes_far(w.primes.data(), w.primes.size(), run.plan, w.factors, w.scratch, w.chunk.scans.data());
    }
    add_verdicts_and_rows(w.chunk);
    return emit(w.chunk);
}

// The examined primes of [a, b], chunk by chunk in order, from sieves of
// their own or (run.lone) factored one by one. False when emit refused one.
bool make_stretch(far_run& run, far_worker& w, std::int64_t a, std::int64_t b, const chunk_emit& emit) {
    if (run.lone) {
        lone_feed feed = start_lone_feed(a, b, run.listed_c_max);
        while (next_lone_chunk(feed, run.chunk_primes, w.primes, w.factors)) {
            if (!scan_and_emit(run, w, emit)) return false;
        }
        return true;
    }
    auto sieve = std::make_shared<examined_sieve>(start_examined_sieve(a, b, &run.listed));
    prime_source source = [sieve](std::vector<std::int64_t>& out, std::size_t max_count) {
        stop_if_requested();
        return next_examined_primes(*sieve, out, max_count);
    };
    if (run.wide) {
        if (!w.wide_ready) {
            w.wide_window = run.wide_model;
            w.wide_ready = true;
        }
        wide_feed feed = start_wide_feed(std::move(source), a, w.wide_window);
        while (next_wide_chunk(feed, run.chunk_primes, w.primes)) {
            if (!scan_and_emit(run, w, emit, &feed)) return false;
        }
        return true;
    }
    far_feed feed = start_far_feed(std::move(source), a, b, run.listed_c_max, &run.listed);
    while (next_far_chunk(feed, run.chunk_primes, w.primes, w.factors)) {
        if (!scan_and_emit(run, w, emit)) return false;
    }
    return true;
}

// The stretches of a run on several threads: `full` of one width, then the
// rest of the interval in stretches of tail_width (a quarter of it, where
// there are stretches enough), so that the threads finish their last ones
// close together.
struct stretch_cut {
    std::size_t count = 1;
    std::int64_t width = 0;
    std::size_t full = 1;
    std::int64_t tail_width = 0;
    std::size_t max_held = 1;  // chunks a worker may hold, a whole stretch's
};

// The first p of stretch number `stretch` of the cut.
std::int64_t stretch_start(const stretch_cut& cut, std::int64_t p_min, std::size_t stretch) {
    if (stretch <= cut.full) return p_min + static_cast<std::int64_t>(stretch) * cut.width;
    return p_min + static_cast<std::int64_t>(cut.full) * cut.width +
           static_cast<std::int64_t>(stretch - cut.full) * cut.tail_width;
}

// About the bytes of the sieves of a stretch of the given width up to p_max,
// at their start: an 8-byte entry for every sieving prime with a multiple in
// the stretch, in the factor sieve (m, a quarter of the width, up to
// sqrt(p_max / 4)) and in the examined sieve (k, a 24th, up to
// sqrt(p_max)). Of the primes q above the width, a share width / q strikes.
double stretch_sieve_bytes(double p_max, double width) {
    const auto entries = [](double span, double bound) {
        span = std::max(span, 16.0);
        bound = std::max(bound, 16.0);
        if (span >= bound) return bound / std::log(bound);
        return span / std::log(span) + span * std::log(std::log(bound) / std::log(span));
    };
    return 8.0 * (entries(width / 4.0, std::sqrt(p_max / 4.0)) + entries(width / 24.0, std::sqrt(p_max)));
}

// The most examined primes a stretch up to p_max may hold for its sieves to
// stay within their share of far_walk_sieve_bytes, which the one list of
// sieving primes (a byte a prime up to sqrt(p_max)) shares with the sieves
// of two workers.
std::int64_t sieve_bound_primes(std::int64_t p_max) {
    const double root = std::sqrt(static_cast<double>(p_max));
    const double listed = root / std::log(root);
    const double budget = std::max(static_cast<double>(tuning::far_walk_sieve_bytes) - listed,
                                   static_cast<double>(tuning::far_walk_sieve_bytes) / 8.0) / 2.0;
    const double per_prime = 8.0 * std::log(static_cast<double>(p_max));  // width a prime takes
    std::int64_t lo = 1;
    std::int64_t hi = std::int64_t{1} << 40;
    while (lo < hi) {
        const std::int64_t mid = lo + (hi - lo + 1) / 2;
        if (stretch_sieve_bytes(static_cast<double>(p_max), static_cast<double>(mid) * per_prime) <= budget) {
            lo = mid;
        } else {
            hi = mid - 1;
        }
    }
    return lo;
}

// The examined primes a stretch holds at least: tuning's, or for tests the
// positive decimal value of ERDOS_STRAUS_STRETCH_PRIMES, so that a small
// run is cut into many stretches.
std::int64_t stretch_min_primes_setting(bool wide) {
    const std::int64_t value = wide ? tuning::wide_stretch_min_primes : tuning::far_stretch_min_primes;
    return static_cast<std::int64_t>(
        tuning::setting_for_tests("ERDOS_STRAUS_STRETCH_PRIMES", static_cast<std::uint64_t>(value)));
}

stretch_cut cut_stretches(const far_run& run, std::int64_t estimate, unsigned threads) {
    const double root = std::sqrt(static_cast<double>(run.p_max));
    const auto sieving_primes = static_cast<std::int64_t>(root / std::log(root));
    const std::int64_t min_primes = stretch_min_primes_setting(run.wide);
    std::int64_t primes = run.lone ? static_cast<std::int64_t>(run.chunk_primes)
                                   : std::max<std::int64_t>(min_primes, sieving_primes / tuning::far_stretch_sieving_ratio);
    // Each worker's sieves stay within their share of memory; every worker
    // but the one whose stretch is handed on may run a whole stretch ahead,
    // its chunks beyond far_held_primes waiting on file.
    if (!run.lone) primes = std::max<std::int64_t>(1, std::min(primes, sieve_bound_primes(run.p_max)));
    primes = std::min<std::int64_t>(primes, tuning::far_spilled_primes / std::max(1U, threads - 1));
    std::int64_t count = std::max<std::int64_t>(1, (estimate + primes - 1) / primes);
    // Few stretches for the threads: as many per thread, so that none waits
    // long for the last ones.
    const auto t = static_cast<std::int64_t>(threads);
    if (count >= t && count < 8 * t) count = (count + t - 1) / t * t;
    // Fewer than the threads: one each as long as each still holds
    // enough work for its set-up.
    if (count < t) {
        const std::int64_t least = run.lone ? 1 : std::max<std::int64_t>(1, sieving_primes / tuning::far_stretch_least_ratio);
        count = std::max(count, std::min(t, estimate / least));
    }
    stretch_cut cut;
    cut.count = static_cast<std::size_t>(count);
    const std::int64_t span = run.p_max - run.p_min + 1;
    cut.width = span / count + (span % count != 0 ? 1 : 0);
    cut.full = cut.count;
    cut.tail_width = cut.width;
    // With many stretches, each cheap to set up (a quarter of one still
    // holds its share of the sieving primes), the last `threads` widths go
    // to four times as many stretches: the thread that takes the last of
    // them leaves the others waiting a quarter as long. With many threads
    // that wait is up to a stretch's time in a run of a few stretches a
    // thread.
    const std::int64_t rest = span - (count - t) * cut.width;
    const bool cheap = run.lone || estimate / count / 4 >= sieving_primes / tuning::far_stretch_sieving_ratio;
    if (count >= 4 * t && cut.width >= 4 && rest > 0 && cheap) {
        cut.full = static_cast<std::size_t>(count - t);
        cut.tail_width = cut.width / 4;
        cut.count = cut.full + static_cast<std::size_t>((rest + cut.tail_width - 1) / cut.tail_width);
    }
    const std::int64_t chunks = (estimate / count + 1) / static_cast<std::int64_t>(run.chunk_primes) + 2;
    cut.max_held = static_cast<std::size_t>(chunks);
    return cut;
}

// The examined primes whose chunks may wait in memory, over all the
// workers: tuning::far_held_primes, or for tests the positive decimal value
// of ERDOS_STRAUS_HELD_PRIMES, so that a small run waits on file.
std::size_t held_primes_setting() {
    return static_cast<std::size_t>(tuning::setting_for_tests("ERDOS_STRAUS_HELD_PRIMES", tuning::far_held_primes));
}

// The bounds, shifts, chunk size and feed of a run.
void set_up_far_run(far_run& run, std::int64_t p_min, std::int64_t p_max, std::int32_t c_max) {
    run.p_min = p_min;
    run.p_max = p_max;
    run.c_max = c_max;
    run.listed_c_max = std::min(c_max, tuning::max_listed_shift);
    const std::uint64_t shifts = count_shifts(run.listed_c_max);
    run.chunk_primes = std::clamp<std::size_t>(tuning::far_chunk_pairs / std::max<std::uint64_t>(shifts, 1),
                                               c_max > run.listed_c_max ? tuning::high_chunk_min_primes : 1,
                                               tuning::fast_chunk_max_primes);
    run.lone = lone_feed_pays(p_min, p_max, shifts);
    run.wide = !run.lone && wide_scan_covers(p_max, c_max);
    if (run.wide) {
        run.chunk_primes = std::clamp<std::size_t>(tuning::wide_chunk_pairs / std::max<std::uint64_t>(shifts, 1), 1,
                                                   tuning::fast_chunk_max_primes);
    }
}

}  // namespace

far_stretch_plan plan_far_stretches(std::int64_t p_min, std::int64_t p_max, std::int32_t c_max, unsigned threads) {
    far_run run;
    set_up_far_run(run, p_min, p_max, c_max);
    far_stretch_plan plan;
    if (run.lone) return plan;
    std::int64_t width = p_max - p_min + 1;
    plan.count = 1;
    if (threads > 1) {
        const stretch_cut cut = cut_stretches(run, estimate_examined_primes(p_min, p_max), threads);
        plan.count = cut.count;
        width = cut.width;
    }
    if (p_min <= p_max) {
        plan.sieve_bytes = stretch_sieve_bytes(static_cast<double>(p_max), static_cast<double>(width));
        plan.widest_share = std::min(1.0, static_cast<double>(width) / (static_cast<double>(p_max - p_min) + 1.0));
    }
    return plan;
}

int walk_primes_far(std::int64_t p_min, std::int64_t p_max, std::int32_t c_max, unsigned threads,
                     const chunk_sink& sink, const std::string& spill_directory) {
    far_run run;
    set_up_far_run(run, p_min, p_max, c_max);
    const std::uint64_t shifts = count_shifts(run.listed_c_max);
    if (run.wide) {
        const auto reach = static_cast<std::int64_t>(shifts);
        run.wide_model = make_wide_factor_window((p_max + 4 * reach - 1) / 4, wide_window_span, reach);
    }
    const std::int64_t estimate = estimate_examined_primes(p_min, p_max);
    if (threads <= 1) {
        far_worker w;
        int stop = 0;
        make_stretch(run, w, p_min, p_max, [&](prime_chunk& chunk) {
            stop_if_requested();
            stop = sink(chunk);
            return stop == 0;
        });
        return stop;
    }
    const stretch_cut cut = cut_stretches(run, estimate, threads);
    if (!run.lone && cut.count > 1) {
        // Every stretch's sieves take their primes from one list, made by
        // all the threads: the examined sieve's up to sqrt(p_max), the
        // factor sieve's up to sqrt of the last m.
        const std::int64_t last_m = (p_max + 3 + 4 * static_cast<std::int64_t>(shifts)) / 4;
        const auto root = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(std::max(p_max, last_m)))) + 1;
        run.listed = list_sieving_primes(root, threads);
    }
    std::vector<far_worker> workers(threads);
    const stretch_maker make = [&](unsigned worker, std::size_t stretch, const chunk_emit& emit) {
        if (stretch >= cut.count) return false;
        const std::int64_t a = stretch_start(cut, p_min, stretch);
        if (a > p_max) return false;
        const std::int64_t next = stretch_start(cut, p_min, stretch + 1);
        const std::int64_t b = next > p_max ? p_max : next - 1;
        make_stretch(run, workers[worker], a, b, emit);
        return true;
    };
    stretch_pool_limits limits;
    limits.max_held = cut.max_held;
    limits.kept_in_memory = held_primes_setting() / threads / run.chunk_primes;
    limits.kept_in_memory = std::max<std::size_t>(limits.kept_in_memory, 1);
    limits.spill_directory = spill_directory;
    return make_stretches_in_pool(threads, limits, make, sink);
}

int walk_primes_plain_far(std::int64_t p_min, std::int64_t p_max, std::int32_t c_max, const chunk_sink& sink) {
    shift_table shifts;  // listed at the first examined prime: an interval may have none
    bool listed = false;
    const std::uint64_t shift_count = count_shifts(c_max);
    const std::size_t primes_per_chunk = plain_chunk_primes(shift_count);
    prime_chunk chunk;
    // The first n = 24k + 1 at or above p_min, then every 24th number.
    const std::int64_t first = p_min <= 1 ? 25 : p_min + (25 - p_min % 24) % 24;
    for (std::int64_t n = first; n <= p_max; n += 24) {
        if (!is_prime_u64(static_cast<std::uint64_t>(n))) continue;
        stop_if_requested();
        if (!listed) {
            shifts = build_shift_list(c_max);
            listed = true;
        }
        chunk.scans.push_back(scan_prime_far(n, shifts.shift_list, shift_count, shifts.weight_total));
        if (chunk.scans.size() == primes_per_chunk) {
            add_verdicts_and_rows(chunk);
            if (const int stop = sink(chunk); stop != 0) return stop;
            chunk = prime_chunk{};
        }
    }
    if (chunk.scans.empty()) return 0;
    add_verdicts_and_rows(chunk);
    return sink(chunk);
}

}  // namespace erdos
