// Multiplication modulo an odd 64-bit number in Montgomery form, for primality tests and factor searches.
#pragma once

#include <cstdint>

#include "numtheory/int128.hpp"

namespace erdos {

// The constants of arithmetic modulo an odd n > 1 with R = 2^64. A residue x
// is held as x * R mod n, always reduced into [0, n).
struct montgomery64 {
    std::uint64_t n = 0;
    std::uint64_t n_inverse = 0;  // n^-1 mod 2^64
    std::uint64_t one = 0;        // R mod n, the form of 1
    std::uint64_t r_squared = 0;  // R^2 mod n, which turns x into its form
};

// The constants for the odd modulus n > 1 (any such 64-bit n).
inline montgomery64 make_montgomery64(std::uint64_t n) {
    montgomery64 mg;
    mg.n = n;
    // n * n = 1 mod 8 for odd n, so n is its own inverse to 3 bits; each
    // Newton step doubles the bits: 6, 12, 24, 48, 96.
    std::uint64_t inverse = n;
    for (int i = 0; i < 5; ++i) inverse *= 2 - n * inverse;
    mg.n_inverse = inverse;
    mg.one = (0 - n) % n;  // 2^64 - n = 2^64 mod n
    mg.r_squared = static_cast<std::uint64_t>(uint128{mg.one} * mg.one % n);
    return mg;
}

// t * R^-1 mod n, for t < n * 2^64. With k = (t mod 2^64) * n^-1 mod 2^64 the
// low words of t and k * n agree, so t - k * n is (high(t) - high(k * n)) * 2^64,
// which lies in (-n * 2^64, n * 2^64): one conditional addition of n reduces it.
inline std::uint64_t montgomery_reduce(const montgomery64& mg, uint128 t) {
    const std::uint64_t k = static_cast<std::uint64_t>(t) * mg.n_inverse;
    const auto kn_high = static_cast<std::uint64_t>((uint128{k} * mg.n) >> 64);
    const auto t_high = static_cast<std::uint64_t>(t >> 64);
    const std::uint64_t r = t_high - kn_high;
    return t_high < kn_high ? r + mg.n : r;
}

// The product of two residues in form, in form.
inline std::uint64_t montgomery_multiply(const montgomery64& mg, std::uint64_t a, std::uint64_t b) {
    return montgomery_reduce(mg, uint128{a} * b);
}

// x (any 64-bit value) into form.
inline std::uint64_t to_montgomery(const montgomery64& mg, std::uint64_t x) {
    return montgomery_multiply(mg, x % mg.n, mg.r_squared);
}

// a + b mod n for a, b in [0, n), without overflow for any 64-bit n.
inline std::uint64_t add_mod(std::uint64_t a, std::uint64_t b, std::uint64_t n) {
    const std::uint64_t s = a + b;
    return (s < a || s >= n) ? s - n : s;
}

}  // namespace erdos
