// Chunks of primes for the wide scan, cut at the ends of its windows.
#include "walks/wide_feed.hpp"

#include <algorithm>

#include "search/wide_scan.hpp"

namespace erdos {

wide_feed start_wide_feed(prime_source source, std::int64_t p_min, wide_factor_window& window) {
    wide_feed feed;
    feed.pending.source = std::move(source);
    feed.grid_lo = (std::max<std::int64_t>(p_min, 1) + 3) / 4;
    feed.window = &window;
    return feed;
}

bool next_wide_chunk(wide_feed& feed, std::size_t max_primes, std::vector<std::int64_t>& primes) {
    return take_chunk(feed.pending, max_primes, primes, [&](std::int64_t last, std::int64_t next) {
        return wide_window_of(next, feed.grid_lo) == wide_window_of(last, feed.grid_lo);
    });
}

}  // namespace erdos
