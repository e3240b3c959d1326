// Everything the fast scan needs that is fixed for the whole run: the shifts and their residue tables.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "search/shift_residues.hpp"

namespace erdos {

struct scan_plan {
    // The listed shifts, each with its residue tables: every shift up to
    // c_max, or up to the listing bound the plan was made with.
    std::vector<std::int32_t> shift_list;
    std::vector<shift_residues> residues;  // one per listed shift
    bool all_logs = false;  // every listed shift has its logarithm tables
    // Per listed shift, side by side for the sweep that counts pairs m by m
    // (search/untabled_sweep): 1 when the sweep counts the shift's pairs,
    // and reciprocal_above(c). It counts every shift above the byte tables
    // (up to shift_residues::max_counted_shift), and the shifts without
    // logarithms below them when there are such wider shifts too: it lists
    // the divisors of each m once for all its pairs, which pays only when an
    // m has many pairs.
    std::vector<std::uint8_t> by_m;
    std::vector<double> inverses;
    // The shifts above the listed ones, high_first, high_first + 4, ...,
    // high_last, kept as those two numbers alone (0 when there are none):
    // every one of them weighs 1.
    std::int32_t high_first = 0;
    std::int32_t high_last = 0;
    // Of every shift up to c_max, listed or not.
    std::uint64_t shift_count = 0;
    std::int64_t weight_total = 0;
};

// The plan for the shifts up to c_max, listing those up to list_max (at
// least 127, so that every shift left out weighs 1); sieving_primes are the
// primes the factor windows sieve with.
scan_plan make_scan_plan(std::int32_t c_max, const std::vector<std::int32_t>& sieving_primes,
                         std::int32_t list_max = std::numeric_limits<std::int32_t>::max());

// Sets by_m and inverses from the plan's residues. make_scan_plan does it;
// a plan assembled otherwise needs it before the fast scan takes it.
void set_sweep_tables(scan_plan& plan);

}  // namespace erdos
