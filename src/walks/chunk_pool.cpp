// The ordered worker pool: workers fill a ring of chunk slots, the calling thread empties it in order.
#include "walks/chunk_pool.hpp"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "stop_request.hpp"
#include "tuning.hpp"

namespace erdos {

int make_chunks_alone(std::size_t chunk_count, const chunk_maker& make, const chunk_sink& sink) {
    prime_chunk chunk;
    for (std::size_t index = 0; index < chunk_count; ++index) {
        stop_if_requested();
        if (!make(0, index, chunk)) break;
        if (const int stop = sink(chunk); stop != 0) return stop;
    }
    return 0;
}

namespace {

// What the workers and the calling thread share, under one mutex. Chunk
// `index` lives in slot index % ring from when a worker takes it until the
// sink has had it.
struct pool_state {
    std::size_t chunk_count = 0;
    std::size_t ring = 0;
    std::vector<prime_chunk> slots;
    std::vector<std::uint8_t> ready;
    std::mutex mutex;
    std::condition_variable chunk_done;
    std::condition_variable slot_free;
    std::size_t next_chunk = 0;
    std::size_t delivered = 0;
    bool stopping = false;
    std::exception_ptr failure;
};

// Keeps the first failure and wakes everyone to stop.
void fail(pool_state& pool, std::exception_ptr failure) {
    {
        std::lock_guard lock(pool.mutex);
        if (!pool.failure) pool.failure = failure;
        pool.stopping = true;
    }
    pool.chunk_done.notify_all();
    pool.slot_free.notify_all();
}

// One worker: takes the next chunk while its slot is free, fills it, marks it
// ready.
void work(pool_state& pool, unsigned worker, const chunk_maker& make) {
    try {
        while (true) {
            std::size_t index = 0;
            {
                std::unique_lock lock(pool.mutex);
                pool.slot_free.wait(lock, [&] {
                    return pool.stopping || pool.next_chunk >= pool.chunk_count ||
                           pool.next_chunk < pool.delivered + pool.ring;
                });
                if (pool.stopping || pool.next_chunk >= pool.chunk_count) return;
                index = pool.next_chunk++;
            }
            stop_if_requested();
            const bool made = make(worker, index, pool.slots[index % pool.ring]);
            {
                std::lock_guard lock(pool.mutex);
                if (made) {
                    pool.ready[index % pool.ring] = 1;
                } else {
                    pool.chunk_count = std::min(pool.chunk_count, index);  // the walk ends before it
                }
            }
            pool.chunk_done.notify_all();
            if (!made) pool.slot_free.notify_all();
        }
    } catch (...) {
        fail(pool, std::current_exception());
    }
}

// Hands the chunks to the sink in order as they become ready; stops at the
// first refusal of the sink or failure of a worker.
int deliver(pool_state& pool, const chunk_sink& sink) {
    int result = 0;
    for (std::size_t index = 0;; ++index) {
        {
            std::unique_lock lock(pool.mutex);
            pool.chunk_done.wait(lock, [&] {
                return pool.stopping || index >= pool.chunk_count || pool.ready[index % pool.ring] != 0;
            });
            if (pool.stopping || index >= pool.chunk_count) break;
        }
        stop_if_requested();  // the last chunks may all be under way already
        result = sink(pool.slots[index % pool.ring]);
        {
            std::lock_guard lock(pool.mutex);
            pool.ready[index % pool.ring] = 0;
            pool.delivered = index + 1;
            if (result != 0) pool.stopping = true;
        }
        pool.slot_free.notify_all();
        if (result != 0) break;
    }
    return result;
}

}  // namespace

int make_chunks_in_pool(std::size_t chunk_count, unsigned threads, const chunk_maker& make, const chunk_sink& sink) {
    pool_state pool;
    pool.chunk_count = chunk_count;
    pool.ring = tuning::chunks_ahead_per_thread * static_cast<std::size_t>(threads);
    pool.slots.resize(pool.ring);
    pool.ready.assign(pool.ring, 0);

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
    pool.slot_free.notify_all();
    for (std::thread& t : workers) t.join();
    if (pool.failure) std::rethrow_exception(pool.failure);
    return result;
}

}  // namespace erdos
