// m's prime powers with their residues modulo one shift, read off a factor window.
#pragma once

#include <cstdint>

#include "numtheory/factor_window.hpp"
#include "search/shift_residues.hpp"

namespace erdos {

// m's prime powers, ascending, with their residues modulo one shift.
struct residue_factors {
    int count = 0;
    std::int64_t tau = 1;  // number of divisors of m^2
    std::int64_t prime[factor_window::max_factors];
    std::int32_t exponent[factor_window::max_factors];
    std::uint8_t residue[factor_window::max_factors];
};

// The prime powers of m, which must lie in the filled window, modulo the
// shift (which must have residue tables). Inline: it is called for nearly
// every prime's first shifts.
inline residue_factors gather_factors(const shift_residues& shift, const factor_window& window, std::int64_t m) {
    residue_factors factors;
    const auto i = static_cast<std::size_t>(m - window.lo);
    const std::uint16_t* slots = window.small.data() + i * factor_window::max_small;
    const factor_window::entry& entry = window.entries[i];
    for (int j = 0; j < entry.small_count; ++j) {
        const std::uint16_t index = slots[j];
        factors.prime[factors.count] = window.primes[index];
        factors.exponent[factors.count] = static_cast<std::int32_t>((entry.pattern >> (5 * j)) & 31U);
        factors.residue[factors.count] = shift.prime_residue[index];
        factors.tau *= 2 * factors.exponent[factors.count] + 1;
        ++factors.count;
    }
    if (const std::uint32_t large = entry.large; large > 1) {
        factors.prime[factors.count] = large;
        factors.exponent[factors.count] = 1;
        factors.residue[factors.count] = static_cast<std::uint8_t>(reduce(shift, large));
        factors.tau *= 3;
        ++factors.count;
    }
    return factors;
}

// The same for an m far out (below 2^61): at most 15 distinct primes, the
// last of them up to 2^61, with residues modulo a shift of any size.
struct far_residue_factors {
    static constexpr int capacity = 16;
    int count = 0;
    std::int64_t tau = 1;  // number of divisors of m^2
    std::uint64_t prime[capacity];
    std::int32_t exponent[capacity];
    std::uint32_t residue[capacity];
};

// The residue of -m from that of m: the class of the witnesses of the first
// congruence, (m + d) = 0 (mod c).
inline std::uint8_t minus_residue(const shift_residues& shift, std::uint32_t m_residue) {
    return static_cast<std::uint8_t>(minus_of(static_cast<std::uint32_t>(shift.c), m_residue));
}

}  // namespace erdos
