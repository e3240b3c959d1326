// Scanning chunks of examined primes, fast or plain, each with its verdicts and results rows.
#include "walks/prime_walk.hpp"

#include <algorithm>

#include "numtheory/examined_primes.hpp"
#include "numtheory/factor_window.hpp"
#include "numtheory/prime_sieve.hpp"
#include "numtheory/spf_table.hpp"
#include "search/fast_scan.hpp"
#include "search/scan_plan.hpp"
#include "search/scan_prime.hpp"
#include "search/scan_scratch.hpp"
#include "search/shift_list.hpp"
#include "search/verify_witness.hpp"
#include "stats/results_rows.hpp"
#include "stats/run_stats.hpp"
#include "stop_request.hpp"
#include "tuning.hpp"
#include "walks/chunk_pool.hpp"

namespace erdos {

namespace {

// Primes per chunk of the fast walk, sized by pairs (see tuning.hpp).
std::size_t fast_chunk_primes(std::size_t shifts) {
    return std::clamp<std::size_t>(tuning::fast_chunk_pairs / std::max<std::size_t>(shifts, 1),
                                   tuning::fast_chunk_min_primes, tuning::fast_chunk_max_primes);
}

bool verified(const prime_scan& scan) {
    return scan.has_witness && verify_first_witness(scan.p, scan.least_c, scan.first_m, scan.first_d, scan.branch);
}

// Adds the verdict, the row and the aggregates of a scan already in
// chunk.scans, on the thread that made it, so that the run's own thread only
// adds up whole chunks.
void add_verdict_and_row(prime_chunk& chunk, const prime_scan& scan) {
    const bool passed = verified(scan);
    chunk.verified.push_back(passed ? 1 : 0);
    append_results_row(chunk.rows, scan);
    tally_prime(chunk.tally, scan, passed);
}

}  // namespace

void add_verdicts_and_rows(prime_chunk& chunk) {
    chunk.verified.clear();
    chunk.rows.clear();
    clear_chunk_tally(chunk.tally);
    for (const prime_scan& scan : chunk.scans) add_verdict_and_row(chunk, scan);
}

namespace {

void record(prime_chunk& chunk, const prime_scan& scan) {
    chunk.scans.push_back(scan);
    add_verdict_and_row(chunk, scan);
}

// Scans primes[0 .. n) into chunk.
void scan_chunk(const std::int32_t* primes, std::size_t n, const scan_plan& plan, factor_window& window,
                scan_scratch& scratch, prime_chunk& chunk) {
    chunk.scans.resize(n);
    scan_primes_fast(primes, n, plan, window, scratch, chunk.scans.data());
    add_verdicts_and_rows(chunk);
}

// What one worker scans with, reused from chunk to chunk.
struct alignas(64) worker_memory {  // apart from its neighbours' cache lines
    factor_window window;
    scan_scratch scratch;
};

}  // namespace

walk_setup prepare_walk(std::int64_t p_min, std::int32_t p_max) {
    walk_setup setup;
    if (p_min <= 0) {
        setup.examined = sieve_examined_primes(p_max);
        return setup;
    }
    examined_sieve sieve = start_examined_sieve(p_min, p_max);
    std::vector<std::int64_t> batch;
    while (next_examined_primes(sieve, batch, std::size_t{1} << 16)) {
        stop_if_requested();
        for (const std::int64_t p : batch) setup.examined.push_back(static_cast<std::int32_t>(p));
        batch.clear();
    }
    return setup;
}

int walk_primes_fast(const walk_setup& setup, std::int32_t p_max, std::int32_t c_max, unsigned threads,
                     const chunk_sink& sink) {
    // Without an examined prime there is nothing to scan: the window's tables
    // and the shifts' are not built.
    if (setup.examined.empty()) return 0;
    const std::int64_t max_m = (static_cast<std::int64_t>(p_max) + std::max<std::int32_t>(c_max, 3)) / 4 + 2;
    const factor_window prototype = make_factor_window(max_m);
    const scan_plan plan = make_scan_plan(c_max, prototype.primes, tuning::max_listed_shift);
    const std::vector<std::int32_t>& primes = setup.examined;
    const std::size_t chunk_size = fast_chunk_primes(plan.residues.size());
    const std::size_t chunk_count = (primes.size() + chunk_size - 1) / chunk_size;
    const bool alone = threads <= 1 || chunk_count <= 1;
    std::vector<worker_memory> memory(alone ? 1 : threads);
    for (worker_memory& w : memory) w.window = prototype;
    const chunk_maker make = [&](unsigned worker, std::size_t index, prime_chunk& chunk) {
        const std::size_t first = index * chunk_size;
        const std::size_t count = std::min(chunk_size, primes.size() - first);
        scan_chunk(primes.data() + first, count, plan, memory[worker].window, memory[worker].scratch, chunk);
        return true;
    };
    return alone ? make_chunks_alone(chunk_count, make, sink) : make_chunks_in_pool(chunk_count, threads, make, sink);
}

std::size_t plain_chunk_primes(std::uint64_t shift_count) {
    return static_cast<std::size_t>(std::clamp<std::uint64_t>(
        tuning::plain_chunk_pairs / std::max<std::uint64_t>(shift_count, 1), 1, tuning::plain_chunk_max_primes));
}

int walk_primes_plain(std::int64_t p_min, std::int32_t p_max, std::int32_t c_max, const chunk_sink& sink,
                      const walk_events& events) {
    const std::vector<std::int32_t> prime_list = sieve_primes(p_max);
    // Without an examined prime there is nothing to scan: the factor table and
    // the shift list, which at the widest C_MAX take gigabytes, are not built.
    if (std::none_of(prime_list.begin(), prime_list.end(),
                     [&](std::int32_t p) { return p % 24 == 1 && p >= p_min; })) {
        return 0;
    }
    const std::vector<std::int32_t> spf_table = build_spf_table(p_max, c_max);
    const shift_table shifts = build_shift_list(c_max);
    const std::uint64_t shift_count = shifts.shift_list.size();
    const std::size_t primes_per_chunk = plain_chunk_primes(shift_count);
    announce_phase(events, "scanning primes");
    prime_chunk chunk;
    for (const std::int32_t p : prime_list) {
        if (p % 24 != 1 || p < p_min) continue;
        stop_if_requested();
        record(chunk, scan_prime(p, shifts.shift_list, shift_count, shifts.weight_total, spf_table));
        if (chunk.scans.size() == primes_per_chunk) {
            if (const int stop = sink(chunk); stop != 0) return stop;
            chunk = prime_chunk{};
        }
    }
    return chunk.scans.empty() ? 0 : sink(chunk);
}

}  // namespace erdos
