// Primality and factorisation of 64-bit integers against trial division, a sieve and known hard cases.
#include "numtheory/factorize64.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "numtheory/prime_sieve.hpp"
#include "numtheory/prime_test64.hpp"
#include "support/trial_factor.hpp"

using erdos::factor_list64;
using erdos::factorize64;
using erdos::is_prime_u64;

namespace {

factor_list64 widened(const erdos::factor_list& factors) {
    factor_list64 out;
    for (const auto& pp : factors) out.push_back({pp.prime, pp.exponent});
    return out;
}

std::int64_t product(const factor_list64& factors) {
    std::int64_t m = 1;
    for (const auto& pp : factors) {
        for (std::int32_t k = 0; k < pp.exponent; ++k) m *= pp.prime;
    }
    return m;
}

}  // namespace

TEST(PrimeTest64, AgreesWithTheSieveAndRejectsPseudoprimes) {
    const std::vector<std::int32_t> primes = erdos::sieve_primes(1000000);
    std::vector<bool> prime(1000001, false);
    for (const std::int32_t q : primes) prime[static_cast<std::size_t>(q)] = true;
    for (std::uint64_t n = 0; n <= 1000000; ++n) ASSERT_EQ(is_prime_u64(n), prime[n]) << n;

    // Carmichael numbers; 3215031751, a strong pseudoprime to bases 2, 3, 5
    // and 7; 3825123056546413051, one to every prime base up to 23; squares
    // and products of primes near 2^32; 2^64 - 1.
    for (const std::uint64_t n : {561ULL, 1105ULL, 1729ULL, 41041ULL, 825265ULL, 321197185ULL, 3215031751ULL,
                                  3825123056546413051ULL, 4294967291ULL * 4294967291ULL,
                                  4294967291ULL * 4294967279ULL, ~0ULL}) {
        EXPECT_FALSE(is_prime_u64(n)) << n;
    }
    // 2^61 - 1, the largest primes below 2^62 and 2^64, and primes near 2^32.
    for (const std::uint64_t n : {2305843009213693951ULL, 4611686018427387847ULL, 18446744073709551557ULL,
                                  4294967291ULL, 4294967311ULL}) {
        EXPECT_TRUE(is_prime_u64(n)) << n;
    }
}

TEST(Factorize64, AgreesWithTrialDivision) {
    EXPECT_TRUE(factorize64(0).empty());
    EXPECT_TRUE(factorize64(1).empty());
    std::mt19937_64 random(62);
    for (std::int64_t n = 2; n < 70000; ++n) ASSERT_EQ(factorize64(n), widened(erdos_test::trial_factor(n))) << n;
    for (int i = 0; i < 3000; ++i) {
        const auto n = static_cast<std::int64_t>(random() >> (33 + i % 20));  // up to 2^31
        ASSERT_EQ(factorize64(n), widened(erdos_test::trial_factor(n))) << n;
    }
}

// Numbers up to 2^62 built from known primes, with the cases that strain the
// factor search: squares, cubes and balanced products of primes near 2^30,
// primes just above the trial-division bound and their squares, and large
// primes times small ones.
TEST(Factorize64, RebuildsProductsOfKnownPrimes) {
    const std::vector<factor_list64> cases = {
        {{1073741789, 2}},
        {{1073741783, 1}, {1073741789, 1}},
        {{1048573, 3}},
        {{2147483647, 2}},
        {{2305843009213693951, 1}},
        {{2, 62}},
        {{3, 39}},
        {{257, 2}},
        {{257, 1}, {65537, 1}},
        {{65521, 2}, {65537, 1}},
        {{149491, 1}, {747451, 1}, {34233211, 1}},
        {{2, 1}, {3, 1}, {1152921504606846883, 1}},
        {{251, 1}, {257, 1}, {1048573, 1}, {1048583, 1}},
    };
    for (const factor_list64& want : cases) EXPECT_EQ(factorize64(product(want)), want) << product(want);

    // Random products: primes below 2^31 (tested by trial division here),
    // multiplied while the product stays below 2^62.
    std::mt19937_64 random(2024);
    const auto random_prime = [&](int bits) {
        for (;;) {
            const auto q = static_cast<std::int64_t>((random() >> (64 - bits)) | 1);
            if (q > 2 && erdos_test::trial_factor(q).size() == 1 && erdos_test::trial_factor(q)[0].exponent == 1) return q;
        }
    };
    for (int i = 0; i < 2000; ++i) {
        std::vector<std::int64_t> chosen;
        std::int64_t n = 1;
        for (;;) {
            const std::int64_t q = random_prime(2 + static_cast<int>(random() % 30));
            if (n > (std::int64_t{1} << 62) / q) break;
            n *= q;
            chosen.push_back(q);
        }
        std::sort(chosen.begin(), chosen.end());
        factor_list64 want;
        for (const std::int64_t q : chosen) {
            if (!want.empty() && want.back().prime == q) {
                ++want.back().exponent;
            } else {
                want.push_back({q, 1});
            }
        }
        ASSERT_EQ(factorize64(n), want) << n;
    }
}
