#include "driver/prime_walk.hpp"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "driver/stop_request.hpp"
#include "numtheory/examined_primes.hpp"
#include "numtheory/factor_window.hpp"
#include "numtheory/prime_sieve.hpp"
#include "numtheory/spf_table.hpp"
#include "report/results_file.hpp"
#include "search/fast_scan.hpp"
#include "search/scan_prime.hpp"
#include "search/shift_list.hpp"
#include "search/verify_witness.hpp"

namespace erdos {

namespace {

// The plain walk hands on a chunk after 2048 primes or 2^16 (prime, shift)
// pairs, whichever comes first, so that wide shift lists still report often.
constexpr std::size_t chunk_primes = 2048;
constexpr std::uint64_t chunk_pairs = std::uint64_t{1} << 16;

// Primes per chunk of the fast walk: about 2^18 (prime, shift) pairs, whose
// counts a worker holds at once, and from 64 to 8192 primes. Larger chunks
// leave fewer batches partly filled at their end; sizing by pairs keeps a
// worker's arrays small for wide shift lists (at most 2^20 pairs, 4 MiB, at
// the widest list the fast walk takes).
std::size_t fast_chunk_primes(std::size_t shifts) {
    return std::clamp<std::size_t>((std::size_t{1} << 18) / std::max<std::size_t>(shifts, 1), 64, 8192);
}

bool verified(const prime_scan& scan) {
    return scan.has_witness && verify_first_witness(scan.p, scan.least_c, scan.first_m, scan.first_d, scan.branch);
}

// Adds the verdict and the row of a scan already in chunk.scans.
void add_verdict_and_row(prime_chunk& chunk, const prime_scan& scan) {
    chunk.verified.push_back(verified(scan) ? 1 : 0);
    append_results_row(chunk.rows, scan);
}

void record(prime_chunk& chunk, const prime_scan& scan) {
    chunk.scans.push_back(scan);
    add_verdict_and_row(chunk, scan);
}

// Scans primes[0 .. n) into chunk.
void scan_chunk(const std::int32_t* primes, std::size_t n, const scan_plan& plan, factor_window& window,
                scan_scratch& scratch, prime_chunk& chunk) {
    chunk.scans.resize(n);
    scan_primes_fast(primes, n, plan, window, scratch, chunk.scans.data());
    chunk.verified.clear();
    chunk.rows.clear();
    for (const prime_scan& scan : chunk.scans) add_verdict_and_row(chunk, scan);
}

}  // namespace

walk_setup prepare_walk(std::int32_t p_max) { return {sieve_examined_primes(p_max)}; }

int walk_primes_fast(const walk_setup& setup, std::int32_t p_max, std::int32_t c_max, unsigned threads,
                     const chunk_sink& sink) {
    const std::int64_t max_m = (static_cast<std::int64_t>(p_max) + std::max<std::int32_t>(c_max, 3)) / 4 + 2;
    const factor_window prototype = make_factor_window(max_m);
    const scan_plan plan = make_scan_plan(c_max, prototype.primes);
    const std::vector<std::int32_t>& primes = setup.examined;
    const std::size_t chunk_size = fast_chunk_primes(plan.residues.size());
    const std::size_t chunk_count = (primes.size() + chunk_size - 1) / chunk_size;
    auto chunk_range = [&](std::size_t index, std::size_t& first, std::size_t& count) {
        first = index * chunk_size;
        count = std::min(chunk_size, primes.size() - first);
    };

    if (threads <= 1 || chunk_count <= 1) {
        factor_window window = prototype;
        scan_scratch scratch;
        prime_chunk chunk;
        for (std::size_t index = 0; index < chunk_count; ++index) {
            std::size_t first = 0;
            std::size_t count = 0;
            chunk_range(index, first, count);
            stop_if_requested();
            scan_chunk(primes.data() + first, count, plan, window, scratch, chunk);
            if (const int stop = sink(chunk); stop != 0) return stop;
        }
        return 0;
    }

    // Workers take chunks in order and fill a ring of slots; this thread hands
    // the slots to the sink in order. A worker never runs more than the ring's
    // length ahead of the sink, which bounds the memory held in finished chunks.
    const std::size_t ring = 4 * static_cast<std::size_t>(threads);
    std::vector<prime_chunk> slots(ring);
    std::vector<std::uint8_t> ready(ring, 0);
    std::mutex mutex;
    std::condition_variable chunk_done;
    std::condition_variable slot_free;
    std::size_t next_chunk = 0;
    std::size_t delivered = 0;
    bool stopping = false;
    std::exception_ptr failure;

    auto worker = [&] {
        try {
            factor_window window = prototype;
            scan_scratch scratch;
            while (true) {
                std::size_t index = 0;
                {
                    std::unique_lock lock(mutex);
                    slot_free.wait(lock, [&] { return stopping || next_chunk >= chunk_count || next_chunk < delivered + ring; });
                    if (stopping || next_chunk >= chunk_count) return;
                    index = next_chunk++;
                }
                stop_if_requested();
                std::size_t first = 0;
                std::size_t count = 0;
                chunk_range(index, first, count);
                prime_chunk& slot = slots[index % ring];
                scan_chunk(primes.data() + first, count, plan, window, scratch, slot);
                {
                    std::lock_guard lock(mutex);
                    ready[index % ring] = 1;
                }
                chunk_done.notify_all();
            }
        } catch (...) {
            {
                std::lock_guard lock(mutex);
                if (!failure) failure = std::current_exception();
                stopping = true;
            }
            chunk_done.notify_all();
            slot_free.notify_all();
        }
    };

    std::vector<std::thread> pool;
    int result = 0;
    try {
        for (unsigned t = 0; t < threads; ++t) pool.emplace_back(worker);
        for (std::size_t index = 0; index < chunk_count; ++index) {
            {
                std::unique_lock lock(mutex);
                chunk_done.wait(lock, [&] { return stopping || ready[index % ring] != 0; });
                if (stopping) break;
            }
            stop_if_requested();  // the last chunks may all be under way already
            result = sink(slots[index % ring]);
            {
                std::lock_guard lock(mutex);
                ready[index % ring] = 0;
                delivered = index + 1;
                if (result != 0) stopping = true;
            }
            slot_free.notify_all();
            if (result != 0) break;
        }
    } catch (...) {
        {
            std::lock_guard lock(mutex);
            if (!failure) failure = std::current_exception();
            stopping = true;
        }
        slot_free.notify_all();
    }
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    slot_free.notify_all();
    for (std::thread& t : pool) t.join();
    if (failure) std::rethrow_exception(failure);
    return result;
}

int walk_primes_plain(std::int32_t p_max, std::int32_t c_max, const chunk_sink& sink) {
    const std::vector<std::int32_t> prime_list = sieve_primes(p_max);
    const std::vector<std::int32_t> spf_table = build_spf_table(p_max, c_max);
    const shift_table shifts = build_shift_list(c_max);
    const std::uint64_t shift_count = shifts.shift_list.size();
    const std::size_t primes_per_chunk =
        static_cast<std::size_t>(std::clamp<std::uint64_t>(chunk_pairs / std::max<std::uint64_t>(shift_count, 1), 1, chunk_primes));
    prime_chunk chunk;
    if (const int stop = sink(chunk); stop != 0) return stop;  // the tables are ready
    for (const std::int32_t p : prime_list) {
        if (p % 24 != 1) continue;
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
