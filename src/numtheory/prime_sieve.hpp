// Every prime up to a bound.
#pragma once

#include <cstdint>
#include <vector>

namespace erdos {

// Every prime from 2 to p_max inclusive, strictly ascending.
// p_max must be at most 2147483646; a value below 2 gives an empty list.
// The sieve's bit vector is released before the function returns. Throws
// run_stopped when a signal asks the run to stop.
std::vector<std::int32_t> sieve_primes(std::int32_t p_max);

}  // namespace erdos
