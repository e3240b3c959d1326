// Examined primes for the feeds' tests: found one by one, handed out as a source.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "numtheory/prime_test64.hpp"
#include "walks/pending_primes.hpp"

namespace erdos_test {

// The examined primes of [p_min, p_max] (p_min >= 0), each 24k + 1 tested
// for primality on its own.
inline std::vector<std::int64_t> examined_between(std::int64_t p_min, std::int64_t p_max) {
    std::vector<std::int64_t> primes;
    for (std::int64_t n = p_min + (25 - p_min % 24) % 24; n <= p_max; n += 24) {
        if (erdos::is_prime_u64(static_cast<std::uint64_t>(n))) primes.push_back(n);
    }
    return primes;
}

// A source that hands out `primes` in order, as many as asked each time.
inline erdos::prime_source source_of(std::vector<std::int64_t> primes) {
    auto next = std::make_shared<std::size_t>(0);
    auto all = std::make_shared<std::vector<std::int64_t>>(std::move(primes));
    return [next, all](std::vector<std::int64_t>& out, std::size_t max_count) {
        const std::size_t n = std::min(max_count, all->size() - *next);
        out.insert(out.end(), all->begin() + static_cast<std::ptrdiff_t>(*next),
                   all->begin() + static_cast<std::ptrdiff_t>(*next + n));
        *next += n;
        return n > 0;
    };
}

}  // namespace erdos_test
