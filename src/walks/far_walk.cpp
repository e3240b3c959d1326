// The walks over intervals far out: one producer of factored chunks and a pool of scanning workers.
#include "walks/far_walk.hpp"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "numtheory/examined_primes.hpp"
#include "numtheory/prime_test64.hpp"
#include "search/far_scan.hpp"
#include "search/scan_plan.hpp"
#include "search/scan_prime_far.hpp"
#include "search/shift_list.hpp"
#include "stop_request.hpp"
#include "tuning.hpp"
#include "walks/chunk_pool.hpp"
#include "walks/far_feed.hpp"

namespace erdos {

namespace {

// The producer, shared by the workers: chunk i is cut only after chunk i - 1,
// whichever worker asks for it, since the feed's sieves move only forward.
struct ordered_feed {
    far_feed feed;
    std::size_t chunk_primes = 0;
    std::mutex mutex;
    std::condition_variable turn;
    std::size_t next_index = 0;
};

// What one worker scans with, reused from chunk to chunk.
struct alignas(64) far_worker {  // apart from its neighbours' cache lines
    std::vector<std::int64_t> primes;
    far_pair_factors factors;
    far_scratch scratch;
};

}  // namespace

int walk_primes_far(std::int64_t p_min, std::int64_t p_max, std::int32_t c_max, unsigned threads,
                     const chunk_sink& sink) {
    auto sieve = std::make_shared<examined_sieve>(start_examined_sieve(p_min, p_max));
    prime_source source = [sieve](std::vector<std::int64_t>& out, std::size_t max_count) {
        stop_if_requested();
        return next_examined_primes(*sieve, out, max_count);
    };
    // The feed factors the m of the listed shifts; those of the shifts above
    // them each chunk sieves for itself, a segment at a time.
    const std::int32_t listed_c_max = std::min(c_max, tuning::max_listed_shift);
    ordered_feed producer;
    producer.feed = start_far_feed(std::move(source), p_min, p_max, listed_c_max);
    // The plan is made with the first chunk, under the feed's lock, so that an
    // interval without an examined prime never lists the shifts.
    scan_plan plan;
    bool planned = false;
    producer.chunk_primes = std::clamp<std::size_t>(
        tuning::far_chunk_pairs / std::max<std::uint64_t>(count_shifts(listed_c_max), 1),
        c_max > listed_c_max ? tuning::high_chunk_min_primes : 1, tuning::fast_chunk_max_primes);

    const bool alone = threads <= 1;
    std::vector<far_worker> workers(alone ? 1 : threads);
    const chunk_maker make = [&](unsigned worker, std::size_t index, prime_chunk& chunk) {
        far_worker& w = workers[worker];
        bool made = false;
        {
            std::unique_lock lock(producer.mutex);
            producer.turn.wait(lock, [&] { return producer.next_index == index; });
            try {
                made = next_far_chunk(producer.feed, producer.chunk_primes, w.primes, w.factors);
                if (made && !planned) {
                    plan = make_scan_plan(c_max, {}, tuning::max_listed_shift);
                    planned = true;
                }
            } catch (...) {
                // The feed is left mid-chunk: no later chunk may be cut from it.
                ++producer.next_index;
                producer.turn.notify_all();
                throw;
            }
            ++producer.next_index;
        }
        producer.turn.notify_all();
        if (!made) return false;
        chunk.scans.resize(w.primes.size());
        scan_primes_far(w.primes.data(), w.primes.size(), plan, w.factors, w.scratch, chunk.scans.data());
        add_verdicts_and_rows(chunk);
        return true;
    };
    return alone ? make_chunks_alone(chunks_until_exhausted, make, sink)
                 : make_chunks_in_pool(chunks_until_exhausted, threads, make, sink);
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
