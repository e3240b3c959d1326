// The plain scan of one prime: every divisor of every m^2 listed and tested; the masses.
#pragma once

#include <cstdint>
#include <vector>

#include "numtheory/divisors.hpp"
#include "search/prime_scan.hpp"

namespace erdos {

// Scans the examined prime p over every shift c of shift_list: m = (p + c) / 4,
// and a witness is a divisor d of m^2 with (m + d) mod c == 0 or (4d + 1) mod c == 0.
// Fills every field of the prime_scan. The masses are the witness shares
// (witnesses / divisors of m^2) summed in 80-bit extended precision, divided by
// shift_count (uniform) or by weight_total with each share weighted by
// shift_weight (weighted), and rounded once to double. With no shifts both
// masses are the NaN with the sign bit set.
// Requires every m to lie inside spf_table. This is the plain form: it lists
// every divisor and tests each with two 64-bit remainders. Throws run_stopped
// when a signal asks the run to stop.
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

// Adds the witness share witnesses/divisors of one shift to the two sums: the
// share is an 80-bit quotient, the weighted term share * weight an 80-bit product.
// Every scan goes through here, so all of them round alike.
inline void add_witness_share(long double& uniform_sum, long double& weighted_sum, std::int64_t witnesses,
                              std::int64_t divisors, std::int32_t weight) {
    const long double share = static_cast<long double>(witnesses) / static_cast<long double>(divisors);
    uniform_sum += share;
    weighted_sum += share * static_cast<long double>(weight);
}

// Fixes the prime's least shift c: its first witness there, the branch and m.
inline void settle_least_shift(prime_scan& scan, std::int32_t c, std::int64_t m, int128 first_d,
                               std::int32_t branch) {
    scan.has_witness = true;
    scan.least_c = c;
    scan.first_d = first_d;
    scan.branch = branch;
    scan.first_m = m;
}

// Counts a shift that has witnesses in scan; the first such shift is the
// least one.
inline void record_successful_shift(prime_scan& scan, std::int32_t c, std::int64_t m, int128 first_d,
                                    std::int32_t branch) {
    ++scan.successful_shifts;
    if (!scan.has_witness) settle_least_shift(scan, c, m, first_d, branch);
}

// Sets both masses from the finished sums: one 80-bit division each, rounded
// once to double; the NaN with the sign bit set when there are no shifts.
void finish_masses(prime_scan& scan, long double uniform_sum, long double weighted_sum, std::uint64_t shift_count,
                   std::int64_t weight_total);

// The quiet NaN with the sign bit set (0xFFF8000000000000), the processor's
// answer to 0/0, produced here without relying on how the compiler folds 0/0.
double negative_quiet_nan();

}  // namespace erdos
