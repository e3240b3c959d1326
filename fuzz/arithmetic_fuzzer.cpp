// The arithmetic core on arbitrary m <= 536870911 and shifts c = 3 (mod 4) with
// p = 4m - c >= 1, the whole range a run can reach:
// - the divisors of m^2 are prod(2e + 1) distinct divisors, from 1 to m^2;
// - a reference walk over them, in 128-bit arithmetic, gives the shift's
//   witness count, first witness and branch, and every witness it finds must
//   verify as a solution of 4/p = 1/m + 1/x + 1/y;
// - the table factorisation and the plain scan of p over the single shift c
//   agree with the reference wherever m lies inside the table built here, and
//   the fast scan (factor windows, residue classes, batches) everywhere.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "numtheory/divisors.hpp"
#include "numtheory/factor_window.hpp"
#include "numtheory/spf_table.hpp"
#include "search/fast_scan.hpp"
#include "search/scan_prime.hpp"
#include "search/shift_list.hpp"
#include "search/shift_residues.hpp"
#include "search/verify_witness.hpp"
#include "support/trial_factor.hpp"

namespace {

__extension__ typedef __int128 int128;

constexpr std::int64_t max_m = 536870911;        // (p_max + c_max) / 4 at the 32-bit limit
constexpr std::int64_t table_m = std::int64_t{1} << 24;  // 64 MiB of table; the full range would take 2 GiB

const std::vector<std::int32_t>& spf_table() {
    static const std::vector<std::int32_t> table = erdos::build_spf_table(static_cast<std::int32_t>(4 * table_m), 0);
    return table;
}

struct shift_reference {
    std::int64_t divisor_count = 0;
    std::int64_t witness_count = 0;
    std::int64_t first_d = -1;
    std::int32_t branch = 0;
};

[[noreturn]] void fail(const char* what, std::int64_t p, std::int64_t c, std::int64_t m, std::int64_t d = 0) {
    std::fprintf(stderr, "arithmetic_fuzzer: %s (p=%lld c=%lld m=%lld d=%lld)\n", what, static_cast<long long>(p),
                 static_cast<long long>(c), static_cast<long long>(m), static_cast<long long>(d));
    std::abort();
}

// m drawn either plainly or as a product of small prime powers, so that long
// divisor lists (tau(m^2) in the tens of thousands) come up often.
std::int64_t draw_m(FuzzedDataProvider& in) {
    if (in.ConsumeBool()) return in.ConsumeIntegralInRange<std::int64_t>(1, max_m);
    static constexpr std::int64_t small_primes[] = {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31};
    std::int64_t m = 1;
    for (const std::int64_t q : small_primes) {
        for (int k = in.ConsumeIntegralInRange<int>(0, 4); k > 0 && m * q <= max_m; --k) m *= q;
    }
    const std::int64_t cofactor = in.ConsumeIntegralInRange<std::int64_t>(1, max_m / m);
    return m * cofactor;
}

void check_divisors(const erdos::divisor_list& divisors, const erdos::factor_list& factors, std::int64_t p,
                    std::int64_t c, std::int64_t m) {
    std::int64_t tau = 1;
    for (const auto& pp : factors) tau *= 2 * pp.exponent + 1;
    if (static_cast<std::int64_t>(divisors.size()) != tau) fail("divisor count is not prod(2e + 1)", p, c, m);
    const std::int64_t square = m * m;
    if (divisors.front() != 1 || divisors.back() != square) fail("divisor list does not run from 1 to m^2", p, c, m);
    for (const std::int64_t d : divisors) {
        if (d < 1 || square % d != 0) fail("listed a non-divisor of m^2", p, c, m, d);
    }
    erdos::divisor_list sorted = divisors;
    std::sort(sorted.begin(), sorted.end());
    if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) fail("a divisor is listed twice", p, c, m);
}

