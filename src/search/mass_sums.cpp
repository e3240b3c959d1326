// The rounding of the masses that every scan shares.
#include "search/mass_sums.hpp"

#include <bit>
#include <limits>

namespace erdos {

// The mass sums are part of the output to their last bit: they must be
// accumulated in the x87 80-bit format with its 64-bit significand.
static_assert(std::numeric_limits<long double>::digits == 64, "long double must be the x87 80-bit format");

double negative_quiet_nan() { return std::bit_cast<double>(std::uint64_t{0xFFF8000000000000}); }

void finish_masses(prime_scan& scan, long double uniform_sum, long double weighted_sum, std::uint64_t shift_count,
                   std::int64_t weight_total) {
    if (shift_count == 0 || weight_total == 0) {
        // 0/0: the documented NaN, made explicitly rather than left to constant folding.
        scan.uniform_mass = negative_quiet_nan();
        scan.weighted_mass = negative_quiet_nan();
        return;
    }
    scan.uniform_mass = static_cast<double>(uniform_sum / static_cast<long double>(shift_count));
    scan.weighted_mass = static_cast<double>(weighted_sum / static_cast<long double>(weight_total));
}

}  // namespace erdos
