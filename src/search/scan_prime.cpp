// The plain per-prime scan, and the rounding of the masses that every scan shares.
#include "search/scan_prime.hpp"

#include <bit>
#include <limits>

#include "numtheory/spf_table.hpp"
#include "search/shift_list.hpp"
#include "stop_request.hpp"

namespace erdos {

// The mass sums are part of the output to their last bit: they must be
// accumulated in the x87 80-bit format with its 64-bit significand.
static_assert(std::numeric_limits<long double>::digits == 64, "long double must be the x87 80-bit format");

double negative_quiet_nan() { return std::bit_cast<double>(std::uint64_t{0xFFF8000000000000}); }

shift_witnesses find_shift_witnesses(std::int64_t m, std::int32_t c, const divisor_list& divisors) {
    shift_witnesses found;
    const std::int64_t c64 = c;
    for (const std::int64_t d : divisors) {
        const std::int64_t r1 = (m + d) % c64;
        const std::int64_t r2 = (4 * d + 1) % c64;
        if (r1 != 0 && r2 != 0) continue;
        if (found.count == 0) {
            found.first_d = d;
            found.branch = (r1 == 0 ? 1 : 0) + (r2 == 0 ? 2 : 0);
        }
        ++found.count;
    }
    return found;
}

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

prime_scan scan_prime(std::int32_t p, const std::vector<std::int32_t>& shift_list,
                      std::uint64_t shift_count, std::int64_t weight_total,
                      const std::vector<std::int32_t>& spf_table) {
    prime_scan scan;
    scan.p = p;
    long double uniform_sum = 0.0L;
    long double weighted_sum = 0.0L;

    for (const std::int32_t c : shift_list) {
        // A prime over hundreds of millions of shifts takes minutes.
        if ((c & 0x3FFF) == 3) stop_if_requested();  // once per 4096 shifts
        const std::int64_t m = (static_cast<std::int64_t>(p) + c) / 4;
        const divisor_list divisors = divisors_of_square(factorize(m, spf_table));
        const shift_witnesses found = find_shift_witnesses(m, c, divisors);
        add_witness_share(uniform_sum, weighted_sum, found.count, static_cast<std::int64_t>(divisors.size()),
                          shift_weight(c));
        if (found.count > 0) record_successful_shift(scan, c, m, found.first_d, found.branch);
    }
    finish_masses(scan, uniform_sum, weighted_sum, shift_count, weight_total);
    return scan;
}

}  // namespace erdos
