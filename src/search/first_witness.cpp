// The first-witness walk: the divisor order stepped in residues modulo the shift.
#include "search/first_witness.hpp"

#include "numtheory/divisors.hpp"

namespace erdos {

// The divisors come with the exponent of the smallest prime changing
// slowest, so the walk turns the exponent vector like an odometer, keeping
// for each digit the residue and the value of the product of the factors
// before it. The powers of the last factor are stepped in a tight loop
// through its row of the multiplication table.
shift_witnesses first_witness_by_residues(const shift_residues& shift, const residue_factors& factors,
                                          std::uint8_t minus_m, std::uint8_t minus_quarter) {
    constexpr int max_factors = factor_window::max_factors;
    const auto c = static_cast<std::size_t>(shift.c);
    const auto one = static_cast<std::uint8_t>(1 % shift.c);
    auto hit = [&](std::uint8_t r, std::int64_t d) {
        return shift_witnesses{1, d, (r == minus_m ? 1 : 0) + (r == minus_quarter ? 2 : 0)};
    };
    const int n = factors.count;
    if (n == 0) return one == minus_m || one == minus_quarter ? hit(one, 1) : shift_witnesses{};
    const int last = n - 1;
    const std::uint8_t* const last_row = shift.mul.data() + factors.residue[last] * c;
    const int last_powers = 2 * factors.exponent[last];
    const std::int64_t last_prime = factors.prime[last];
    // Fixed-length starts: a loop over n would become a call to memset.
    int digit[max_factors] = {};
    std::uint8_t prefix_residue[max_factors + 1];  // over the factors before i
    std::int64_t prefix_value[max_factors + 1];
    for (int i = 0; i <= max_factors; ++i) {
        prefix_residue[i] = one;
        prefix_value[i] = 1;
    }
    while (true) {
        std::uint8_t r = prefix_residue[last];
        std::int64_t d = prefix_value[last];
        for (int k = 0;; ++k) {
            if (r == minus_m || r == minus_quarter) return hit(r, d);
            if (k == last_powers) break;
            r = last_row[r];
            d *= last_prime;
        }
        int i = last - 1;
        while (i >= 0 && digit[i] == 2 * factors.exponent[i]) --i;
        if (i < 0) return {};  // no witness at all
        ++digit[i];
        // prefix[i + 1] = prefix[i] * g_i^digit[i]; deeper ones restart from it.
        const std::uint8_t base_residue = digit[i] == 1 ? prefix_residue[i] : prefix_residue[i + 1];
        const std::int64_t base_value = digit[i] == 1 ? prefix_value[i] : prefix_value[i + 1];
        prefix_residue[i + 1] = shift.mul[base_residue * c + factors.residue[i]];
        prefix_value[i + 1] = base_value * factors.prime[i];
        for (int j = i + 1; j < last; ++j) {
            digit[j] = 0;
            prefix_residue[j + 1] = prefix_residue[i + 1];
            prefix_value[j + 1] = prefix_value[i + 1];
        }
    }
}

listed_witnesses witnesses_by_listing(const factor_window& window, std::int64_t m, std::int32_t c) {
    const divisor_list divisors = divisors_of_square(window_factor_list(window, m));
    return {find_shift_witnesses(m, c, divisors), static_cast<std::int64_t>(divisors.size())};
}

}  // namespace erdos
