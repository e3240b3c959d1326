// The wide feed's chunks: every prime once, in order, each chunk ending where a window does.
#include "walks/wide_feed.hpp"

#include <gtest/gtest.h>

#include "search/wide_scan.hpp"
#include "support/prime_sources.hpp"

namespace {

TEST(WideFeed, ChunksEndWhereAWindowDoes) {
    const std::int64_t p_min = 1000000000000;
    const std::int64_t p_max = p_min + 3000000;
    const std::vector<std::int64_t> all = erdos_test::examined_between(p_min, p_max);
    erdos::wide_factor_window window =
        erdos::make_wide_factor_window((p_max + 127) / 4, erdos::wide_window_span, 32);
    for (const std::size_t max_primes : {1, 100, 5000}) {
        erdos::wide_feed feed = erdos::start_wide_feed(erdos_test::source_of(all), p_min, window);
        const auto window_of = [&](std::int64_t p) { return erdos::wide_window_of(p, feed.grid_lo); };
        std::vector<std::int64_t> chunk;
        std::vector<std::int64_t> seen;
        while (erdos::next_wide_chunk(feed, max_primes, chunk)) {
            ASSERT_FALSE(chunk.empty());
            // The next chunk starts in a later window than this one's last prime.
            if (!seen.empty()) {
                EXPECT_LT(window_of(seen.back()), window_of(chunk.front())) << max_primes;
            }
            // At least max_primes where as many remain, and past them only the
            // rest of the window they end in.
            if (seen.size() + chunk.size() < all.size()) {
                EXPECT_GE(chunk.size(), max_primes);
            }
            const std::size_t cut = std::min(chunk.size(), max_primes) - 1;
            for (std::size_t j = cut; j < chunk.size(); ++j) EXPECT_EQ(window_of(chunk[j]), window_of(chunk[cut]));
            seen.insert(seen.end(), chunk.begin(), chunk.end());
        }
        EXPECT_EQ(seen, all) << max_primes;
    }
}

}  // namespace