shift_reference walk_shift(const erdos::divisor_list& divisors, std::int64_t m, std::int64_t c) {
    shift_reference ref;
    ref.divisor_count = static_cast<std::int64_t>(divisors.size());
    for (const std::int64_t d : divisors) {
        const bool first = (int128{m} + d) % c == 0;
        const bool second = (int128{4} * d + 1) % c == 0;
        if (!first && !second) continue;
        if (ref.witness_count++ == 0) {
            ref.first_d = d;
            ref.branch = (first ? 1 : 0) + (second ? 2 : 0);
        }
    }
    return ref;
}

// A scan of p over the single shift c, as any implementation of the scan must
// report it given the reference walk of that shift.
void expect_scan_matches(const erdos::prime_scan& got, const shift_reference& want, std::int64_t p, std::int64_t c,
                         std::int64_t m) {
    const bool covered = want.witness_count > 0;
    if (got.p != p || got.has_witness != covered || got.successful_shifts != (covered ? 1 : 0)) {
        fail("scan disagrees on coverage", p, c, m);
    }
    if (got.least_c != (covered ? c : -1) || got.first_m != (covered ? m : 0)) fail("scan disagrees on the shift", p, c, m);
    if (got.first_d != want.first_d || got.branch != want.branch) fail("scan disagrees on the first witness", p, c, m);
    const long double share = static_cast<long double>(want.witness_count) / static_cast<long double>(want.divisor_count);
    const std::int32_t w = erdos::shift_weight(static_cast<std::int32_t>(c));
    if (got.uniform_mass != static_cast<double>(share) || got.weighted_mass != static_cast<double>(share * w / w)) {
        fail("scan disagrees on the witness share", p, c, m);
    }
}

// One factor window for the whole range, refilled for each input.
erdos::factor_window& window() {
    static erdos::factor_window w = erdos::make_factor_window(max_m + 2);
    return w;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    spf_table();
    window();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::int64_t m = draw_m(in);
    // c = 4j + 3 with p = 4m - c >= 1, that is j <= m - 1; small shifts, as in
    // a run, are drawn as often as arbitrary ones.
    const std::int64_t j_max = in.ConsumeBool() ? std::min<std::int64_t>(m - 1, 63) : m - 1;
    const std::int64_t c = 4 * in.ConsumeIntegralInRange<std::int64_t>(0, j_max) + 3;
    const std::int64_t p = 4 * m - c;

    const erdos::factor_list factors = erdos_test::trial_factor(m);
    if (m < table_m && erdos::factorize(m, spf_table()) != factors) fail("table factorisation is wrong", p, c, m);

    const erdos::divisor_list divisors = erdos::divisors_of_square(factors);
    check_divisors(divisors, factors, p, c, m);

    const shift_reference want = walk_shift(divisors, m, c);
    for (const std::int64_t d : divisors) {
        const std::int32_t branch = ((m + d) % c == 0 ? 1 : 0) + ((4 * d + 1) % c == 0 ? 2 : 0);
        if (branch != 0 && !erdos::verify_first_witness(p, static_cast<std::int32_t>(c), m, d, branch)) {
            fail("a genuine witness does not verify", p, c, m, d);
        }
    }

    if (m < table_m) {
        const auto p32 = static_cast<std::int32_t>(p);
        const auto c32 = static_cast<std::int32_t>(c);
        const std::int32_t w = erdos::shift_weight(c32);
        expect_scan_matches(erdos::scan_prime(p32, {c32}, 1, w, spf_table()), want, p, c, m);
    }

    // The fast scan needs no table: it is checked for every m.
    erdos::scan_plan plan;
    plan.shift_list = {static_cast<std::int32_t>(c)};
    plan.shift_count = 1;
    plan.weight_total = erdos::shift_weight(static_cast<std::int32_t>(c));
    plan.residues = erdos::build_shift_residues(plan.shift_list, window().primes);
    erdos::set_sweep_tables(plan);
    static erdos::scan_scratch scratch;
    scratch.avx2 = in.ConsumeBool() && erdos::avx2_available();
    expect_scan_matches(erdos::scan_prime_fast(static_cast<std::int32_t>(p), plan, window(), scratch), want, p, c, m);
    return 0;
}
