// The examined primes a feed has pulled from its source and not yet handed out.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace erdos {

// Appends the next examined primes, ascending, up to the given count; false
// when none remain.
using prime_source = std::function<bool(std::vector<std::int64_t>& out, std::size_t max_count)>;

struct pending_primes {
    prime_source source;
    std::vector<std::int64_t> primes;  // pulled from the source, not yet handed out
    std::size_t next = 0;
    bool exhausted = false;
};

// The next prime into p, left in place (pulling more from the source when
// none wait); false when none remain.
bool peek_prime(pending_primes& pending, std::int64_t& p);

// Hands out the prime peek_prime gave.
inline void take_prime(pending_primes& pending) { ++pending.next; }

// The next chunk into out (cleared first): up to max_count primes, and then
// on while joins(last, next) holds for the last prime taken and the next
// one, so that a chunk ends where its feed can stop. False when no prime
// remains.
template <typename Joins>
bool take_chunk(pending_primes& pending, std::size_t max_count, std::vector<std::int64_t>& out, Joins joins) {
    out.clear();
    std::int64_t p = 0;
    while (out.size() < max_count && peek_prime(pending, p)) {
        out.push_back(p);
        take_prime(pending);
    }
    if (out.empty()) return false;
    while (peek_prime(pending, p) && joins(out.back(), p)) {
        out.push_back(p);
        take_prime(pending);
    }
    return true;
}

}  // namespace erdos
