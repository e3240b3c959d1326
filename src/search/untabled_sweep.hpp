// Counts the pairs of the shifts without logarithms m by m, from the divisors of m^2 below m listed once per m.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "numtheory/factor_window.hpp"
#include "search/prime_scan.hpp"
#include "search/scan_plan.hpp"
#include "search/shift_residues.hpp"

namespace erdos {

// Whether the pair of prime p and the listed shift c is left to
// count_untabled_pairs_by_m: the plan sweeps the shift (by_m, see scan_plan),
// m = (p + c)/4 is a unit modulo c, and the prime already has a shift with
// a witness below c (`has_witness` as the pair is reached in shift order).
// A common factor of m and c divides 4m - c = p, so m is a unit exactly when
// p does not divide c.
inline bool counted_by_m(std::int64_t p, std::int32_t c, bool by_m, bool has_witness) {
    return has_witness && by_m && (c < p || c % p != 0);
}

// Working memory of the sweep, reused from window to window.
struct untabled_sweep_lists {
    std::vector<double> below;      // the divisors of one m^2 below m
    // The pairs of one m: shift, its inverse, the pair's place in the tallies, its count.
    std::vector<double> shifts;
    std::vector<double> inverses;
    std::vector<std::size_t> pairs;
    std::vector<std::int64_t> witnesses;
    std::vector<std::int32_t> from_shift;  // per prime of a window
};

struct scan_scratch;

// For the primes j in [first, last) of `primes`, whose m all lie in the
// filled window and whose least shifts are settled in scans[j], writes the
// tally of every pair counted_by_m into scratch.tallies[j * shifts + k] (k
// the shift's place in the plan, `shifts` their number), working in
// scratch.sweep (and scratch.untabled_lists for the m with many divisors). The
// same counts as count_untabled_witnesses.
void count_untabled_pairs_by_m(const std::int32_t* primes, std::size_t first, std::size_t last, const scan_plan& plan,
                           const factor_window& window, const prime_scan* scans, scan_scratch& scratch);

// Lists into `below` the divisors of m^2 below m, in no particular order,
// each exactly as a double, for m in the filled window. Returns their
// number, (tau(m^2) - 1) / 2.
std::size_t list_divisors_below(const factor_window& window, std::int64_t m, std::vector<double>& below);

}  // namespace erdos
