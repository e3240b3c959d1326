// The recursive enumeration of the divisors of m^2 with 128-bit products.
#include "numtheory/far_divisors.hpp"

namespace erdos {

void gen_far_divisors_rec(const factor_list64& factors, std::int32_t index, uint128 current,
                           far_divisor_list& divisors) {
    if (static_cast<std::size_t>(index) == factors.size()) {
        divisors.push_back(current);
        return;
    }
    const prime_power64 pp = factors[static_cast<std::size_t>(index)];
    uint128 power = 1;
    for (std::int32_t k = 0; k <= 2 * pp.exponent; ++k) {
        gen_far_divisors_rec(factors, index + 1, current * power, divisors);
        if (k < 2 * pp.exponent) power *= static_cast<std::uint64_t>(pp.prime);  // q^(2e+1) need not divide m^2
    }
}

far_divisor_list far_divisors_of_square(const factor_list64& factors) {
    far_divisor_list divisors;
    divisors.reserve(256);
    gen_far_divisors_rec(factors, 0, 1, divisors);
    return divisors;
}

}  // namespace erdos
