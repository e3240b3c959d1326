#include "search/verify_witness.hpp"

#include <gmp.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "numtheory/divisors.hpp"
#include "support/trial_factor.hpp"

using erdos::int128;
using erdos::verify_first_witness;

namespace {

// An integer for GMP, from any 128-bit value.
struct big {
    mpz_t z;
    explicit big(int128 v = 0) {
        const auto magnitude = static_cast<erdos::uint128>(v < 0 ? -v : v);
        mpz_init_set_ui(z, static_cast<unsigned long>(magnitude >> 64));
        mpz_mul_2exp(z, z, 64);
        mpz_add_ui(z, z, static_cast<unsigned long>(magnitude & ~std::uint64_t{0}));
        if (v < 0) mpz_neg(z, z);
    }
    big(const big&) = delete;
    big& operator=(const big&) = delete;
    ~big() { mpz_clear(z); }
};

// The checks of the nine steps, in order, done plainly in signed arbitrary
// precision with divisions truncating toward zero. Unlike the verifier it
// goes on past a failed check (with the truncated quotients) and lists every
// check that fails, so that a test can show that an input fails one check
// only. The range limits of the verifier come first.
std::string failed_checks(int128 p, int128 c, int128 m, int128 d, std::int32_t branch) {
    std::string failed;
    const auto note = [&failed](bool fails, const char* name) {
        if (fails) failed += failed.empty() ? name : std::string(" ") + name;
    };
    note(d < 1, "d<1");
    note(c < 1, "c<1");
    note(p < 1, "p<1");
    note(p > (int128{1} << 62), "p>2^62");
    note(m < 1, "m<1");
    note(m > (int128{1} << 61), "m>2^61");
    note(d >= (int128{1} << 122), "d>=2^122");
    note(branch < 1 || branch > 3, "branch");

    big bp(p), bc(c), bm(m), n(0), big_d(d), e(0), rem(0), x(0), y(0), left(0), right(0), t(0);
    mpz_mul(n.z, bm.z, bp.z);
    mpz_mul(big_d.z, big_d.z, bp.z);
    if (branch == 2) mpz_mul(big_d.z, big_d.z, bp.z);
    if (mpz_sgn(big_d.z) == 0) {
        note(true, "N^2%D");
    } else {
        mpz_mul(t.z, n.z, n.z);
        mpz_tdiv_qr(e.z, rem.z, t.z, big_d.z);
        note(mpz_sgn(rem.z) != 0, "N^2%D");
    }
    if (mpz_sgn(bc.z) == 0) {
        note(true, "(N+D)%c");
        note(true, "(N+E)%c");
    } else {
        mpz_add(t.z, n.z, big_d.z);
        mpz_tdiv_qr(x.z, rem.z, t.z, bc.z);
        note(mpz_sgn(rem.z) != 0, "(N+D)%c");
        mpz_add(t.z, n.z, e.z);
        mpz_tdiv_qr(y.z, rem.z, t.z, bc.z);
        note(mpz_sgn(rem.z) != 0, "(N+E)%c");
    }
    note(m <= 0, "m<=0");
    note(mpz_sgn(x.z) <= 0, "x<=0");
    note(mpz_sgn(y.z) <= 0, "y<=0");
    mpz_mul(left.z, x.z, y.z);  // 4*m*x*y == p*(x*y + m*x + m*y)
    mpz_add(t.z, x.z, y.z);
    mpz_mul(t.z, t.z, bm.z);
    mpz_add(t.z, t.z, left.z);
    mpz_mul(right.z, t.z, bp.z);
    mpz_mul(left.z, left.z, bm.z);
    mpz_mul_ui(left.z, left.z, 4);
    note(mpz_cmp(left.z, right.z) != 0, "identity");
    return failed;
}

struct witness {
    std::int64_t p;
    std::int32_t c;
    int128 d;
    std::int32_t branch;
    std::int64_t m() const { return (p + c) / 4; }
};

int128 parse(const char* digits) {
    int128 v = 0;
    while (*digits != '\0') v = 10 * v + (*digits++ - '0');
    return v;
}

}  // namespace

TEST(VerifyFirstWitness, WorkedCases) {
    // 4/73 = 1/20 + 1/219 + 1/4380, and with d = 5: 4/73 = 1/20 + 1/4015 + 1/220.
    EXPECT_TRUE(verify_first_witness(73, 7, 20, 1, 1));
    EXPECT_TRUE(verify_first_witness(73, 7, 20, 5, 2));
    // The wrong branch for the divisor leaves a remainder: 6789 mod 7 = 6, 1825 mod 7 = 5.
    EXPECT_FALSE(verify_first_witness(73, 7, 20, 1, 2));
    EXPECT_FALSE(verify_first_witness(73, 7, 20, 5, 1));
    EXPECT_TRUE(verify_first_witness(97, 3, 25, 5, 3));
}

