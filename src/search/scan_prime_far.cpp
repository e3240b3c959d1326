// The far scan: one prime over every shift, factorising each m on its own.
#include "search/scan_prime_far.hpp"

#include <stdexcept>

#include "numtheory/factorize64.hpp"
#include "numtheory/far_divisors.hpp"
#include "search/mass_sums.hpp"
#include "search/shift_list.hpp"
#include "stop_request.hpp"

namespace erdos {

namespace {

constexpr std::int64_t largest_prime_scanned = std::int64_t{1} << 62;

// The witnesses of one shift among the divisors of m^2: how many, the first
// in list order (-1 if none) and its branch code (1, 2, 3; 0 if none).
struct far_shift_witnesses {
    std::int64_t count = 0;
    int128 first_d = -1;
    std::int32_t branch = 0;
};

// With m <= 2^60 + 2^29 every divisor is below 2^121, so m + d and 4d + 1
// are far inside 128 bits.
far_shift_witnesses find_far_shift_witnesses(std::int64_t m, std::int32_t c, const far_divisor_list& divisors) {
    far_shift_witnesses found;
    const auto c128 = static_cast<uint128>(c);
    const auto m128 = static_cast<uint128>(m);
    for (const uint128 d : divisors) {
        const uint128 r1 = (m128 + d) % c128;
        const uint128 r2 = (4 * d + 1) % c128;
        if (r1 != 0 && r2 != 0) continue;
        if (found.count == 0) {
            found.first_d = static_cast<int128>(d);
            found.branch = (r1 == 0 ? 1 : 0) + (r2 == 0 ? 2 : 0);
        }
        ++found.count;
    }
    return found;
}

}  // namespace

prime_scan scan_prime_far(std::int64_t p, const std::vector<std::int32_t>& shift_list, std::uint64_t shift_count,
                           std::int64_t weight_total) {
    if (p < 0 || p > largest_prime_scanned) throw std::out_of_range("scan_prime_far: p outside [0, 2^62]");
    prime_scan scan;
    scan.p = p;
    long double uniform_sum = 0.0L;
    long double weighted_sum = 0.0L;

    for (const std::int32_t c : shift_list) {
        if ((c & 0x3FFF) == 3) stop_if_requested();  // once per 4096 shifts, as the plain scan
        const std::int64_t m = (p + c) / 4;
        const far_divisor_list divisors = far_divisors_of_square(factorize64(m));
        const far_shift_witnesses found = find_far_shift_witnesses(m, c, divisors);
        add_witness_share(uniform_sum, weighted_sum, found.count, static_cast<std::int64_t>(divisors.size()),
                          shift_weight(c));
        if (found.count > 0) record_successful_shift(scan, c, m, found.first_d, found.branch);
    }
    finish_masses(scan, uniform_sum, weighted_sum, shift_count, weight_total);
    return scan;
}

}  // namespace erdos
