// Chunks of primes for the wide scan, cut at the ends of its windows.
#include "walks/wide_feed.hpp"

#include <algorithm>

#include "search/wide_scan.hpp"

namespace erdos {

namespace {

bool peek(wide_feed& feed, std::int64_t& p) {
    if (feed.pending_next == feed.pending.size()) {
        if (feed.exhausted) return false;
        feed.pending.clear();
        feed.pending_next = 0;
        if (!feed.source(feed.pending, 4096) || feed.pending.empty()) {
            feed.exhausted = true;
            return false;
        }
    }
    p = feed.pending[feed.pending_next];
    return true;
}

}  // namespace

wide_feed start_wide_feed(prime_source source, std::int64_t p_min, wide_factor_window& window) {
    wide_feed feed;
    feed.source = std::move(source);
    feed.grid_lo = (std::max<std::int64_t>(p_min, 1) + 3) / 4;
    feed.window = &window;
    return feed;
}

bool next_wide_chunk(wide_feed& feed, std::size_t max_primes, std::vector<std::int64_t>& primes) {
    primes.clear();
    std::int64_t p = 0;
    while (primes.size() < max_primes && peek(feed, p)) {
        primes.push_back(p);
        ++feed.pending_next;
    }
    if (primes.empty()) return false;
    const std::int64_t last_window = wide_window_of(primes.back(), feed.grid_lo);
    while (peek(feed, p) && wide_window_of(p, feed.grid_lo) == last_window) {
        primes.push_back(p);
        ++feed.pending_next;
    }
    return true;
}

}  // namespace erdos
