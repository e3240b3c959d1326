// The first-witness walk of a tabled shift, stepping the last factor along
// its multiplication row, against the plain odometer walk in residues.
#include "search/far_pair_walk.hpp"

#include <gtest/gtest.h>

#include <random>

#include "search/scan_plan.hpp"
#include "support/int128_text.hpp"

namespace {

TEST(FarPairWalk, TabledFirstWitnessAgreesWithTheOdometer) {
    // Every tabled shift, random factor sets of up to 12 primes (some sharing
    // a factor with c, so residue 0) with exponents up to 5, m^2 with at most
    // 50000 divisors (a set without a witness is walked to its end), and the
    // two target classes drawn at random, witnesses or not.
    const erdos::scan_plan plan = erdos::make_scan_plan(255, {});
    const std::uint64_t primes[] = {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41, 43, 47, 53, 8191, 1000003};
    std::mt19937_64 random(42);
    int witnesses = 0;
    int walked = 0;
    for (const erdos::shift_residues& s : plan.residues) {
        const auto c = static_cast<std::uint32_t>(s.c);
        for (int trial = 0; trial < 2000; ++trial) {
            erdos::far_residue_factors f;
            f.count = static_cast<int>(random() % 13);
            std::uint64_t previous = 0;
            int taken = 0;
            for (const std::uint64_t q : primes) {  // ascending, as the divisor order wants
                if (taken == f.count) break;
                if (random() % 3 == 0 || q <= previous) continue;
                f.prime[taken] = q;
                f.exponent[taken] = static_cast<std::int32_t>(random() % 5 + 1);
                f.residue[taken] = static_cast<std::uint32_t>(q % c);
                previous = q;
                ++taken;
            }
            f.count = taken;
            std::int64_t tau = 1;
            for (int i = 0; i < taken; ++i) tau *= 2 * f.exponent[i] + 1;
            if (tau > 50000) continue;
            const auto t1 = static_cast<std::uint32_t>(random() % c);
            const auto t2 = static_cast<std::uint32_t>(random() % c);
            const erdos::walk_result plain = erdos::walk_divisors(erdos::tabled_ring{s}, f, 1 % c, t1, t2, false);
            const erdos::walk_result tabled = erdos::first_witness_tabled(s, f, t1, t2);
            ASSERT_EQ(tabled.count, plain.count) << "c " << c << ", trial " << trial;
            ASSERT_EQ(tabled.first_d, plain.first_d) << "c " << c << ": " << erdos_test::decimal(tabled.first_d)
                                                     << " / " << erdos_test::decimal(plain.first_d);
            ASSERT_EQ(tabled.branch, plain.branch) << "c " << c << ", trial " << trial;
            witnesses += plain.count > 0 ? 1 : 0;
            ++walked;
        }
    }
    EXPECT_GT(witnesses, 1000);  // both outcomes well represented
    EXPECT_LT(witnesses, 64 * 2000 - 1000);
    EXPECT_GT(walked, 64 * 2000 / 3);
}

}  // namespace
