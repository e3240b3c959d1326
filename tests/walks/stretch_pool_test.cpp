// The stretch pool: chunks of stretches made side by side reach the sink in order, in bounded memory.
#include "walks/stretch_pool.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// Stretch s has s % 5 + 1 chunks (the last stretch, 40, none), named "s.i,";
// some are slow, so that later stretches finish first. Counts the chunks
// made and not yet delivered, to check the bound.
struct numbered_stretches {
    std::atomic<int> held = 0;
    std::atomic<int> most_held = 0;
    std::atomic<bool> shared = false;
    std::vector<std::atomic<bool>> busy;
    explicit numbered_stretches(unsigned threads) : busy(threads) {}

    bool make(unsigned worker, std::size_t stretch, const erdos::chunk_emit& emit) {
        if (stretch >= 40) return false;
        if (busy[worker].exchange(true)) shared = true;
        for (std::size_t i = 0; i < stretch % 5 + 1; ++i) {
            if ((stretch + i) % 7 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
            erdos::prime_chunk chunk;
            chunk.rows = std::to_string(stretch) + '.' + std::to_string(i) + ',';
            const int now = ++held;
            for (int seen = most_held; now > seen && !most_held.compare_exchange_weak(seen, now);) {
            }
            if (!emit(chunk)) break;
        }
        busy[worker] = false;
        return true;
    }
};

std::string all_chunks(std::size_t stretches) {
    std::string want;
    for (std::size_t s = 0; s < stretches; ++s) {
        for (std::size_t i = 0; i < s % 5 + 1; ++i) want += std::to_string(s) + '.' + std::to_string(i) + ',';
    }
    return want;
}

}  // namespace

// Whatever the threads and however far a worker may run ahead, the sink sees
// every chunk once in order, a worker's stretches never overlap, and the
// chunks waiting never exceed the bound (one more per worker being emitted).
TEST(StretchPool, DeliversInOrderWithinTheBound) {
    for (const unsigned threads : {1U, 2U, 3U, 16U}) {
        for (const std::size_t max_held : {1U, 2U, 8U}) {
            numbered_stretches stretches(threads);
            std::string got;
            const int result = erdos::make_stretches_in_pool(
                threads, max_held,
                [&](unsigned worker, std::size_t stretch, const erdos::chunk_emit& emit) {
                    return stretches.make(worker, stretch, emit);
                },
                [&](const erdos::prime_chunk& chunk) {
                    got += chunk.rows;
                    --stretches.held;
                    return 0;
                });
            EXPECT_EQ(result, 0);
            EXPECT_EQ(got, all_chunks(40)) << threads << " threads, " << max_held << " held";
            EXPECT_FALSE(stretches.shared);
            EXPECT_LE(stretches.most_held, static_cast<int>(threads * (max_held + 1) + 1));
        }
    }
}

// A worker that fills one chunk over and over, as the walks do, gets it
// back empty after each emit, though some come back with the room of a
// chunk handed on: nothing of an earlier chunk (scan, verdict, row, count
// or mass) reaches the sink twice, whether the chunks waited in memory or
// on file.
TEST(StretchPool, ChunksHandedOnComeBackEmptyWithTheirRoom) {
    constexpr std::size_t stretches = 30;
    constexpr std::size_t chunks_each = 20;
    const std::string filler(1000, '.');
    std::string want;
    for (std::size_t s = 0; s < stretches; ++s) {
        for (std::size_t i = 0; i < chunks_each; ++i) want += std::to_string(s) + '.' + std::to_string(i) + filler;
    }
    for (const std::size_t kept_in_memory : {std::size_t{100}, std::size_t{1}}) {
        for (const unsigned threads : {1U, 2U, 3U}) {
            std::vector<erdos::prime_chunk> own(threads);
            std::atomic<int> with_room = 0;
            std::atomic<int> stale = 0;
            std::string got;
            bool single = true;
            erdos::stretch_pool_limits limits;
            limits.max_held = 4;
            limits.kept_in_memory = kept_in_memory;
            const int result = erdos::make_stretches_in_pool(
                threads, limits,
                [&](unsigned worker, std::size_t stretch, const erdos::chunk_emit& emit) {
                    if (stretch >= stretches) return false;
                    erdos::prime_chunk& chunk = own[worker];
                    for (std::size_t i = 0; i < chunks_each; ++i) {
                        if (chunk.rows.capacity() >= filler.size()) ++with_room;
                        if (!chunk.rows.empty() || !chunk.scans.empty() || !chunk.verified.empty() ||
                            chunk.tally.primes != 0 || chunk.tally.covered != 0 ||
                            !chunk.tally.uniform_masses.empty()) {
                            ++stale;
                        }
                        chunk.rows += std::to_string(stretch) + '.' + std::to_string(i) + filler;
                        chunk.scans.emplace_back().p = static_cast<std::int64_t>(stretch);
                        chunk.verified.push_back(1);
                        chunk.tally.primes += 1;
                        chunk.tally.covered += 1;
                        chunk.tally.uniform_masses.push_back(0.5);
                        chunk.tally.weighted_masses.push_back(0.5);
                        if (!emit(chunk)) return true;
                    }
                    return true;
                },
                [&](const erdos::prime_chunk& chunk) {
                    got += chunk.rows;
                    single = single && chunk.scans.size() == 1 && chunk.verified.size() == 1 &&
                             chunk.tally.primes == 1 && chunk.tally.covered == 1 &&
                             chunk.tally.uniform_masses.size() == 1;
                    return 0;
                });
            const std::string how = std::to_string(threads) + " threads, " + std::to_string(kept_in_memory) + " in memory";
            EXPECT_EQ(result, 0);
            EXPECT_TRUE(got == want) << how;
            EXPECT_TRUE(single) << how;
            EXPECT_EQ(stale, 0) << how;
            EXPECT_GT(with_room, 0) << how;
        }
    }
}

