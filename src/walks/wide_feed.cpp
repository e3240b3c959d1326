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
    primes.clear();
    std::int64_t p = 0;
    while (primes.size() < max_primes && peek_prime(feed.pending, p)) {
        primes.push_back(p);
        take_prime(feed.pending);
    }
    if (primes.empty()) return false;
    const std::int64_t last_window = wide_window_of(primes.back(), feed.grid_lo);
    while (peek_prime(feed.pending, p) && wide_window_of(p, feed.grid_lo) == last_window) {
        primes.push_back(p);
        take_prime(feed.pending);
    }
    return true;
}

}  // namespace erdos
