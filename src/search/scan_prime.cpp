// The plain per-prime scan.
#include "search/scan_prime.hpp"

#include "numtheory/spf_table.hpp"
#include "search/shift_list.hpp"
#include "stop_request.hpp"

namespace erdos {

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