// A refusal of the sink stops the walk with its value; a worker's exception
// reaches the caller after the chunks before it, never those after.
TEST(StretchPool, StopsAtARefusalOrAFailure) {
    for (const unsigned threads : {1U, 3U}) {
        numbered_stretches stretches(threads);
        std::string got;
        const int result = erdos::make_stretches_in_pool(
            threads, 2,
            [&](unsigned worker, std::size_t stretch, const erdos::chunk_emit& emit) {
                return stretches.make(worker, stretch, emit);
            },
            [&](const erdos::prime_chunk& chunk) {
                got += chunk.rows;
                return chunk.rows == "7.1," ? 3 : 0;
            });
        EXPECT_EQ(result, 3);
        EXPECT_EQ(got, all_chunks(7) + "7.0,7.1,");

        got.clear();
        const auto failing = [&](unsigned, std::size_t stretch, const erdos::chunk_emit& emit) {
            if (stretch == 9) throw std::runtime_error("stretch 9");
            erdos::prime_chunk chunk;
            chunk.rows = std::to_string(stretch) + ',';
            emit(chunk);
            return stretch < 40;
        };
        EXPECT_THROW(erdos::make_stretches_in_pool(threads, 2, failing,
                                                   [&](const erdos::prime_chunk& chunk) {
                                                       got += chunk.rows;
                                                       return 0;
                                                   }),
                     std::runtime_error);
        EXPECT_EQ(got, std::string("0,1,2,3,4,5,6,7,8,").substr(0, got.size()));
    }
}

// A chunk that waits for the rest of a batch of its stretch that is slow to
// come still reaches the sink before it.
TEST(StretchPool, ASlowStretchHandsOnWithoutAWholeBatch) {
    std::atomic<bool> second_made = false;
    bool first_came_alone = false;
    const int result = erdos::make_stretches_in_pool(
        2, 64,
        [&](unsigned, std::size_t stretch, const erdos::chunk_emit& emit) {
            if (stretch > 0) return false;
            for (int i = 0; i < 2; ++i) {
                if (i == 1) std::this_thread::sleep_for(std::chrono::seconds(1));
                erdos::prime_chunk chunk;
                chunk.rows = std::to_string(i);
                if (i == 1) second_made = true;
                if (!emit(chunk)) return true;
            }
            return true;
        },
        [&](const erdos::prime_chunk& chunk) {
            if (chunk.rows == "0") first_came_alone = !second_made;
            return 0;
        });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(first_came_alone);
}

