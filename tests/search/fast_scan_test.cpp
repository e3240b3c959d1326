// The fast scan against the plain one: every field of every prime_scan, the
// masses as bit patterns, over whole ranges of examined primes.
#include "search/fast_scan.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <tuple>

#include "numtheory/examined_primes.hpp"
#include "numtheory/spf_table.hpp"
#include "search/scan_prime.hpp"
#include "search/shift_list.hpp"
#include "support/int128_text.hpp"
#include "support/same_scan.hpp"
#include "support/trial_factor.hpp"

namespace {

using erdos_test::same_scan;

// table_slots: the size the pattern table starts from (it doubles as it fills);
// list_max: the widest shift the plan lists, the others taken window by
// window over m.
void expect_same_scans(std::int32_t p_min, std::int32_t p_max, std::int32_t c_max, std::size_t table_slots = 1024,
                       std::int32_t list_max = 65535) {
    const std::vector<std::int32_t> spf = erdos::build_spf_table(p_max, c_max);
    const erdos::shift_table shifts = erdos::build_shift_list(c_max);
    const std::int64_t last_m = (static_cast<std::int64_t>(p_max) + c_max) / 4;
    erdos::factor_window window = erdos::make_factor_window(last_m + 2);
    const erdos::scan_plan plan = erdos::make_scan_plan(c_max, window.primes, list_max);
    erdos::scan_scratch scratch;
    scratch.patterns.slots.assign(table_slots, erdos::bucket_slot{});
    std::vector<std::int32_t> primes;
    for (const std::int32_t p : erdos::sieve_examined_primes(p_max)) {
        if (p >= p_min) primes.push_back(p);
    }
    // In chunks of 2048 primes, counting with the baseline vectors in every
    // other chunk (the AVX2 ones where the processor has them), and a few
    // primes alone.
    const bool avx2_here = scratch.avx2;
    std::vector<erdos::prime_scan> fast(primes.size());
    for (std::size_t first = 0; first < primes.size(); first += 2048) {
        const std::size_t n = std::min<std::size_t>(2048, primes.size() - first);
        scratch.avx2 = avx2_here && (first / 2048) % 2 == 0;
        erdos::scan_primes_fast(primes.data() + first, n, plan, window, scratch, fast.data() + first);
    }
    scratch.avx2 = avx2_here;
    for (std::size_t j = 0; j < primes.size(); j += 997) {
        const erdos::prime_scan alone = erdos::scan_prime_fast(primes[j], plan, window, scratch);
        ASSERT_TRUE(same_scan(alone, fast[j]));
    }

    int compared = 0;
    for (std::size_t j = 0; j < primes.size(); ++j) {
        const std::int32_t p = primes[j];
        const erdos::prime_scan a =
            erdos::scan_prime(p, shifts.shift_list, shifts.shift_list.size(), shifts.weight_total, spf);
        ASSERT_TRUE(same_scan(a, fast[j])) << "c_max " << c_max;
        ++compared;
    }
    EXPECT_GT(compared, 0);
}

}  // namespace

TEST(FastScan, AgreesWithThePlainScanAtTheDefaultShifts) { expect_same_scans(0, 3000000, 127); }

TEST(FastScan, AgreesForOtherShiftBounds) {
    // Few shifts, a shift beyond the tables, shifts that are multiples of
    // small primes (73 * 3 = 219, 97 * 7 = 679, ...), and no shift at all.
    expect_same_scans(0, 300000, 3);
    expect_same_scans(0, 300000, 7);
    expect_same_scans(0, 300000, 131);
    expect_same_scans(0, 200000, 255);
    expect_same_scans(0, 40000, 1023);
    expect_same_scans(0, 20000, 2);
    // Shift bounds users choose to watch the masses grow, and one past the
    // widest the windowed walk takes: the primes below 4095 and 65537 have
    // shifts that are their multiples.
    expect_same_scans(0, 60000, 4095);
    expect_same_scans(1000000, 1040000, 4095);
    // Past the widest listed shift, and every shift from 131 on taken by
    // windows over m: the least shifts of some primes, shifts above p with
    // their single candidate (and the multiples of p, which have more),
    // shifts below p counted by residues modulo large c.
    expect_same_scans(0, 6000, 65537);
    expect_same_scans(0, 3000, 300007);
    expect_same_scans(0, 200000, 1023, 1024, 127);
    expect_same_scans(0, 20000, 20003, 1024, 127);
    // A pattern table that starts with two places and grows many times.
    expect_same_scans(0, 300000, 127, 2);
}

