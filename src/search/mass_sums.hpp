// A prime's record built shift by shift: the 80-bit mass sums, the least shift, the masses rounded once.
// Every scan, plain or fast, 32-bit or far out, goes through these, so that all round alike to the last bit.
#pragma once

#include <cstdint>

#include "numtheory/int128.hpp"
#include "search/prime_scan.hpp"

namespace erdos {

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
