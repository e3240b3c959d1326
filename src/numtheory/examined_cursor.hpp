// The examined primes of an interval one at a time, by the cheaper of a sieve and a test per candidate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "numtheory/examined_primes.hpp"

namespace erdos {

// A walk over the primes p = 1 (mod 24) of [p_min, p_max]. An interval with
// many candidates 24k + 1 for its sieving primes (those up to sqrt(p_max)) is
// sieved (examined_sieve); a narrow one tests each candidate on its own.
struct examined_cursor {
    bool sieved = false;
    bool started = false;     // sieved: the sieve is set up at the first call
    examined_sieve sieve;
    std::vector<std::int64_t> ready;  // sieved primes not yet handed out
    std::size_t taken = 0;
    std::int64_t next = 0;   // tested: the next candidate 24k + 1
    std::int64_t p_min = 0;
    std::int64_t p_max = 0;
};

// Prepares the walk; 0 <= p_min and p_max <= 2^62 (p_min > p_max: an empty
// walk). Nothing is sieved before the first call of next_examined_prime.
examined_cursor start_examined_cursor(std::int64_t p_min, std::int64_t p_max);

// The next examined prime of the walk, ascending, or 0 when there is none left.
std::int64_t next_examined_prime(examined_cursor& cursor);

}  // namespace erdos
