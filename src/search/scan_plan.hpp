// Everything the fast scan needs that is fixed for the whole run: the shifts and their residue tables.
#pragma once

#include <cstdint>
#include <vector>

#include "search/shift_residues.hpp"

namespace erdos {

struct scan_plan {
    std::vector<std::int32_t> shift_list;
    std::uint64_t shift_count = 0;
    std::int64_t weight_total = 0;
    std::vector<shift_residues> residues;  // one per shift
    bool all_logs = false;  // every shift has its logarithm tables
};

// The plan for the shifts up to c_max; sieving_primes are the primes the
// factor windows sieve with.
scan_plan make_scan_plan(std::int32_t c_max, const std::vector<std::int32_t>& sieving_primes);

}  // namespace erdos