TEST(VerifyFirstWitness, ImpossibleInputsFailWithoutOverflow) {
    constexpr std::int64_t two_62 = std::int64_t{1} << 62;
    EXPECT_FALSE(verify_first_witness(73, 7, 20, -1, 1));
    EXPECT_FALSE(verify_first_witness(73, 7, 20, 0, 1));
    EXPECT_FALSE(verify_first_witness(73, 0, 20, 1, 1));
    EXPECT_FALSE(verify_first_witness(0, 7, 20, 1, 1));
    EXPECT_FALSE(verify_first_witness(INT64_MIN, 7, 20, 1, 1));
    EXPECT_FALSE(verify_first_witness(73, 7, 20, 1, 0));
    EXPECT_FALSE(verify_first_witness(73, 7, -20, 1, 1));
    EXPECT_FALSE(verify_first_witness(73, 7, INT64_MAX, 1, 1));
    EXPECT_FALSE(verify_first_witness(73, 7, 20, INT64_MAX, 2));
    EXPECT_FALSE(verify_first_witness(INT64_MAX, INT32_MAX, INT64_MAX, ~(int128{1} << 127), 2));
    // At the limits themselves every value still fits.
    const int128 d_top = (int128{1} << 122) - 1;
    EXPECT_FALSE(verify_first_witness(two_62, INT32_MAX, std::int64_t{1} << 61, d_top, 2));
    EXPECT_FALSE(verify_first_witness(two_62, 1, std::int64_t{1} << 61, 1, 2));
    // Inputs past a limit are refused whatever else they carry.
    EXPECT_FALSE(verify_first_witness(two_62, INT32_MAX, INT64_MAX, d_top, 2));
    EXPECT_FALSE(verify_first_witness(INT64_MAX, 1, std::int64_t{1} << 61, d_top, 2));
}

// Every witness of a shift verifies under its branch, not only the first one,
// for shifts prime to p and for shifts that p divides.
TEST(VerifyFirstWitness, EveryWitnessOfAShiftVerifies) {
    struct pc {
        std::int64_t p, c;
    };
    const pc pairs[] = {{73, 7}, {73, 219}, {73, 511}, {97, 679}, {433, 7}, {2147483497, 127}, {2147483497, 3}};
    int witnesses = 0;
    for (const auto [p, c] : pairs) {
        const std::int64_t m = (p + c) / 4;
        for (const std::int64_t d : erdos::divisors_of_square(erdos_test::trial_factor(m))) {
            const std::int32_t branch = ((m + d) % c == 0 ? 1 : 0) + ((4 * d + 1) % c == 0 ? 2 : 0);
            if (branch == 0) continue;
            ++witnesses;
            EXPECT_TRUE(verify_first_witness(p, static_cast<std::int32_t>(c), m, d, branch)) << p << ' ' << c << ' ' << d;
        }
    }
    EXPECT_GT(witnesses, 20);
}

// Witnesses of primes p = 1 (mod 24) from 2^31 to just below 2^62, each branch,
// and divisors near 2^100 for which x*y exceeds 256 bits; a neighbouring
// divisor or the other kind of branch fails.
TEST(VerifyFirstWitness, LargeWitnessesVerify) {
    const witness cases[] = {
        {2147400001, 3, 18512069, 3},
        {2147383681, 11, 123, 1},
        {2147383681, 11, 41, 2},
        {2147383681, 3, 23, 3},
        // Between 2^31 and 2^33, where p^2 and N^2 no longer fit 64 and 128 bits.
        {3500000353, 3, 31601, 3},
        {8589930073, 7, 5, 2},
        {8589932041, 7, 529981, 1},
        {1000000000177, 7, 1, 1},
        {1000000000177, 7, 9938, 2},
        {1000000000177, 3, 5, 3},
        {1000000000000000009, 7, 1, 1},
        {1000000000000000009, 7, 209866055089, 2},
        {1000000000000000177, 3, 5, 3},
        {4611686018417388193, 7, 1, 1},
        {4611686018417388193, 7, 5, 2},
        {4611686018417388193, 3, 11, 3},
        {4611686018427287977, 3, 230584300921364399, 3},
        {4611686017427387929, 11, parse("751114184925737856620831876307"), 2},
        {4611686017427387929, 11, parse("529979364735287079300049101683"), 1},
    };
    for (const witness& w : cases) {
        EXPECT_EQ(failed_checks(w.p, w.c, w.m(), w.d, w.branch), "") << w.p << ' ' << static_cast<double>(w.d);
        EXPECT_TRUE(verify_first_witness(w.p, w.c, w.m(), w.d, w.branch)) << w.p << ' ' << static_cast<double>(w.d);
        EXPECT_FALSE(verify_first_witness(w.p, w.c, w.m(), w.d + 1, w.branch)) << w.p;
        if (w.branch != 3) {
            EXPECT_FALSE(verify_first_witness(w.p, w.c, w.m(), w.d, 3 - w.branch)) << w.p;
        }
    }
}

