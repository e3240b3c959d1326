// Exact test that a first witness yields a solution of 4/p = 1/m + 1/x + 1/y.
#include "search/verify_witness.hpp"

#include <numeric>

namespace erdos {

namespace {

// a mod c for 0 < c < 2^32, with two_64 = 2^64 mod c, in 64-bit operations:
// a = high * 2^64 + low, and every product below is of two residues under
// 2^32. Most values a run verifies fit 64 bits, and take one division.
std::uint64_t residue(uint128 a, std::uint64_t c, std::uint64_t two_64) {
    const auto high = static_cast<std::uint64_t>(a >> 64);
    const auto low = static_cast<std::uint64_t>(a);
    if (high == 0) return low % c;
    return ((high % c) * two_64 + low % c) % c;
}

}  // namespace

bool verify_first_witness(std::int64_t p, std::int32_t c, std::int64_t m, int128 d, std::int32_t branch) {
    // d < 1 covers the negative witnesses, which stay unverified.
    constexpr std::int64_t max_p = std::int64_t{1} << 62;
    constexpr std::int64_t max_m = std::int64_t{1} << 61;
    constexpr int128 d_limit = int128{1} << 122;
    if (d < 1 || c < 1 || p < 1 || p > max_p || m < 1 || m > max_m || d >= d_limit) return false;
    if (branch < 1 || branch > 3) return false;

    // With N = m*p and D*E = N^2, x = (N + D)/c and y = (N + E)/c satisfy the
    // equation exactly when 4m = p + c: (N + D)(N + E) = N^2 + N(D + E) + DE
    // = N(2N + D + E), so 1/x + 1/y = c(2N + D + E)/((N + D)(N + E)) = c/N, and
    // 1/m + c/(mp) = (p + c)/(mp), which is 4/p exactly when p + c = 4m. So
    // the identity 4*m*x*y == p*(x*y + m*x + m*y) needs no product of x and y:
    // what is left to prove is that D divides N^2 and c divides N + D and
    // N + E. Every value is positive (N, D >= 1, so E >= 1, x >= 1, y >= 1).
    if (int128{4} * m - p != c) return false;

    // E = N^2 / D exactly. For branch 2, D = p^2 d and N^2 = p^2 m^2: D
    // divides N^2 when d divides m^2, and E = m^2 / d. For branches 1 and 3,
    // D = p d: D divides N^2 when d divides p m^2, and then E = (m^2 / d) p
    // when d divides m^2 (every witness of a scan, whose d divides m^2), or
    // else, with g = gcd(d, p), when d/g divides m^2 (d/g and p/g share no
    // prime), and E = (m^2 / (d/g)) (p/g). m^2 <= 2^122 fits 128 bits.
    const uint128 m_squared = static_cast<uint128>(m) * static_cast<uint128>(m);
    const auto up = static_cast<std::uint64_t>(p);
    uint128 divisor = static_cast<uint128>(d);
    std::uint64_t e_factor = branch == 2 ? 1 : up;  // E = (m^2 / divisor) * e_factor
    uint128 quotient = m_squared / divisor;
    if (m_squared - quotient * divisor != 0) {
        if (branch == 2) return false;
        const std::uint64_t g = std::gcd(up, static_cast<std::uint64_t>(divisor % up));
        if (g == 1) return false;  // d/g = d does not divide m^2
        divisor /= g;
        e_factor = up / g;
        quotient = m_squared / divisor;
        if (m_squared - quotient * divisor != 0) return false;
    }

    // x and y are integers when c divides N + D and N + E: residues mod c,
    // each below c, so that a sum of two is divisible by c when it is 0 or c.
    const auto uc = static_cast<std::uint64_t>(c);
    const std::uint64_t two_64 = (0 - uc) % uc;
    const std::uint64_t p_mod = up % uc;
    const std::uint64_t n_mod = static_cast<std::uint64_t>(m) % uc * p_mod % uc;
    std::uint64_t d_mod = residue(static_cast<uint128>(d), uc, two_64) * p_mod % uc;
    if (branch == 2) d_mod = d_mod * p_mod % uc;
    const std::uint64_t e_factor_mod = e_factor == up ? p_mod : e_factor % uc;
    const std::uint64_t e_mod = residue(quotient, uc, two_64) * e_factor_mod % uc;
    const auto divides = [uc](std::uint64_t sum) { return sum == 0 || sum == uc; };
    return divides(n_mod + d_mod) && divides(n_mod + e_mod);
}

}  // namespace erdos
