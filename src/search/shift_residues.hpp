// Residue arithmetic modulo each shift: multiplication tables, inverses, discrete logarithms.
#pragma once

#include <cstdint>
#include <vector>

namespace erdos {

// Residue arithmetic modulo one shift c, prepared once per run. A divisor d is
// a witness for c exactly when d = -m or d = -(4^-1) (mod c); only d mod c
// matters, and the residue of a divisor of m^2 is a product of prime residues.
struct shift_residues {
    // The largest shift with multiplication tables: every residue below it
    // fits a byte. Wider shifts are scanned by listing the divisors.
    static constexpr std::int32_t max_table_shift = 255;
    // The largest shift whose residues multiply within 32 bits; those above
    // max_table_shift up to it are counted by search/untabled_count.
    static constexpr std::int32_t max_counted_shift = 65535;

    std::int32_t c = 0;
    std::int32_t weight = 0;
    std::uint32_t minus_quarter = 0;  // -1/4 mod c: the d mod c with 4d + 1 = 0 (mod c)
    std::uint64_t reciprocal = 0; // for reduce()
    // For c <= max_table_shift only:
    std::vector<std::uint8_t> mul;            // mul[x * c + y] = x * y mod c
    std::vector<std::uint8_t> inverse;        // inverse of each unit, 0 for the rest
    std::vector<std::uint8_t> prime_residue;  // each sieving prime mod c

    // Discrete logarithms, for c whose unit group is a product of at most two
    // cyclic groups of order below 128 (every shift up to 127): a unit x is
    // the pair of exponents (l1, l2) with x = g1^l1 (mod c1), x = g2^l2 (mod c2),
    // c = c1*c2, stored as l1 | l2 << 8, so that multiplying units is adding
    // pairs byte by byte, each modulo its order (log_order, same layout).
    // Orders below 128 keep the sum of two logarithms below 256, inside its
    // byte, which the vector kernel's reduction needs.
    bool has_logs = false;
    std::uint16_t log_order = 0;
    std::vector<std::uint16_t> log_of;     // per residue; 0xFFFF for non-units
    std::vector<std::uint16_t> prime_log;  // per sieving prime; 0xFFFF when it divides c
    std::uint16_t minus_quarter_log = 0;  // log of -1/4
    std::uint16_t minus_one_log = 0;      // log of -1
    std::vector<std::uint8_t> unit_of_log;  // the unit with logarithm pair l, at l1 + order1 * l2
};

// The unit whose logarithm pair is `log` (s.has_logs).
inline std::uint8_t unit_of_log(const shift_residues& s, std::uint16_t log) {
    return s.unit_of_log[(log & 0xFFU) + (s.log_order & 0xFFU) * (log >> 8U)];
}

// Tables for every shift; sieving_primes are the primes the factor windows use.
std::vector<shift_residues> build_shift_residues(const std::vector<std::int32_t>& shift_list,
                                                 const std::vector<std::int32_t>& sieving_primes);

// -1/4 mod c for a shift c = 3 (mod 4): 4 (c + 1)/4 = 1 (mod c). The class
// of the witnesses of the second congruence, (4d + 1) = 0 (mod c).
inline std::uint32_t minus_quarter_of(std::uint32_t c) { return c - (c + 1) / 4; }

// -r mod c for a residue r < c: the class of the witnesses of the first
// congruence, (m + d) = 0 (mod c), from r = m mod c.
inline std::uint32_t minus_of(std::uint32_t c, std::uint32_t r) { return r == 0 ? 0 : c - r; }

// x mod c for any 32-bit x, by multiplications only.
inline std::uint32_t reduce(const shift_residues& s, std::uint32_t x) {
    const std::uint64_t low = s.reciprocal * x;
    __extension__ typedef unsigned __int128 uint128;
    return static_cast<std::uint32_t>((static_cast<uint128>(low) * static_cast<std::uint32_t>(s.c)) >> 64);
}

}  // namespace erdos
