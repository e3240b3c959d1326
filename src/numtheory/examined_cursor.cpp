// The examined primes one at a time: sieved in batches, or each candidate tested.
#include "numtheory/examined_cursor.hpp"

#include <cmath>

#include "numtheory/prime_test64.hpp"

namespace erdos {

namespace {

// Primes handed over by the sieve at a time.
constexpr std::size_t sieved_batch = 4096;
// A candidate's test costs about as much as placing this many sieving primes
// in a sieve (a Miller-Rabin round against one remainder).
constexpr double test_cost_in_sieving_primes = 16.0;

bool sieve_pays(std::int64_t p_min, std::int64_t p_max) {
    const double candidates = static_cast<double>(p_max - p_min) / 24.0 + 1.0;
    const double root = std::sqrt(static_cast<double>(p_max));
    const double sieving_primes = root < 3.0 ? 1.0 : root / std::log(root);
    return candidates * test_cost_in_sieving_primes >= sieving_primes;
}

}  // namespace

examined_cursor start_examined_cursor(std::int64_t p_min, std::int64_t p_max) {
    examined_cursor cursor;
    cursor.p_max = p_max;
    if (p_min > p_max) return cursor;
    cursor.p_min = p_min;
    cursor.sieved = sieve_pays(p_min, p_max);
    if (!cursor.sieved) {
        // The first 24k + 1 at or above p_min.
        cursor.next = p_min <= 1 ? 1 : p_min + (24 - (p_min - 1) % 24) % 24;
    }
    return cursor;
}

std::int64_t next_examined_prime(examined_cursor& cursor) {
    if (cursor.sieved) {
        if (!cursor.started) {
            cursor.sieve = start_examined_sieve(cursor.p_min, cursor.p_max);
            cursor.started = true;
        }
        if (cursor.taken == cursor.ready.size()) {
            cursor.ready.clear();
            cursor.taken = 0;
            if (!next_examined_primes(cursor.sieve, cursor.ready, sieved_batch)) return 0;
        }
        return cursor.ready[cursor.taken++];
    }
    for (; cursor.next != 0 && cursor.next <= cursor.p_max; cursor.next += 24) {
        if (is_prime_u64(static_cast<std::uint64_t>(cursor.next))) {
            const std::int64_t prime = cursor.next;
            cursor.next += 24;
            return prime;
        }
    }
    return 0;
}

}  // namespace erdos
