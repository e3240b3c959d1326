// The scan against a brute force written as plainly as possible: for every
// examined prime up to 20000 and every shift up to 255, the divisors of m^2 are
// found by trying every d up to m, ordered by their exponent vectors, and
// searched for witnesses one by one.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "numtheory/factor_window.hpp"
#include "numtheory/prime_sieve.hpp"
#include "numtheory/spf_table.hpp"
#include "search/fast_scan.hpp"
#include "search/scan_prime.hpp"
#include "search/shift_list.hpp"

namespace {

__extension__ typedef __int128 int128;

struct shift_outcome {
    std::int64_t witnesses = 0;
    std::int64_t divisors = 0;
    std::int64_t first_d = -1;
    std::int32_t branch = 0;
};

// Every divisor of m^2 in the order of the enumeration: counting with the
// exponent vector over the primes of m, the smallest prime the most
// significant digit.
std::vector<std::int64_t> ordered_divisors_of_square(std::int64_t m) {
    const std::int64_t square = m * m;
    std::vector<std::int64_t> divisors;
    for (std::int64_t d = 1; d <= m; ++d) {
        if (square % d != 0) continue;
        divisors.push_back(d);
        if (d != m) divisors.push_back(square / d);
    }
    std::vector<std::int64_t> primes;
    std::int64_t rest = m;
    for (std::int64_t q = 2; q <= rest; ++q) {
        if (rest % q != 0) continue;
        primes.push_back(q);
        while (rest % q == 0) rest /= q;
    }
    std::vector<std::pair<std::vector<int>, std::int64_t>> keyed;
    for (const std::int64_t d : divisors) {
        std::vector<int> exponents;
        std::int64_t rest_d = d;
        for (const std::int64_t q : primes) {
            int k = 0;
            for (; rest_d % q == 0; rest_d /= q) ++k;
            exponents.push_back(k);
        }
        keyed.emplace_back(exponents, d);
    }
    std::sort(keyed.begin(), keyed.end());
    divisors.clear();
    for (const auto& [exponents, d] : keyed) divisors.push_back(d);
    return divisors;
}

shift_outcome brute_force_shift(std::int64_t m, std::int64_t c) {
    shift_outcome out;
    for (const std::int64_t d : ordered_divisors_of_square(m)) {
        ++out.divisors;
        const bool first = (m + d) % c == 0;
        const bool second = (4 * d + 1) % c == 0;
        if (!first && !second) continue;
        if (out.witnesses++ == 0) {
            out.first_d = d;
            out.branch = (first ? 1 : 0) + (second ? 2 : 0);
        }
    }
    return out;
}

// The solution the witness d yields, checked in exact integers:
// 4/p = 1/m + 1/x + 1/y multiplied out as 4xym = p(xy + mx + my).
void expect_exact_solution(std::int64_t p, std::int64_t c, std::int64_t m, std::int64_t d, std::int32_t branch) {
    const int128 n = int128{m} * p;
    const int128 big_d = branch == 2 ? int128{p} * p * d : int128{d} * p;
    ASSERT_EQ(n * n % big_d, 0) << p << ' ' << c;
    const int128 e = n * n / big_d;
    ASSERT_EQ((n + big_d) % c, 0) << p << ' ' << c;
    ASSERT_EQ((n + e) % c, 0) << p << ' ' << c;
    const int128 x = (n + big_d) / c;
    const int128 y = (n + e) / c;
    ASSERT_TRUE(x > 0 && y > 0) << p << ' ' << c;
    ASSERT_TRUE(4 * x * y * m == p * (x * y + m * x + m * y)) << p << ' ' << c;
}

}  // namespace

TEST(ScanBruteForce, EveryPrimeAndShiftAgreesWithTrialDivision) {
    const std::int32_t p_max = 20000;
    const std::int32_t c_max = 255;
    const std::vector<std::int32_t> spf = erdos::build_spf_table(p_max, c_max);
    const erdos::shift_table all_shifts = erdos::build_shift_list(c_max);
    erdos::factor_window window = erdos::make_factor_window((p_max + c_max) / 4 + 2);
    const erdos::scan_plan plans[] = {erdos::make_scan_plan(127, window.primes), erdos::make_scan_plan(255, window.primes)};
    erdos::scan_scratch scratch;
    int examined = 0;

    for (const std::int32_t p : erdos::sieve_primes(p_max)) {
        if (p % 24 != 1) continue;
        ++examined;
        std::vector<shift_outcome> outcomes;
        for (const std::int32_t c : all_shifts.shift_list) {
            const std::int64_t m = (p + c) / 4;
            const shift_outcome want = brute_force_shift(m, c);
            outcomes.push_back(want);

            // The scan over this one shift: presence, first witness, branch and share.
            const std::int32_t w = erdos::shift_weight(c);
            const erdos::prime_scan got = erdos::scan_prime(p, {c}, 1, w, spf);
            ASSERT_EQ(got.has_witness, want.witnesses > 0) << p << ' ' << c;
            ASSERT_EQ(got.first_d, want.first_d) << p << ' ' << c;
            ASSERT_EQ(got.branch, want.branch) << p << ' ' << c;
            const long double share = static_cast<long double>(want.witnesses) / want.divisors;
            ASSERT_EQ(got.uniform_mass, static_cast<double>(share)) << p << ' ' << c;
            ASSERT_EQ(got.weighted_mass, static_cast<double>(share * w / w)) << p << ' ' << c;
            if (want.witnesses > 0) expect_exact_solution(p, c, m, want.first_d, want.branch);
        }

        // The whole shift list, for both bounds: least shift, its witness and
        // the masses, from the plain scan and from the fast one.
        for (const std::int32_t bound : {127, 255}) {
            const erdos::shift_table shifts = erdos::build_shift_list(bound);
            const erdos::prime_scan plain =
                erdos::scan_prime(p, shifts.shift_list, shifts.shift_list.size(), shifts.weight_total, spf);
            const erdos::prime_scan fast = erdos::scan_prime_fast(p, plans[bound == 127 ? 0 : 1], window, scratch);
            erdos::prime_scan want;
            long double uniform_sum = 0.0L;
            long double weighted_sum = 0.0L;
            for (std::size_t i = 0; i < shifts.shift_list.size(); ++i) {
                const std::int32_t c = shifts.shift_list[i];
                const shift_outcome& o = outcomes[i];
                const long double share = static_cast<long double>(o.witnesses) / o.divisors;
                uniform_sum += share;
                weighted_sum += share * erdos::shift_weight(c);
                if (o.witnesses == 0) continue;
                ++want.successful_shifts;
                if (want.least_c != -1) continue;
                want.least_c = c;
                want.first_d = o.first_d;
                want.branch = o.branch;
                want.first_m = (p + c) / 4;
            }
            for (const erdos::prime_scan& got : {plain, fast}) {
                ASSERT_EQ(got.least_c, want.least_c) << p << ' ' << bound;
                ASSERT_EQ(got.first_d, want.first_d) << p << ' ' << bound;
                ASSERT_EQ(got.branch, want.branch) << p << ' ' << bound;
                ASSERT_EQ(got.first_m, want.first_m) << p << ' ' << bound;
                ASSERT_EQ(got.successful_shifts, want.successful_shifts) << p << ' ' << bound;
                ASSERT_EQ(got.uniform_mass, static_cast<double>(uniform_sum / shifts.shift_list.size())) << p;
                ASSERT_EQ(got.weighted_mass, static_cast<double>(weighted_sum / shifts.weight_total)) << p;
            }
        }
    }
    EXPECT_EQ(examined, 267);
}
