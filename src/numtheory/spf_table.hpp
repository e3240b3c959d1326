// The smallest-prime-factor table over every m of a run, and factorisation by it.
#pragma once

#include <cstdint>
#include <vector>

#include "numtheory/factor_list.hpp"

namespace erdos {

// Smallest prime factor of every index 0 .. R + 2, where R = (p_max + c_max) / 4
// (truncating): entry 0 is 0, entry 1 is 1, entry x >= 2 the least prime dividing x.
// The table has R + 3 entries; when that length is zero or negative the table is
// empty. Requires p_max + c_max <= 2147483647, so every m of the run fits.
// Throws run_stopped when a signal asks the run to stop.
std::vector<std::int32_t> build_spf_table(std::int32_t p_max, std::int32_t c_max);

// The factor_list of m, read off the table with one lookup per distinct prime.
// Throws std::out_of_range when m lies beyond the table.
factor_list factorize(std::int64_t m, const std::vector<std::int32_t>& spf_table);

}  // namespace erdos
