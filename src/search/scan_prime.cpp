#include "search/scan_prime.hpp"

#include <bit>
#include <limits>

#include "numtheory/divisors.hpp"
#include "numtheory/spf_table.hpp"
#include "search/shift_list.hpp"

namespace erdos {

// The mass sums are part of the output to their last bit: they must be
// accumulated in the x87 80-bit format with its 64-bit significand.
static_assert(std::numeric_limits<long double>::digits == 64, "long double must be the x87 80-bit format");

double negative_quiet_nan() { return std::bit_cast<double>(std::uint64_t{0xFFF8000000000000}); }

prime_scan scan_prime(std::int32_t p, const std::vector<std::int32_t>& shift_list,
                      std::uint64_t shift_count, std::int64_t weight_total,
                      const std::vector<std::int32_t>& spf_table) {
    prime_scan scan;
    scan.p = p;
    long double uniform_sum = 0.0L;
    long double weighted_sum = 0.0L;

    for (const std::int32_t c : shift_list) {
        const std::int64_t m = (static_cast<std::int64_t>(p) + c) / 4;
        const divisor_list divisors = divisors_of_square(factorize(m, spf_table));
        const std::int64_t c64 = c;

        std::int64_t witness_count = 0;
        std::int64_t shift_first_d = -1;
        std::int32_t shift_branch = 0;
        for (const std::int64_t d : divisors) {
            const std::int64_t r1 = (m + d) % c64;
            const std::int64_t r2 = (4 * d + 1) % c64;
            if (r1 != 0 && r2 != 0) continue;
            if (witness_count == 0) {
                shift_first_d = d;
                shift_branch = (r1 == 0 ? 1 : 0) + (r2 == 0 ? 2 : 0);
            }
            ++witness_count;
        }

        const auto divisor_count = static_cast<std::int64_t>(divisors.size());
        const long double share = static_cast<long double>(witness_count) / static_cast<long double>(divisor_count);
        uniform_sum += share;
        weighted_sum += share * static_cast<long double>(shift_weight(c));

        if (witness_count > 0) {
            ++scan.successful_shifts;
            if (!scan.has_witness) {
                scan.has_witness = true;
                scan.least_c = c;
                scan.first_d = shift_first_d;
                scan.branch = shift_branch;
                scan.first_m = m;
            }
        }
    }

    if (shift_count == 0 || weight_total == 0) {
        // 0/0: the documented NaN, made explicitly rather than left to constant folding.
        scan.uniform_mass = negative_quiet_nan();
        scan.weighted_mass = negative_quiet_nan();
    } else {
        scan.uniform_mass = static_cast<double>(uniform_sum / static_cast<long double>(shift_count));
        scan.weighted_mass = static_cast<double>(weighted_sum / static_cast<long double>(weight_total));
    }
    return scan;
}

}  // namespace erdos
