// The counts from the divisors below m against a count over every divisor of m^2, in both builds, and the exactness of the remainders at the widest quotients.
#include "search/below_count.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <vector>

#include "numtheory/divisors.hpp"
#include "numtheory/factor_window.hpp"
#include "search/count_kernel.hpp"
#include "search/untabled_sweep.hpp"

namespace {

// Both builds where the processor has AVX2, the baseline alone otherwise.
std::vector<bool> builds() {
    if (erdos::avx2_available()) return {false, true};
    return {false};
}

// Every m of the window that is a unit modulo each shift, all the shifts of
// one m counted in one call, against the divisors d of m^2 with d = -m or
// 4d = -1 (mod c), each formed.
void expect_counts_in_window(std::int64_t lo, std::int64_t count, const std::vector<std::uint32_t>& shifts) {
    erdos::factor_window window = erdos::make_factor_window(lo + count);
    erdos::fill_factor_window(window, lo, count);
    std::vector<double> below;
    std::vector<double> cs;
    std::vector<double> inverses;
    for (std::int64_t m = std::max<std::int64_t>(lo, 2); m < lo + count; ++m) {
        cs.clear();
        inverses.clear();
        for (const std::uint32_t c : shifts) {
            if (std::gcd(static_cast<std::int64_t>(c), m) != 1) continue;
            cs.push_back(c);
            inverses.push_back(erdos::reciprocal_above(c));
        }
        if (cs.empty()) continue;
        const std::size_t count_of_shifts = cs.size();
        while (cs.size() % erdos::below_count_lanes != 0) {
            cs.push_back(cs[0]);
            inverses.push_back(inverses[0]);
        }
        const std::size_t n = erdos::list_divisors_below(window, m, below);
        const erdos::divisor_list all = erdos::divisors_of_square(erdos::window_factor_list(window, m));
        ASSERT_EQ(2 * n + 1, all.size()) << "m = " << m;
        for (const bool avx2 : builds()) {
            std::vector<std::int64_t> witnesses(cs.size(), -1);
            erdos::count_by_divisors_below(below.data(), n, static_cast<std::uint32_t>(m), cs.data(), inverses.data(),
                                           cs.size(), witnesses.data(), avx2);
            for (std::size_t i = 0; i < count_of_shifts; ++i) {
                const auto c = static_cast<std::int64_t>(cs[i]);
                std::int64_t expected = 0;
                for (const std::int64_t d : all) expected += ((d + m) % c == 0 || (4 * d + 1) % c == 0) ? 1 : 0;
                ASSERT_EQ(witnesses[i], expected) << "m = " << m << ", c = " << c << ", AVX2 " << avx2;
            }
        }
    }
}

// Narrow shifts without logarithms, shifts with several small primes, and
// the widest counted ones; 3 and 7 where the two congruences' classes and
// -4m^2 often coincide.
const std::vector<std::uint32_t> shifts{3, 7, 131, 255, 259, 1023, 1155, 4095, 15015, 65531, 65535};

}  // namespace

TEST(BelowCount, MatchesEveryDivisorForSmallM) { expect_counts_in_window(1, 2500, shifts); }

// m near 2^30 (the widest the scan meets): divisors up to m, quotients by a
// narrow shift up to 2^28.
TEST(BelowCount, MatchesEveryDivisorNearTheWidestM) { expect_counts_in_window((1 << 30) - 300, 300, shifts); }

// The quotient is truncated from a product in double precision: each
// x = k c + r near 2^30 must leave r, next to the multiples of c (r = 1 and
// r = c - 1) and in the classes; a quotient one off would leave r + c or
// r - c, which no class equals. With m = 1 (mod c) the classes -m = c - 1
// (counted twice), -1/4 and -4m^2 = c - 4 are apart for these shifts, and
// m is none of them.
TEST(BelowCount, RemaindersAreExactAtTheWidestQuotients) {
    for (const std::uint32_t c : {259U, 4095U, 65531U, 65535U}) {
        const std::uint32_t m = ((1U << 30) - 1) / c * c + 1 - c;
        const std::uint64_t top = ((std::uint64_t{1} << 30) - 1) / c - 1;
        std::vector<double> below;
        for (std::uint64_t k = top - 40; k <= top; ++k) {
            for (const std::uint64_t r : {std::uint64_t{0}, std::uint64_t{c - 1}, std::uint64_t{c - (c + 1) / 4},
                                          std::uint64_t{c - 4}, std::uint64_t{1}}) {
                below.push_back(static_cast<double>(k * c + r));
            }
        }
        const double inverse = erdos::reciprocal_above(c);
        const double cs[4] = {static_cast<double>(c), static_cast<double>(c), static_cast<double>(c),
                              static_cast<double>(c)};
        const double inverses[4] = {inverse, inverse, inverse, inverse};
        for (const bool avx2 : builds()) {
            std::int64_t witnesses[4] = {};
            erdos::count_by_divisors_below(below.data(), below.size(), m, cs, inverses, 4, witnesses, avx2);
            for (const std::int64_t w : witnesses) EXPECT_EQ(w, 41 * (2 + 1 + 1)) << "c = " << c << ", AVX2 " << avx2;
        }
    }
}