// Chunks beyond the memory allowed wait on file and come back whole, in
// order: scans, verdicts, rows and masses. Where no file can be made, the
// pool keeps them in memory up to the allowance and still loses none.
TEST(StretchPool, ChunksWaitingOnFileComeBackWhole) {
    const auto make_chunk = [](std::size_t stretch, std::size_t i) {
        erdos::prime_chunk chunk;
        const auto p = static_cast<std::int64_t>(1000 * stretch + i);
        chunk.scans.resize(i % 3);  // some chunks with nothing at all
        for (std::size_t k = 0; k < chunk.scans.size(); ++k) {
            chunk.scans[k].p = p;
            chunk.scans[k].first_d = static_cast<erdos::int128>(p) << 70;
            chunk.scans[k].weighted_mass = -0.0;
            chunk.verified.push_back(static_cast<std::uint8_t>(k));
            chunk.tally.uniform_masses.push_back(static_cast<double>(p) / 3.0);
            chunk.tally.weighted_masses.push_back(static_cast<double>(k));
        }
        chunk.rows = std::string(i * 5000, static_cast<char>('a' + stretch % 26)) + std::to_string(p) + ',';
        chunk.tally.primes = chunk.scans.size();
        chunk.tally.covered = static_cast<std::int64_t>(p);
        return chunk;
    };
    for (const char* directory : {"", "/nonexistent/directory"}) {
        for (const unsigned threads : {2U, 3U, 16U}) {
            std::size_t delivered = 0;
            bool whole = true;
            std::string order;
            erdos::stretch_pool_limits limits;
            limits.max_held = 64;
            limits.kept_in_memory = 1;
            limits.spill_directory = directory;
            const int result = erdos::make_stretches_in_pool(
                threads, limits,
                [&](unsigned, std::size_t stretch, const erdos::chunk_emit& emit) {
                    if (stretch >= 12) return false;
                    for (std::size_t i = 0; i < 7; ++i) {
                        erdos::prime_chunk chunk = make_chunk(stretch, i);
                        if (!emit(chunk)) return true;
                    }
                    return true;
                },
                [&](const erdos::prime_chunk& chunk) {
                    const erdos::prime_chunk want = make_chunk(delivered / 7, delivered % 7);
                    ++delivered;
                    order += std::to_string(chunk.tally.covered) + ',';
                    whole = whole && chunk.rows == want.rows && chunk.verified == want.verified &&
                            chunk.scans.size() == want.scans.size() &&
                            chunk.tally.uniform_masses == want.tally.uniform_masses &&
                            chunk.tally.weighted_masses == want.tally.weighted_masses &&
                            chunk.tally.primes == want.tally.primes;
                    for (std::size_t k = 0; whole && k < chunk.scans.size(); ++k) {
                        whole = chunk.scans[k].p == want.scans[k].p && chunk.scans[k].first_d == want.scans[k].first_d &&
                                std::signbit(chunk.scans[k].weighted_mass);
                    }
                    return 0;
                });
            EXPECT_EQ(result, 0);
            EXPECT_EQ(delivered, 84U) << threads << " threads, directory '" << directory << "'";
            EXPECT_TRUE(whole) << threads << " threads, directory '" << directory << "'";
            std::string want_order;
            for (std::size_t c = 0; c < 84; ++c) want_order += std::to_string(1000 * (c / 7) + c % 7) + ',';
            EXPECT_EQ(order, want_order);
        }
    }
}

// Behind a slow sink some chunk of every worker always waits on file: the
// places of those read back are written again, so that each worker's file
// stays about as large as the most it may hold, not the whole walk.
TEST(StretchPool, FilesOfWaitingChunksStayAsLargeAsWhatWaits) {
    namespace fs = std::filesystem;
    std::string directory = (fs::temp_directory_path() / "stretch-pool-XXXXXX").string();
    ASSERT_NE(mkdtemp(directory.data()), nullptr);
    constexpr std::size_t chunk_bytes = 1 << 16;
    erdos::stretch_pool_limits limits;
    limits.max_held = 6;
    limits.kept_in_memory = 1;
    limits.spill_directory = directory;
    std::uintmax_t largest = 0;
    std::size_t delivered = 0;
    const int result = erdos::make_stretches_in_pool(
        3, limits,
        [&](unsigned, std::size_t stretch, const erdos::chunk_emit& emit) {
            if (stretch >= 30) return false;
            for (std::size_t i = 0; i < 6; ++i) {
                erdos::prime_chunk chunk;
                chunk.rows = std::string(chunk_bytes, 'r');
                if (!emit(chunk)) return true;
            }
            return true;
        },
        [&](const erdos::prime_chunk& chunk) {
            ++delivered;
            EXPECT_EQ(chunk.rows.size(), chunk_bytes);
            // The workers' files: descriptors of this process that lead to the directory.
            for (const fs::directory_entry& fd : fs::directory_iterator("/proc/self/fd")) {
                std::error_code ec;
                const fs::path target = fs::read_symlink(fd.path(), ec);
                struct stat status {};
                if (!ec && target.string().rfind(directory, 0) == 0 &&
                    stat(fd.path().c_str(), &status) == 0) {
                    largest = std::max<std::uintmax_t>(largest, static_cast<std::uintmax_t>(status.st_size));
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return 0;
        });
    fs::remove_all(directory);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(delivered, 180U);
    EXPECT_GT(largest, 0U) << "no chunk waited on file";
    EXPECT_LE(largest, 2 * limits.max_held * chunk_bytes);
}
