// Miller-Rabin with the first twelve prime bases, in Montgomery arithmetic.
#include "numtheory/prime_test64.hpp"

#include <bit>

#include "numtheory/montgomery64.hpp"

namespace erdos {

namespace {

// The first twelve primes: as Miller-Rabin bases they leave no strong
// pseudoprime below 3.18 * 10^23, hence none among 64-bit numbers.
constexpr std::uint64_t bases[] = {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37};

}  // namespace

bool is_prime_u64(std::uint64_t n) {
    if (n < 2) return false;
    for (const std::uint64_t q : bases) {
        if (n == q) return true;
        if (n % q == 0) return false;
    }
    // n is odd and above 37: n - 1 = d * 2^s with d odd.
    const montgomery64 mg = make_montgomery64(n);
    const std::uint64_t minus_one = n - mg.one;
    const int s = std::countr_zero(n - 1);
    const std::uint64_t d = (n - 1) >> s;
    for (const std::uint64_t a : bases) {
        // x = a^d mod n by squaring, from the top bit of d down.
        const std::uint64_t base = to_montgomery(mg, a);
        std::uint64_t x = mg.one;
        for (int bit = 63 - std::countl_zero(d); bit >= 0; --bit) {
            x = montgomery_multiply(mg, x, x);
            if ((d >> bit) & 1U) x = montgomery_multiply(mg, x, base);
        }
        if (x == mg.one || x == minus_one) continue;
        // a is a witness of compositeness unless squaring reaches -1.
        bool reached_minus_one = false;
        for (int i = 1; i < s && !reached_minus_one; ++i) {
            x = montgomery_multiply(mg, x, x);
            reached_minus_one = x == minus_one;
        }
        if (!reached_minus_one) return false;
    }
    return true;
}

}  // namespace erdos
