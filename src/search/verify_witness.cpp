// Exact test that a first witness yields a solution of 4/p = 1/m + 1/x + 1/y.
#include "search/verify_witness.hpp"

#include <gmp.h>

#include <cstdlib>

namespace erdos {

namespace {

// A nonnegative integer of up to 9 limbs (576 bits) on the stack. Within the
// accepted inputs x and y stay below 2^247, so both sides of the identity stay
// below 2^557.
constexpr mp_size_t max_limbs = 9;
static_assert(sizeof(mp_limb_t) == 8, "a limb holds 64 bits");
struct natural {
    mp_limb_t limb[max_limbs];
    mp_size_t size;  // significant limbs, 0 for zero
};

void trim(natural& a) {
    while (a.size > 0 && a.limb[a.size - 1] == 0) --a.size;
}

natural from_u128(uint128 v) {
    natural r;
    r.limb[0] = static_cast<mp_limb_t>(v);
    r.limb[1] = static_cast<mp_limb_t>(v >> 64);
    r.size = 2;
    trim(r);
    return r;
}

// The input bounds keep every result within max_limbs; a breach is a bug here,
// never a verdict.
void check_room(mp_size_t limbs) {
    if (limbs > max_limbs) std::abort();
}

// a*b for a, b > 0.
natural times(const natural& a, const natural& b) {
    natural r;
    r.size = a.size + b.size;
    check_room(r.size);
    if (a.size >= b.size) {
        mpn_mul(r.limb, a.limb, a.size, b.limb, b.size);
    } else {
        mpn_mul(r.limb, b.limb, b.size, a.limb, a.size);
    }
    trim(r);
    return r;
}

// a + b for a, b > 0.
natural plus(const natural& a, const natural& b) {
    const natural& big = a.size >= b.size ? a : b;
    const natural& small = a.size >= b.size ? b : a;
    natural r;
    r.size = big.size + 1;
    check_room(r.size);
    r.limb[big.size] = mpn_add(r.limb, big.limb, big.size, small.limb, small.size);
    trim(r);
    return r;
}

// quotient = a / c, truncated, for a > 0 and 0 < c < 2^32; true when the
// division is exact. Half a limb at a time, so that each step divides a
// remainder below c, shifted up 32 bits, plus 32 bits: one 64-bit division,
// with neither GMP's call nor the reciprocal it works out for c each time.
bool divide_exactly(const natural& a, std::uint32_t c, natural& quotient) {
    std::uint64_t remainder = 0;
    for (mp_size_t i = a.size; i-- > 0;) {
        const std::uint64_t limb = a.limb[i];
        const std::uint64_t high = remainder << 32 | limb >> 32;
        const std::uint64_t low = (high % c) << 32 | (limb & 0xFFFFFFFFU);
        quotient.limb[i] = (high / c) << 32 | low / c;
        remainder = low % c;
    }
    quotient.size = a.size;
    trim(quotient);
    return remainder == 0;
}

bool equal(const natural& a, const natural& b) {
    return a.size == b.size && mpn_cmp(a.limb, b.limb, a.size) == 0;
}

// Steps 2 to 4 for p, m < 2^31 and d < 2^62 (every input a run below 2^31
// produces), exact in signed 128-bit arithmetic: N < 2^62, N^2 < 2^124 and
// D < 2^124. Gives N + D and N + E, or false when D does not divide N^2.
bool sums_narrow(std::int64_t p, std::int64_t m, std::int64_t d, std::int32_t branch, natural& n_plus_d,
                 natural& n_plus_e) {
    const int128 n = int128{m} * p;
    const int128 big_d = int128{branch == 2 ? p * p : p} * d;
    const int128 n_squared = n * n;
    if (n_squared % big_d != 0) return false;
    n_plus_d = from_u128(static_cast<uint128>(n + big_d));
    n_plus_e = from_u128(static_cast<uint128>(n + n_squared / big_d));
    return true;
}

// Steps 2 to 4 for every accepted input, in limb arithmetic: N = m*p < 2^123,
// D < 2^246, N^2 < 2^246.
bool sums_gmp(std::int64_t p, std::int64_t m, int128 d, std::int32_t branch, natural& n_plus_d, natural& n_plus_e) {
    const auto up = static_cast<uint128>(p);
    const natural n = from_u128(static_cast<uint128>(m) * up);
    const natural big_d = times(from_u128(static_cast<uint128>(d)), from_u128(branch == 2 ? up * up : up));

    const natural n_squared = times(n, n);
    if (n_squared.size < big_d.size) return false;  // 0 < N^2 < D: N^2 is the remainder
    natural e;
    natural remainder;
    mpn_tdiv_qr(e.limb, remainder.limb, 0, n_squared.limb, n_squared.size, big_d.limb, big_d.size);
    if (!mpn_zero_p(remainder.limb, big_d.size)) return false;
    e.size = n_squared.size - big_d.size + 1;
    trim(e);
    n_plus_d = plus(n, big_d);
    n_plus_e = plus(n, e);
    return true;
}

// 4*m*x*y == p*(x*y + m*x + m*y), exactly (4*m < 2^64 is one limb).
bool identity_holds(std::int64_t p, std::int64_t m, const natural& x, const natural& y) {
    const natural xy = times(x, y);
    const natural left = times(from_u128(4 * static_cast<uint128>(m)), xy);
    const natural m_x_plus_y = times(from_u128(static_cast<uint128>(m)), plus(x, y));
    const natural right = times(from_u128(static_cast<uint128>(p)), plus(xy, m_x_plus_y));
    return equal(left, right);
}

}  // namespace

bool verify_first_witness(std::int64_t p, std::int32_t c, std::int64_t m, int128 d, std::int32_t branch) {
    // d < 1 covers the negative witnesses, which stay unverified.
    constexpr std::int64_t max_p = std::int64_t{1} << 62;
    constexpr std::int64_t max_m = std::int64_t{1} << 61;
    constexpr int128 d_limit = int128{1} << 122;
    if (d < 1 || c < 1 || p < 1 || p > max_p || m < 1 || m > max_m || d >= d_limit) return false;
    if (branch < 1 || branch > 3) return false;

    // Every value formed is positive from here: N >= 1, D >= 1 and, as D must
    // divide N^2 >= 1, E >= 1; so x >= 1 and y >= 1 once c divides N + D and
    // N + E. A cofactor E truncated by an inexact division could not pass the
    // exact identity together with both divisions by c either; the remainder
    // test ends such a case early.
    constexpr std::int64_t narrow = std::int64_t{1} << 31;
    natural n_plus_d;
    natural n_plus_e;
    const bool exact = (p < narrow && m < narrow && d < (int128{1} << 62))
                           ? sums_narrow(p, m, static_cast<std::int64_t>(d), branch, n_plus_d, n_plus_e)
                           : sums_gmp(p, m, d, branch, n_plus_d, n_plus_e);
    if (!exact) return false;

    // Steps 5 and 6: x = (N + D) / c and y = (N + E) / c, both exact.
    const auto c_word = static_cast<std::uint32_t>(c);
    natural x;
    natural y;
    if (!divide_exactly(n_plus_d, c_word, x) || !divide_exactly(n_plus_e, c_word, y)) return false;
    return identity_holds(p, m, x, y);
}

}  // namespace erdos
