// Deterministic primality of 64-bit integers.
#pragma once

#include <cstdint>

namespace erdos {

// True exactly when n is prime, for every 64-bit n (0 and 1 are not prime).
bool is_prime_u64(std::uint64_t n);

}  // namespace erdos
