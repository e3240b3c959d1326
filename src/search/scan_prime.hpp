#pragma once

#include <cstdint>
#include <vector>

#include "driver/run_records.hpp"

namespace erdos {

// Scans the examined prime p over every shift c of shift_list: m = (p + c) / 4,
// and a witness is a divisor d of m^2 with (m + d) mod c == 0 or (4d + 1) mod c == 0.
// Fills every field of the prime_scan. The masses are the witness shares
// (witnesses / divisors of m^2) summed in 80-bit extended precision, divided by
// shift_count (uniform) or by weight_total with each share weighted by
// shift_weight (weighted), and rounded once to double. With no shifts both
// masses are the NaN with the sign bit set.
// Requires every m to lie inside spf_table.
prime_scan scan_prime(std::int32_t p, const std::vector<std::int32_t>& shift_list,
                      std::uint64_t shift_count, std::int64_t weight_total,
                      const std::vector<std::int32_t>& spf_table);

// The quiet NaN with the sign bit set (0xFFF8000000000000), the processor's
// answer to 0/0, produced here without relying on how the compiler folds 0/0.
double negative_quiet_nan();

}  // namespace erdos