// For each check of the verifier an input that fails that check alone (as the
// plain reference shows), so that none can be dropped unnoticed. Only these
// checks reject anything: x and y are positive whenever m >= 1 and both
// divisions by c are exact, and a cofactor E truncated by an inexact N^2 / D
// cannot meet the exact identity together with them.
TEST(VerifyFirstWitness, EachCheckHasAnInputOnlyItRejects) {
    struct only {
        std::int64_t p;
        std::int32_t c;
        std::int64_t m;
        int128 d;
        std::int32_t branch;
        const char* check;
    };
    constexpr std::int64_t two_61 = std::int64_t{1} << 61;
    // d = p*m^2 with E = 1 solves the equation for c = 5 (4*m^2 = -1 mod 5),
    // but lies beyond any divisor of m^2.
    constexpr std::int64_t m_big_d = (std::int64_t{1} << 40) + 5;
    constexpr std::int64_t p_big_d = 4 * m_big_d - 5;
    const only cases[] = {
        // 4/73 = 1/1 + 1/0 + 1/0 in the form of the identity: D = -73 = E.
        // (A negative d never gives positive x and y; the verifier needs no
        // test of their signs beyond its range limits.)
        {73, 7, 1, -1, 1, "d<1 x<=0 y<=0"},
        // 4/13 = 1/3 - 1/52 - 1/156.
        {13, -1, 3, 1, 1, "c<1 x<=0 y<=0"},
        // A genuine witness of the prime 2^62 + 177.
        {4611686018427388081, 7, 1152921504606847022, 2, 1, "p>2^62"},
        // N = 0, x = 73, y = 0.
        {73, 7, 0, 7, 1, "m<1 m<=0 y<=0"},
        {p_big_d, 5, m_big_d, int128{p_big_d} * m_big_d * m_big_d, 1, "d>=2^122"},
        // Taken as branch 1 without the branch check.
        {73, 7, 20, 1, 4, "branch"},
        // 4/3 = 1/12 + 1/1 + 1/4 with x = 48/36 and y = 144/36 truncated.
        {3, 36, 12, 4, 1, "(N+D)%c"},
        {3, 36, 12, 36, 1, "(N+E)%c"},
        // 1/20 + 3/1460 is not 4/73: m is not (p + c)/4.
        {73, 3, 20, 1, 1, "identity"},
        // Both sides of the identity agree modulo 2^128 (their difference is
        // x*y*(4m - p - c) = 2^60 p * 2^61 p * 2^62) but not exactly.
        {(std::int64_t{1} << 62) - 3, 3, two_61, int128{1} << 60, 1, "identity"},
    };
    for (const only& o : cases) {
        EXPECT_EQ(failed_checks(o.p, o.c, o.m, o.d, o.branch), o.check) << o.p << ' ' << o.c << ' ' << o.m;
        EXPECT_FALSE(verify_first_witness(o.p, o.c, o.m, o.d, o.branch)) << o.check;
    }
}

