// The plain scan of one prime: every divisor of every m^2 listed and tested.
#pragma once

#include <cstdint>
#include <vector>

#include "numtheory/divisors.hpp"
#include "search/mass_sums.hpp"
#include "search/prime_scan.hpp"

namespace erdos {

// Scans the examined prime p over every shift c of shift_list: m = (p + c) / 4,
// and a witness is a divisor d of m^2 with (m + d) mod c == 0 or (4d + 1) mod c == 0.
// Fills every field of the prime_scan. The masses are the witness shares
// (witnesses / divisors of m^2) summed in 80-bit extended precision, divided by
// shift_count (uniform) or by weight_total with each share weighted by
// shift_weight (weighted), and rounded once to double. With no shifts both
// masses are the NaN with the sign bit set. Requires every m to lie inside
// spf_table. This is the plain form: it lists every divisor and tests each
// with two 64-bit remainders. Throws run_stopped when a signal asks the run
// to stop.
prime_scan scan_prime(std::int32_t p, const std::vector<std::int32_t>& shift_list,
                      std::uint64_t shift_count, std::int64_t weight_total,
                      const std::vector<std::int32_t>& spf_table);

// The witnesses of one shift among the listed divisors of m^2: how many, the
// first in list order (-1 if none) and its branch code (1, 2, 3; 0 if none).
struct shift_witnesses {
    std::int64_t count = 0;
    std::int64_t first_d = -1;
    std::int32_t branch = 0;
};
shift_witnesses find_shift_witnesses(std::int64_t m, std::int32_t c, const divisor_list& divisors);

}  // namespace erdos
