// A deterministic primality test for 64-bit numbers: an independent check on the sieves.
#pragma once

#include <cstdint>

namespace erdos_test {

__extension__ typedef unsigned __int128 uint128;

inline std::uint64_t mul_mod(std::uint64_t a, std::uint64_t b, std::uint64_t n) {
    return static_cast<std::uint64_t>(static_cast<uint128>(a) * b % n);
}

inline std::uint64_t pow_mod(std::uint64_t a, std::uint64_t e, std::uint64_t n) {
    std::uint64_t r = 1;
    for (a %= n; e != 0; e >>= 1, a = mul_mod(a, a, n)) {
        if (e & 1U) r = mul_mod(r, a, n);
    }
    return r;
}

// Miller-Rabin with the first twelve primes as bases, which decides every n < 3.3 * 10^24.
inline bool is_prime(std::uint64_t n) {
    if (n < 2) return false;
    static constexpr std::uint64_t bases[] = {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37};
    for (const std::uint64_t p : bases) {
        if (n % p == 0) return n == p;
    }
    std::uint64_t d = n - 1;
    int s = 0;
    for (; d % 2 == 0; d /= 2) ++s;
    for (const std::uint64_t a : bases) {
        std::uint64_t x = pow_mod(a, d, n);
        if (x == 1 || x == n - 1) continue;
        int i = 1;
        for (; i < s; ++i) {
            x = mul_mod(x, x, n);
            if (x == n - 1) break;
        }
        if (i == s) return false;
    }
    return true;
}

}  // namespace erdos_test
