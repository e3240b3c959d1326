#include "walks/chunk_pool.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// A chunk that says which it is.
void make_numbered(std::size_t index, erdos::prime_chunk& chunk) { chunk.rows = std::to_string(index) + ','; }

}  // namespace

// Chunks finished out of order (some workers are slow) still reach the sink
// in order, and a worker's own memory is never used by two calls at once.
TEST(ChunkPool, DeliversInOrderAndKeepsEachWorkerToItself) {
    std::string want;
    for (std::size_t index = 0; index < 200; ++index) want += std::to_string(index) + ',';
    for (const unsigned threads : {2U, 7U}) {
        std::vector<std::atomic<bool>> busy(threads);
        std::atomic<bool> shared = false;
        std::string got;
        const erdos::chunk_maker make = [&](unsigned worker, std::size_t index, erdos::prime_chunk& chunk) {
            EXPECT_LT(worker, threads);
            if (busy[worker].exchange(true)) shared = true;
            if (index % 7 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            make_numbered(index, chunk);
            busy[worker] = false;
            return true;
        };
        const int result = erdos::make_chunks_in_pool(200, threads, make, [&](const erdos::prime_chunk& chunk) {
            got += chunk.rows;
            return 0;
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(got, want) << threads;
        EXPECT_FALSE(shared);
    }
}

// The first failure of a worker stops the pool and reaches the caller; the
// sink has seen only chunks before the failed one.
TEST(ChunkPool, AWorkersExceptionReachesTheCaller) {
    for (const unsigned threads : {1U, 3U}) {
        std::size_t delivered = 0;
        const erdos::chunk_maker make = [](unsigned, std::size_t index, erdos::prime_chunk& chunk) {
            if (index == 10) throw std::runtime_error("chunk 10");
            make_numbered(index, chunk);
            return true;
        };
        const erdos::chunk_sink count = [&](const erdos::prime_chunk&) {
            ++delivered;
            return 0;
        };
        if (threads == 1) {
            EXPECT_THROW(erdos::make_chunks_alone(100, make, count), std::runtime_error);
        } else {
            EXPECT_THROW(erdos::make_chunks_in_pool(100, threads, make, count), std::runtime_error);
        }
        EXPECT_LE(delivered, 10U);
    }
}

// A walk whose end only the maker knows: the chunks before the first one it
// cannot make arrive in order, and nothing after.
TEST(ChunkPool, AWalkEndsAtTheFirstChunkThatCannotBeMade) {
    std::string want;
    for (std::size_t index = 0; index < 37; ++index) want += std::to_string(index) + ',';
    for (const unsigned threads : {1U, 2U, 5U}) {
        const erdos::chunk_maker make = [](unsigned, std::size_t index, erdos::prime_chunk& chunk) {
            if (index >= 37) return false;
            if (index % 5 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            make_numbered(index, chunk);
            return true;
        };
        std::string got;
        const erdos::chunk_sink sink = [&](const erdos::prime_chunk& chunk) {
            got += chunk.rows;
            return 0;
        };
        const int result = threads == 1 ? erdos::make_chunks_alone(erdos::chunks_until_exhausted, make, sink)
                                        : erdos::make_chunks_in_pool(erdos::chunks_until_exhausted, threads, make, sink);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(got, want) << threads;
    }
}
