// The untabled shift counts against a count over every divisor of m^2, for shifts and m that take each way through them.
#include "search/untabled_count.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "numtheory/factor_window.hpp"
#include "search/residue_factors.hpp"
#include "search/shift_residues.hpp"

namespace {

// The divisors d of m^2 with d = -m or 4d = -1 (mod c), each divisor formed.
std::int64_t witnesses_by_divisors(const erdos::factor_list& factors, std::int64_t m, std::int64_t c) {
    std::vector<std::int64_t> divisors{1};
    for (const auto& [prime, exponent] : factors) {
        const std::size_t block = divisors.size();
        std::int64_t power = 1;
        for (int e = 0; e < 2 * exponent; ++e) {
            power *= prime;
            for (std::size_t x = 0; x < block; ++x) divisors.push_back(divisors[x] * power);
        }
    }
    std::int64_t found = 0;
    for (const std::int64_t d : divisors) found += ((d + m) % c == 0 || (4 * d + 1) % c == 0) ? 1 : 0;
    return found;
}

// Shifts with byte tables but no logarithms (counted this way when m^2 has
// many divisors), and shifts above the tables up to the widest counted one,
// prime ones and ones with several small primes (which then divide many m
// and cannot go into the meet's second half).
const std::vector<std::int32_t> shifts{131, 255, 259, 1023, 1155, 2047, 4095, 15015, 32767, 65531, 65535};

void expect_counts_in_window(std::int64_t lo, std::int64_t count) {
    erdos::factor_window window = erdos::make_factor_window(lo + count);
    erdos::fill_factor_window(window, lo, count);
    const std::vector<erdos::shift_residues> residues = erdos::build_shift_residues(shifts, window.primes);
    erdos::untabled_lists lists;
    for (std::int64_t m = lo; m < lo + count; ++m) {
        const erdos::factor_list factors = erdos::window_factor_list(window, m);
        for (const erdos::shift_residues& shift : residues) {
            const std::int64_t expected = witnesses_by_divisors(factors, m, shift.c);
            const erdos::untabled_count untabled = erdos::count_untabled_witnesses(shift, window, m, lists);
            ASSERT_EQ(untabled.witnesses, expected) << "m = " << m << ", c = " << shift.c;
            const erdos::untabled_count any =
                erdos::count_any_shift_witnesses(static_cast<std::uint32_t>(shift.c), window, m, lists);
            ASSERT_EQ(any.witnesses, expected) << "m = " << m << ", c = " << shift.c;
            ASSERT_EQ(untabled.tau, any.tau);

            erdos::far_residue_factors f;
            for (const auto& [prime, exponent] : factors) {
                f.prime[f.count] = static_cast<std::uint64_t>(prime);
                f.exponent[f.count] = exponent;
                f.tau *= 2 * exponent + 1;
                ++f.count;
            }
            ASSERT_EQ(f.tau, untabled.tau) << "m = " << m;
            const auto m_residue = static_cast<std::uint32_t>(m % shift.c);
            ASSERT_EQ(erdos::count_shift_witnesses(static_cast<std::uint32_t>(shift.c), f, m_residue, lists),
                      expected)
                << "m = " << m << ", c = " << shift.c;
        }
    }
}

}  // namespace

// Small m: few divisors (compared one by one), the many-divisor m such as
// 2^4 3^2 5 7 (split for the meet), and m sharing primes with the shift.
TEST(UntabledCount, MatchesEveryDivisorForSmallM) { expect_counts_in_window(1, 3000); }

// Around 2^22, whose 45 divisors of its square are too many to compare in
// the fixed span and all powers of one prime, so that the meet has no
// second half; and m with a prime above the window's sieving bound.
TEST(UntabledCount, MatchesEveryDivisorAroundAPrimePower) { expect_counts_in_window(4194304 - 200, 400); }
