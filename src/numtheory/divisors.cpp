// Listing the divisors of m^2 depth-first over the prime factorisation.
#include "numtheory/divisors.hpp"

namespace erdos {

void gen_divisors_rec(const factor_list& factors, std::int32_t index, std::int64_t current,
                      divisor_list& divisors) {
    if (static_cast<std::size_t>(index) == factors.size()) {
        divisors.push_back(current);
        return;
    }
    const prime_power pp = factors[static_cast<std::size_t>(index)];
    std::int64_t power = 1;
    for (std::int32_t k = 0; k <= 2 * pp.exponent; ++k) {
        gen_divisors_rec(factors, index + 1, current * power, divisors);
        if (k < 2 * pp.exponent) power *= pp.prime;  // never form q^(2e+1): it need not divide m^2
    }
}

divisor_list divisors_of_square(const factor_list& factors) {
    divisor_list divisors;
    divisors.reserve(256);
    gen_divisors_rec(factors, 0, 1, divisors);
    return divisors;
}

}  // namespace erdos
