#include "numtheory/far_factor_sieve.hpp"

#include <gtest/gtest.h>

#include "numtheory/int128.hpp"
#include "numtheory/sieving_primes.hpp"

namespace {

using far_factor_list = erdos::factor_list64;

// Trial division by every candidate up to the square root: slow, but
// independent of the sieve.
far_factor_list trial(std::uint64_t m) {
    far_factor_list f;
    for (std::uint64_t q = 2; q * q <= m; q += (q == 2 ? 1 : 2)) {
        std::int32_t e = 0;
        while (m % q == 0) {
            m /= q;
            ++e;
        }
        if (e > 0) f.push_back({static_cast<std::int64_t>(q), e});
    }
    if (m > 1) f.push_back({static_cast<std::int64_t>(m), 1});
    return f;
}

std::uint64_t mul_mod(std::uint64_t a, std::uint64_t b, std::uint64_t n) {
    return static_cast<std::uint64_t>(static_cast<erdos::uint128>(a) * b % n);
}

// Deterministic Miller-Rabin for every 64-bit n.
bool is_prime(std::uint64_t n) {
    if (n < 2) return false;
    for (const std::uint64_t a : {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37}) {
        if (n % a == 0) return n == a;
    }
    std::uint64_t d = n - 1;
    int s = 0;
    for (; d % 2 == 0; d /= 2) ++s;
    for (const std::uint64_t a : {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37}) {
        std::uint64_t x = 1;
        for (std::uint64_t b = a, e = d; e != 0; e >>= 1, b = mul_mod(b, b, n)) {
            if (e & 1) x = mul_mod(x, b, n);
        }
        if (x == 1 || x == n - 1) continue;
        bool composite = true;
        for (int r = 1; r < s && composite; ++r) composite = (x = mul_mod(x, x, n)) != n - 1;
        if (composite) return false;
    }
    return true;
}

// A factorisation into ascending primes whose powers multiply to m is the
// factorisation of m: a check that needs no factoring, for the m far out.
void expect_factorisation(std::uint64_t m, const far_factor_list& f) {
    erdos::uint128 product = 1;
    for (std::size_t i = 0; i < f.size(); ++i) {
        EXPECT_TRUE(is_prime(f[i].prime)) << m << ": " << f[i].prime;
        EXPECT_GE(f[i].exponent, 1) << m;
        if (i > 0) {
            EXPECT_LT(f[i - 1].prime, f[i].prime) << m;
        }
        for (int e = 0; e < f[i].exponent; ++e) product *= f[i].prime;
    }
    EXPECT_TRUE(product == (m == 0 ? 1 : m)) << m;
}

// Sieves [lo, hi] and checks every m: against trial division while that is
// quick, by the primality of the parts beyond.
// With `listed`, the sieve takes its primes from that list.
void check_range(std::uint64_t lo, std::uint64_t hi, std::uint64_t stride,
                 const erdos::sieving_primes* listed = nullptr) {
    erdos::far_factor_sieve s = erdos::start_far_factor_sieve(lo, hi, listed);
    std::uint64_t expected_next = lo;
    while (erdos::sieve_next_far_segment(s)) {
        ASSERT_EQ(s.segment_lo, expected_next);
        expected_next += s.segment_count;
        for (std::uint64_t m = s.segment_lo; m < s.segment_lo + s.segment_count; m += stride) {
            if (m < 1000000000ULL) {
                ASSERT_EQ(erdos::far_factor_list_of(s, m), trial(m)) << m;
            } else {
                expect_factorisation(m, erdos::far_factor_list_of(s, m));
            }
        }
    }
    EXPECT_EQ(expected_next, hi + 1);
}

TEST(FarFactorSieve, AgreesWithTrialDivisionFromZeroAndAcrossSegments) {
    check_range(0, 200000, 1);
    check_range(536870000, 536990000, 1);  // across 2^29 and several segments
}

TEST(FarFactorSieve, AgreesWithTrialDivisionFarOut) {
    check_range(250000000000ULL, 250000100000ULL, 1);        // m of p near 10^12
    check_range(250000000000000ULL, 250000000070000ULL, 1);  // near 10^15
    check_range(250000000000000000ULL, 250000000000070000ULL, 1);  // near 10^18
    // Near 10^18, over more segments than one level of buckets serves, the
    // bucket primes wait in bins of groups of segments, dealt out as each
    // group begins: sampled across the groups.
    using sieve = erdos::far_factor_sieve;
    check_range(250000000000000000ULL, 250000000000000000ULL + (sieve::ring_limit + 70) * sieve::segment_width + 1234,
                4999);
    check_range((std::uint64_t{1} << 60) + (std::uint64_t{1} << 29) - 70000, (std::uint64_t{1} << 60) + (std::uint64_t{1} << 29), 1);
}

// The walks on several threads hand every sieve one list of sieving
// primes, read in two passes: the primes below the segment width (8191
// the last of them, with its powers), then the bucket primes.
TEST(FarFactorSieve, ListedPrimesFactorAsSievedOnes) {
    const erdos::sieving_primes listed = erdos::list_sieving_primes(750000, 2);
    check_range(250000000000ULL, 250000100000ULL, 1, &listed);
    check_range(8191ULL * 8191 * 8191 - 40000, 8191ULL * 8191 * 8191 + 40000, 1, &listed);
}

TEST(FarFactorSieve, SquaresAndPowersOfLargePrimes) {
    // q^2 and q^3 for primes just below the bound, and a product of two
    // primes near the bound, whose cofactor is not itself prime.
    const std::uint64_t q = 1000003;  // prime
    const std::uint64_t r = 999983;   // prime
    // High powers of small primes, struck power by power, and of 2, read
    // off the trailing zeros.
    const std::uint64_t three_38 = 1350851717672992089ULL;  // 3^38 < 2^61
    for (const std::uint64_t m : {q * q, q * q * q, q * r, 4 * q * q, q * r * 3, three_38, three_38 / 9 * 2,
                                  std::uint64_t{1} << 60, (std::uint64_t{1} << 40) * 3 * 3 * 3 * 7 * 7,
                                  std::uint64_t{8191} * 8191 * 8191 * 8191}) {
        // Inside its range, and as its last m, where a bucket prime's one
        // multiple in range lies at the very end.
        for (const std::uint64_t hi : {m + 5, m}) {
            erdos::far_factor_sieve s = erdos::start_far_factor_sieve(m - 5, hi);
            ASSERT_TRUE(erdos::sieve_next_far_segment(s));
            EXPECT_EQ(erdos::far_factor_list_of(s, m), trial(m)) << m;
            EXPECT_FALSE(erdos::sieve_next_far_segment(s));
        }
    }
}

}  // namespace