// Random witnesses over the whole accepted range, with d from 1 to m^2, and
// perturbations of them (d +- 1, another branch, m +- 1): the verifier agrees
// with the plain reference, and accepts every witness for which the nine steps
// must succeed (d prime to c, or the second congruence).
TEST(VerifyFirstWitness, AgreesWithThePlainStepsOnRandomInputs) {
    std::mt19937_64 random(20240611);
    const auto draw = [&random](std::int64_t low, std::int64_t high) {
        return std::uniform_int_distribution<std::int64_t>(low, high)(random);
    };
    int accepted = 0;
    int beyond_31_bits = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        const auto c = static_cast<std::int32_t>(4 * (trial % 2 == 0 ? draw(0, 31) : draw(0, 536870910)) + 3);
        // m = K*q with K a product of small prime powers (whose divisors are
        // known) and q of any size: the divisors k*q^i of m^2, k | K^2, i <= 2.
        std::vector<std::int64_t> k_divisors = {1};
        std::int64_t k = 1;
        for (const std::int64_t prime : {2, 3, 5, 7, 11, 13}) {
            for (std::int64_t e = draw(0, 3); e > 0 && k <= (std::int64_t{1} << 40); --e) {
                k *= prime;
                const std::size_t n = k_divisors.size();
                for (std::size_t i = 0; i < n; ++i) {
                    k_divisors.push_back(k_divisors[i] * prime);  // rough: duplicates are harmless
                }
            }
        }
        const std::int64_t m_top = ((std::int64_t{1} << 62) + c) / 4;
        const std::int64_t m_low = (c + 1 + 3) / 4;
        const std::int64_t bits = draw(1, 61);
        const std::int64_t q_top = std::max<std::int64_t>(1, std::min(m_top, std::int64_t{1} << bits) / k);
        const std::int64_t q = draw(1, q_top);
        const std::int64_t m = std::max(k * q, m_low);
        const std::int64_t p = 4 * m - c;
        if (m > m_top || p < 1) continue;
        int tried = 0;
        for (const std::int64_t kd : k_divisors) {
            for (int i = 0; i <= 2; ++i) {
                int128 d = kd;
                for (int j = 0; j < i; ++j) d *= q;
                if (m % kd != 0 && (int128{m} * m) % d != 0) continue;
                const int128 cc = c;
                const std::int32_t branch = ((m + d) % cc == 0 ? 1 : 0) + ((4 * d + 1) % cc == 0 ? 2 : 0);
                if (branch == 0 || ++tried > 4) continue;
                const bool must = (branch & 2) != 0 || std::gcd(static_cast<std::int64_t>(d % cc), std::int64_t{c}) == 1;
                const bool got = verify_first_witness(p, c, m, d, branch);
                EXPECT_EQ(got, failed_checks(p, c, m, d, branch).empty()) << p << ' ' << c << ' ' << static_cast<double>(d);
                if (must) {
                    EXPECT_TRUE(got) << p << ' ' << c << ' ' << static_cast<double>(d);
                }
                accepted += got ? 1 : 0;
                beyond_31_bits += got && m >= (std::int64_t{1} << 31) ? 1 : 0;
                struct variant {
                    std::int64_t m;
                    int128 d;
                    std::int32_t branch;
                };
                const variant variants[] = {{m, d + 1, branch},     {m, d - 1, branch},     {m, d, 1 + branch % 3},
                                            {m, d, 1 + (branch + 1) % 3}, {m + 1, d, branch}, {m - 1, d, branch}};
                for (const variant& v : variants) {
                    EXPECT_EQ(verify_first_witness(p, c, v.m, v.d, v.branch),
                              failed_checks(p, c, v.m, v.d, v.branch).empty())
                        << p << ' ' << c << ' ' << v.m << ' ' << static_cast<double>(v.d) << ' ' << v.branch;
                }
            }
        }
    }
    EXPECT_GT(accepted, 1000);
    EXPECT_GT(beyond_31_bits, 500);
}

// Small inputs of every kind, p prime or not: each divisor d of p*m^2 (and
// its neighbour d + 1) under each branch, where the verifier must agree with
// the plain reference; among them witnesses whose d shares a factor with p
// and does not divide m^2, which the verifier reaches by cancelling that factor.
TEST(VerifyFirstWitness, AgreesWithThePlainStepsWhenDSharesAFactorWithP) {
    int shared_accepted = 0;
    for (std::int64_t p = 1; p <= 150; ++p) {
        for (std::int32_t c = 1; c <= 60; ++c) {
            if ((p + c) % 4 != 0) continue;
            const std::int64_t m = (p + c) / 4;
            const std::int64_t top = p * m * m;
            for (std::int64_t k = 1; k <= top; ++k) {
                if (top % k != 0) continue;
                for (const std::int64_t d : {k, k + 1}) {
                    for (std::int32_t branch = 1; branch <= 3; ++branch) {
                        const bool got = verify_first_witness(p, c, m, d, branch);
                        ASSERT_EQ(got, failed_checks(p, c, m, d, branch).empty()) << p << ' ' << c << ' ' << d << ' ' << branch;
                        shared_accepted += got && std::gcd(d, p) > 1 && (m * m) % d != 0 ? 1 : 0;
                    }
                }
            }
        }
    }
    EXPECT_GT(shared_accepted, 10);
}
