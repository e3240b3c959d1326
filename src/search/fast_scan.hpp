// The fast scan of a chunk of examined primes: factor windows, first witnesses, batches, masses.
#pragma once

#include <cstddef>
#include <cstdint>

#include "numtheory/factor_window.hpp"
#include "search/prime_scan.hpp"
#include "search/scan_plan.hpp"
#include "search/scan_scratch.hpp"

namespace erdos {

// Scans the ascending examined primes[0 .. n) into out[0 .. n), each exactly
// as scan_prime would, to the last bit of both masses, without listing the
// divisors: for each shift it counts the divisors of m^2 in the two witness
// classes modulo c from the residues of m's prime powers, and walks the
// divisor order only until a prime has its first witness. The m of the primes
// are factored in windows, sieved into `window` as the scan goes.
void scan_primes_fast(const std::int32_t* primes, std::size_t n, const scan_plan& plan, factor_window& window,
                      scan_scratch& scratch, prime_scan* out);

// The same for one prime.
prime_scan scan_prime_fast(std::int32_t p, const scan_plan& plan, factor_window& window, scan_scratch& scratch);

}  // namespace erdos
