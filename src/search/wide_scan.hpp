// The scan of primes past the 32-bit range whose m stay below 2^42, reading a wide factor window in place.
#pragma once

#include <cstdint>

#include "numtheory/wide_factor_window.hpp"
#include "search/far_scan.hpp"
#include "search/prime_scan.hpp"
#include "search/scan_plan.hpp"
#include "tuning.hpp"

namespace erdos {

// Whether scan_primes_wide takes the primes up to p_max with shifts up to
// c_max: every shift has residue tables and every m fits a wide window.
bool wide_scan_covers(std::int64_t p_max, std::int32_t c_max);

// Scans the ascending examined primes[0 .. n) into out, each exactly as the
// plain scan defines it, like scan_primes_far, factoring their m in windows
// at grid_lo + k * wide_window_span (grid_lo at most the first m of
// primes[0]), made by make_wide_factor_window for the largest m with that
// span and the plan's shifts as reach. The sieve goes on from one chunk to
// the next when a chunk's primes end where a window does: the next chunk's
// first m lies in a later window than this one's last prime's (see
// wide_window_of). plan is made by make_scan_plan (its per-sieving-prime
// tables are not used), and its shifts are covered (wide_scan_covers).
void scan_primes_wide(const std::int64_t* primes, std::size_t n, const scan_plan& plan, std::int64_t grid_lo,
                      wide_factor_window& window, far_scratch& scratch, prime_scan* out);

// The windows of the grid: each factors the m of the primes whose first m
// lies in its span, and the reach of their shifts beyond.
inline constexpr std::int64_t wide_window_span = tuning::wide_window_span;

// The window of the grid that holds the first m of prime p.
inline std::int64_t wide_window_of(std::int64_t p, std::int64_t grid_lo) {
    return ((p + 3) / 4 - grid_lo) / wide_window_span;
}

}  // namespace erdos
