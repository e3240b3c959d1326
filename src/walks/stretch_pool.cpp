// The stretch pool: each worker makes whole stretches; the calling thread takes their chunks in order.
#include "walks/stretch_pool.hpp"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "stats/run_stats.hpp"
#include "stop_request.hpp"
#include "walks/chunk_spill.hpp"
#include "tuning.hpp"

namespace erdos {

namespace {

constexpr std::size_t no_end = static_cast<std::size_t>(-1);

// The chunks handed on that a worker may keep for their room (a batch
// handed on at once, and a little more), and that all the workers may keep:
// with many threads the spare room stays that of a few batches.
constexpr std::size_t spare_chunks = tuning::handover_batch_chunks + 2;
constexpr std::size_t all_spare_chunks = 2 * spare_chunks;

// A chunk made and not yet handed on: in memory, or its bulk on file.
struct held_chunk {
    prime_chunk chunk;
    bool spilled = false;
    spilled_chunk where;
};

// A stretch taken by a worker and not yet handed on in full.
struct stretch_slot {
    std::deque<held_chunk> chunks;  // made, not yet handed on
    unsigned worker = 0;
    bool done = false;
};

// What the workers and the calling thread share, under one mutex. The
// stretches from `delivering` to next_stretch - 1 are in `open`, in order.
// The calling thread sleeps until the stretch it hands on has `batch` chunks
// waiting, is done, or a worker waits for room, and then hands on all it
// finds: it wakes once for several chunks, not once a chunk.
struct pool_state {
    std::size_t max_held = 1;
    std::size_t kept_in_memory = 1;
    std::size_t batch = 1;
    std::vector<std::size_t> held;       // per worker: its chunks made, not yet handed on, of all its stretches
    std::vector<std::size_t> in_memory;  // per worker: of those, the ones wholly in memory
    std::vector<chunk_spill> spills;     // per worker; its `error` is the worker's own, its places shared
    // Per worker: chunks handed on, whose lists keep their room for the
    // worker's next chunks. A chunk handed on leaves its maker none; fresh
    // room costs the worker page faults and copies as it grows, and freeing
    // it costs the calling thread the pages' return.
    std::vector<std::vector<prime_chunk>> spare;
    std::size_t spares = 0;  // over all the workers
    std::size_t waiting = 0;        // workers waiting for room
    std::mutex mutex;
    std::condition_variable ready;  // for the calling thread: chunks to hand on, a stretch done, the pool stopping
    std::condition_variable room;   // for the workers: a chunk handed on, the pool stopping
    std::deque<stretch_slot> open;
    std::size_t delivering = 0;  // the stretch whose chunks go to the sink now
    std::size_t next_stretch = 0;
    std::size_t end = no_end;    // the first stretch that does not exist
    bool stopping = false;
    std::exception_ptr failure;
};

void fail(pool_state& pool, std::exception_ptr failure) {
    {
        std::lock_guard lock(pool.mutex);
        if (!pool.failure) pool.failure = failure;
        pool.stopping = true;
    }
    pool.ready.notify_all();
    pool.room.notify_all();
}

void work(pool_state& pool, unsigned worker, const stretch_maker& make) {
    try {
        while (true) {
            std::size_t stretch = 0;
            {
                std::lock_guard lock(pool.mutex);
                if (pool.stopping || pool.next_stretch >= pool.end) return;
                stretch = pool.next_stretch++;
                pool.open.emplace_back().worker = worker;
            }
            // The slot's place in `open` moves as earlier stretches finish,
            // so it is found again by number under the lock.
            const chunk_emit emit = [&](prime_chunk& chunk) {
                std::unique_lock lock(pool.mutex);
                // A worker's earlier stretch may still wait with its chunks:
                // the bound counts them all. Without a spill file the chunks
                // in memory are bounded as well. The calling thread is woken
                // first, as it may be waiting for a batch.
                const auto full = [&] {
                    return pool.held[worker] >= pool.max_held ||
                           (pool.spills[worker].error != 0 && pool.in_memory[worker] >= pool.kept_in_memory &&
                            stretch != pool.delivering);
                };
                if (!pool.stopping && full()) {
                    ++pool.waiting;
                    pool.ready.notify_one();
                    pool.room.wait(lock, [&] { return pool.stopping || !full(); });
                    --pool.waiting;
                }
                if (pool.stopping) return false;
                // A chunk that would wait beyond the memory allowed goes to
                // the worker's file, in a place that no chunk waiting there
                // takes (the calling thread may be reading one back).
                held_chunk held;
                if (stretch != pool.delivering && pool.in_memory[worker] >= pool.kept_in_memory &&
                    pool.spills[worker].error == 0) {
                    chunk_spill& spill = pool.spills[worker];
                    const std::uint64_t bytes = spilled_bytes(chunk);
                    const std::uint64_t place = take_place(spill, bytes);
                    lock.unlock();
                    held.spilled = spill_chunk(spill, chunk, place, held.where);
                    lock.lock();
                    if (!held.spilled) give_back_place(spill, place, bytes);
                    if (pool.stopping) return false;
                }
                held.chunk = std::move(chunk);
                if (!pool.spare[worker].empty()) {
                    chunk = std::move(pool.spare[worker].back());
                    pool.spare[worker].pop_back();
                    --pool.spares;
                } else {
                    chunk = prime_chunk{};  // a moved-from tally keeps its counts
                }
                std::deque<held_chunk>& chunks = pool.open[stretch - pool.delivering].chunks;
                if (!held.spilled) ++pool.in_memory[worker];
                chunks.push_back(std::move(held));
                ++pool.held[worker];
                const bool wake = stretch == pool.delivering && chunks.size() >= pool.batch;
                lock.unlock();
                if (wake) pool.ready.notify_one();
                return true;
            };
            stop_if_requested();
            const bool made = make(worker, stretch, emit);
            {
                std::lock_guard lock(pool.mutex);
                if (!made && stretch < pool.end) pool.end = stretch;
                pool.open[stretch - pool.delivering].done = true;
            }
            pool.ready.notify_one();
        }
    } catch (...) {
        fail(pool, std::current_exception());
    }
}

// Hands the chunks on stretch by stretch; stops at the first refusal of the
// sink or failure of a worker.
int deliver(pool_state& pool, const chunk_sink& sink) {
    held_chunk held;
    bool handed_on = false;  // held.chunk went to the sink, its room not yet given back
    bool draining = false;   // handing on what it found when it woke
    unsigned worker = 0;
    while (true) {
        bool room = false;
        bool advanced = false;
        {
            std::unique_lock lock(pool.mutex);
            if (handed_on && pool.spare[worker].size() < spare_chunks && pool.spares < all_spare_chunks) {
                pool.spare[worker].push_back(std::move(held.chunk));
                ++pool.spares;
            }
            handed_on = false;
            const auto can_hand_on = [&] {
                if (pool.stopping || pool.delivering >= pool.end) return true;
                if (pool.open.empty()) return false;
                const stretch_slot& front = pool.open.front();
                if (front.done) return true;
                if (front.chunks.empty()) return false;
                return draining || front.chunks.size() >= pool.batch || pool.waiting > 0;
            };
            // Slow chunks (wide shifts) still reach the run, its status line
            // and its checkpoints without waiting for a whole batch.
            while (!pool.ready.wait_for(lock, tuning::handover_wait, can_hand_on)) {
                if (!pool.open.empty() && !pool.open.front().chunks.empty()) draining = true;
            }
            if (pool.stopping || pool.delivering >= pool.end) return 0;
            stretch_slot& front = pool.open.front();
            if (front.chunks.empty()) {  // done and handed on in full
                pool.open.pop_front();
                ++pool.delivering;
                advanced = true;
                // Its successor's worker may have waited for room in memory.
                room = pool.waiting > 0;
            } else {
                held = std::move(front.chunks.front());
                front.chunks.pop_front();
                draining = !front.chunks.empty();
                worker = front.worker;
                --pool.held[worker];
                if (!held.spilled) --pool.in_memory[worker];
                room = pool.waiting > 0;
            }
        }
        if (room) pool.room.notify_all();
        if (advanced) continue;
        if (held.spilled) {
            // Read back outside the lock; the worker may write other chunks
            // meanwhile, in other places.
            restore_chunk(pool.spills[worker], held.where, held.chunk);
            std::lock_guard lock(pool.mutex);
            give_back_place(pool.spills[worker], held.where.offset, spilled_bytes(held.where));
            held.spilled = false;
        }
        stop_if_requested();
        if (const int result = sink(held.chunk); result != 0) {
            std::lock_guard lock(pool.mutex);
            pool.stopping = true;
            return result;
        }
        // Emptied before its worker may get it back: only the room returns,
        // never a scan, verdict, row or count of this chunk.
        held.chunk.scans.clear();
        held.chunk.verified.clear();
        held.chunk.rows.clear();
        clear_chunk_tally(held.chunk.tally);
        handed_on = true;
    }
}

}  // namespace

int make_stretches_in_pool(unsigned threads, const stretch_pool_limits& limits, const stretch_maker& make,
                           const chunk_sink& sink) {
    pool_state pool;
    pool.max_held = limits.max_held == 0 ? 1 : limits.max_held;
    pool.kept_in_memory = limits.kept_in_memory;
    pool.batch = std::min(pool.max_held, tuning::handover_batch_chunks);
    pool.held.assign(threads, 0);
    pool.in_memory.assign(threads, 0);
    pool.spills.resize(threads);
    pool.spare.resize(threads);
    for (chunk_spill& spill : pool.spills) spill.directory = limits.spill_directory;
    std::vector<std::thread> workers;
    int result = 0;
    try {
        for (unsigned t = 0; t < threads; ++t) workers.emplace_back(work, std::ref(pool), t, std::cref(make));
        result = deliver(pool, sink);
    } catch (...) {
        fail(pool, std::current_exception());
    }
    {
        std::lock_guard lock(pool.mutex);
        pool.stopping = true;
    }
    pool.room.notify_all();
    for (std::thread& t : workers) t.join();
    if (pool.failure) std::rethrow_exception(pool.failure);
    return result;
}

int make_stretches_in_pool(unsigned threads, std::size_t max_held, const stretch_maker& make,
                           const chunk_sink& sink) {
    stretch_pool_limits limits;
    limits.max_held = max_held;
    return make_stretches_in_pool(threads, limits, make, sink);
}

}  // namespace erdos
