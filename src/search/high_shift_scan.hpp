// The shifts above a plan's list, visited window by window over m rather than prime by prime.
#pragma once

#include <cstddef>
#include <cstdint>

#include "numtheory/factor_window.hpp"
#include "search/prime_scan.hpp"
#include "search/scan_plan.hpp"
#include "search/scan_scratch.hpp"

namespace erdos {

// Continues the scans out[0 .. n) of the ascending examined primes[0 .. n)
// over the shifts plan.high_first .. plan.high_last: the least shift and
// first witness of a prime that has none yet, successful_shifts, and the
// sums scratch.uniform_sums[j] and scratch.weighted_sums[j], each added in
// shift order as the plain scan adds them. The m = (p + c)/4 of all the
// primes are factored in windows of consecutive m, so that the memory does
// not grow with the shifts: for each window, each prime takes the shifts
// c = 4m - p of the m it holds. Throws run_stopped when a signal asks the
// run to stop.
void scan_high_shifts(const std::int32_t* primes, std::size_t n, const scan_plan& plan, factor_window& window,
                      scan_scratch& scratch, prime_scan* out);

// The same for primes up to 2^62 (far out, or with shifts that take m past
// the 32-bit windows), the m factored by a far factor sieve of its own over
// the high shifts' m, a segment at a time.
void scan_high_shifts_far(const std::int64_t* primes, std::size_t n, const scan_plan& plan, scan_scratch& scratch,
                           prime_scan* out);

}  // namespace erdos
