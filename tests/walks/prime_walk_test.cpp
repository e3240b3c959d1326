#include "walks/prime_walk.hpp"

#include <gtest/gtest.h>

#include <csignal>

#include "stop_request.hpp"

namespace {

struct collected {
    std::string rows;
    std::string verified;
    int chunks = 0;
};

collected collect(const std::function<int(const erdos::chunk_sink&)>& walk) {
    collected all;
    walk([&](const erdos::prime_chunk& chunk) {
        all.rows += chunk.rows;
        for (const std::uint8_t v : chunk.verified) all.verified += static_cast<char>('0' + v);
        ++all.chunks;
        return 0;
    });
    return all;
}

}  // namespace

// The plain walk (the reference, and the path for very large shift bounds)
// and the fast one on one and several threads deliver the same rows and
// verdicts in the same order.
TEST(PrimeWalk, PlainAndFastWalksAgree) {
    // Chunks of 8192, 1024 and 64 primes (the least, for the widest shift
    // list the fast walk takes).
    for (const std::int32_t c_max : {127, 1023, 65535}) {
        // Enough primes for several chunks, so that three workers share them.
        const std::int32_t p_max = c_max == 127 ? 2000000 : c_max == 1023 ? 200000 : 10000;
        const erdos::walk_setup setup = erdos::prepare_walk(0, p_max);
        const collected plain = collect([&](const erdos::chunk_sink& sink) {
            return erdos::walk_primes_plain(0, p_max, c_max, sink);
        });
        for (const unsigned threads : {1U, 3U}) {
            const collected fast = collect([&](const erdos::chunk_sink& sink) {
                return erdos::walk_primes_fast(setup, p_max, c_max, threads, sink);
            });
            EXPECT_TRUE(fast.rows == plain.rows) << c_max << ' ' << threads;
            EXPECT_EQ(fast.verified, plain.verified);
            EXPECT_GE(fast.chunks, 3) << c_max;
        }
        EXPECT_EQ(plain.verified.find('0'), std::string::npos);
    }
}

// A sink that refuses stops the walk on any thread count, with its code.
TEST(PrimeWalk, ASinkErrorStopsTheWalk) {
    const erdos::walk_setup setup = erdos::prepare_walk(0, 3000000);
    for (const unsigned threads : {1U, 2U}) {
        int chunks = 0;
        const int result = erdos::walk_primes_fast(setup, 3000000, 127, threads, [&](const erdos::prime_chunk&) {
            return ++chunks == 3 ? 28 : 0;
        });
        EXPECT_EQ(result, 28);
        EXPECT_EQ(chunks, 3);
    }
}

// A stop request, as a signal handler sets it, ends either walk with
// run_stopped: the workers notice it before their next chunk, the plain walk
// already while sieving.
TEST(PrimeWalk, AStopRequestEndsTheWalk) {
    const erdos::walk_setup setup = erdos::prepare_walk(0, 3000000);
    for (const unsigned threads : {1U, 3U}) {
        int chunks = 0;
        EXPECT_THROW(erdos::walk_primes_fast(setup, 3000000, 127, threads,
                                             [&](const erdos::prime_chunk&) {
                                                 if (++chunks == 2) erdos::stop_signal = SIGINT;
                                                 return 0;
                                             }),
                     erdos::run_stopped);
        EXPECT_LT(chunks, 40) << threads;  // at most the chunks already under way
        erdos::stop_signal = 0;
    }
    erdos::stop_signal = SIGTERM;
    int chunks = 0;
    try {
        erdos::walk_primes_plain(0, 3000000, 127, [&](const erdos::prime_chunk&) { return ++chunks, 0; });
        ADD_FAILURE() << "the plain walk ran to its end";
    } catch (const erdos::run_stopped& stopped) {
        EXPECT_EQ(stopped.signal, SIGTERM);
    }
    EXPECT_EQ(chunks, 0);
    erdos::stop_signal = 0;
}