namespace {

// What the plain scan finds for p, its steps run on trial division: near
// the top of the 32-bit range (m up to 2^29, up to nine distinct primes) a
// factor table is out of reach.
erdos::prime_scan scan_by_trial_division(std::int32_t p, const erdos::shift_table& shifts) {
    erdos::prime_scan a;
    a.p = p;
    long double uniform_sum = 0.0L;
    long double weighted_sum = 0.0L;
    for (const std::int32_t c : shifts.shift_list) {
        const std::int64_t m = (static_cast<std::int64_t>(p) + c) / 4;
        const erdos::divisor_list divisors = erdos::divisors_of_square(erdos_test::trial_factor(m));
        const erdos::shift_witnesses found = erdos::find_shift_witnesses(m, c, divisors);
        erdos::add_witness_share(uniform_sum, weighted_sum, found.count, static_cast<std::int64_t>(divisors.size()),
                                 erdos::shift_weight(c));
        if (found.count > 0 && a.successful_shifts++ == 0) {
            a.least_c = c;
            a.first_d = found.first_d;
            a.branch = found.branch;
        }
    }
    erdos::finish_masses(a, uniform_sum, weighted_sum, shifts.shift_list.size(), shifts.weight_total);
    a.first_m = a.least_c < 0 ? 0 : (static_cast<std::int64_t>(p) + a.least_c) / 4;
    a.has_witness = a.successful_shifts > 0;
    return a;
}

bool is_examined_prime(std::int32_t p) {
    const erdos::factor_list f = erdos_test::trial_factor(p);
    return p % 24 == 1 && f.size() == 1 && f[0].exponent == 1;
}

}  // namespace

TEST(FastScan, AgreesNearTheLargestBound) {
    // 1023: the pairs of the shifts without logarithms counted m by m, with
    // m up to 2^29 and its divisors up to m.
    for (const auto& [c_max, stretch, least] : {std::tuple{127, 60000, 100}, std::tuple{1023, 8000, 10}}) {
        const std::int32_t p_max = 2147483520;
        const std::int32_t p_min = p_max - stretch;
        const erdos::shift_table shifts = erdos::build_shift_list(c_max);
        const std::int64_t last_m = (static_cast<std::int64_t>(p_max) + c_max) / 4;
        erdos::factor_window window = erdos::make_factor_window(last_m + 2);
        const erdos::scan_plan plan = erdos::make_scan_plan(c_max, window.primes);
        erdos::scan_scratch scratch;
        std::vector<std::int32_t> primes;
        for (std::int32_t p = p_min + (25 - p_min % 24) % 24; p <= p_max; p += 24) {
            if (is_examined_prime(p)) primes.push_back(p);
        }
        ASSERT_GT(static_cast<int>(primes.size()), least);
        std::vector<erdos::prime_scan> fast(primes.size());
        erdos::scan_primes_fast(primes.data(), primes.size(), plan, window, scratch, fast.data());
        for (std::size_t j = 0; j < primes.size(); ++j) {
            ASSERT_TRUE(same_scan(scan_by_trial_division(primes[j], shifts), fast[j])) << primes[j] << ' ' << c_max;
        }
    }
}

// Primes with an m among those with the most divisors of m^2 a run meets
// (above 2^15, where the 16-bit counts are tightest): m = (p + c)/4 with
// c = 47, 47, 71 and 167 has tau(m^2) = 32805, 32805, 32805 and 35721.
TEST(FastScan, AgreesWhereMSquaredHasTheMostDivisors) {
    // 4095: the shifts above 255 meet in the middle over the most divisors.
    for (const std::int32_t c_max : {255, 4095}) {
        const erdos::shift_table shifts = erdos::build_shift_list(c_max);
        erdos::factor_window window = erdos::make_factor_window((2147483520LL + c_max) / 4 + 2);
        const erdos::scan_plan plan = erdos::make_scan_plan(c_max, window.primes);
        erdos::scan_scratch scratch;
        for (const std::int32_t p : {2095132993, 1784742913, 931170169, 1396755193}) {
            ASSERT_TRUE(is_examined_prime(p)) << p;
            ASSERT_TRUE(
                same_scan(scan_by_trial_division(p, shifts), erdos::scan_prime_fast(p, plan, window, scratch)))
                << p << ' ' << c_max;
        }
    }
}
