// The examined primes, p = 1 (mod 24), sieved on their own.
#pragma once

#include <cstdint>
#include <vector>

namespace erdos {

// The primes p <= p_max with p mod 24 == 1, ascending: the same list as the
// entries of sieve_primes(p_max) in that class, found by sieving only the
// numbers 24k + 1, a segment at a time, in a small fraction of the memory.
std::vector<std::int32_t> sieve_examined_primes(std::int32_t p_max);

}  // namespace erdos
