// Scanning the shifts above the listed ones: windows over m, each pair counted by residues modulo its shift.
#include "search/high_shift_scan.hpp"

#include <algorithm>

#include "search/first_witness.hpp"
#include "search/scan_prime.hpp"
#include "search/shift_list.hpp"
#include "search/wide_shift_count.hpp"
#include "stop_request.hpp"
#include "tuning.hpp"

namespace erdos {

namespace {

// tau(m^2) for m in the filled window.
std::int64_t divisors_of_square_count(const factor_window& window, std::int64_t m) {
    const factor_window::entry& entry = window.entries[static_cast<std::size_t>(m - window.lo)];
    std::int64_t tau = entry.large > 1 ? 3 : 1;
    for (int j = 0; j < entry.small_count; ++j) tau *= 2 * static_cast<std::int64_t>((entry.pattern >> (5 * j)) & 31U) + 1;
    return tau;
}

// For a shift c above p that p does not divide, m^2 has at most one witness,
// and it is found by arithmetic. With 4m = p + c, so 4m = p (mod c), and
// 0 < c - p < c (p = 1, c = 3 (mod 4)):
// - a divisor d <= m is no witness: 4d + p and 4d + 1 lie in (0, 3c) and
//   (0, 2c), and neither equals c or 2c, since c - p, 2c - p and c - 1 are
//   not multiples of 4;
// - a divisor d > m is d = m^2/e with e < m. If c | 4d + p, then c divides
//   e(4d + p) = 4m^2 + pe = p(m + e) (mod c), so c | m + e, which lies in
//   (0, 2m) and 2m < c: no such witness. If c | 4d + 1, then c divides
//   e(4d + 1) = mp + e (mod c), and conversely, since e shares no prime with
//   c (such a prime would divide m and c, so p). So d is a witness exactly
//   when e = -mp (mod c), and with 0 < e < m < c that is e = t, the residue
//   of -mp itself: one candidate, a witness when t < m and t | m^2.
// - moreover 4e + p^2 = 4(mp + e) = 0 (mod c), and 4e + p^2 = 1 (mod 4)
//   makes it k c with k = 3 (mod 4), so 3c < 4m + p^2 = c + p + p^2: there
//   is no witness at all once 2c >= p^2 + p.
std::int64_t witnesses_above_prime(std::int64_t p, std::int64_t m, std::int64_t c) {
    const auto um = static_cast<std::uint64_t>(m);
    const auto uc = static_cast<std::uint64_t>(c);
    const std::uint64_t t = (uc - um * static_cast<std::uint64_t>(p) % uc) % uc;
    return t != 0 && t < um && um * um % t == 0 ? 1 : 0;
}

// The pair (p, c = 4m - p): before the prime has its least shift, every
// divisor is listed in order for the first witness; after it, only the
// count matters, taken by arithmetic or from residues.
void scan_pair(std::int64_t p, std::int64_t m, const factor_window& window, scan_scratch& scratch, prime_scan& scan,
               long double& uniform_sum, long double& weighted_sum) {
    const auto c = static_cast<std::int32_t>(4 * m - p);
    std::int64_t witnesses = 0;
    std::int64_t tau = 1;
    if (!scan.has_witness) {
        const listed_witnesses listed = witnesses_by_listing(window, m, c);
        witnesses = listed.found.count;
        tau = listed.tau;
        if (witnesses > 0) settle_least_shift(scan, c, m, listed.found.first_d, listed.found.branch);
    } else if (c > p && c % p != 0) {
        witnesses = witnesses_above_prime(p, m, c);
        if (witnesses > 0) tau = divisors_of_square_count(window, m);
    } else {
        const wide_shift_count found = count_any_shift_witnesses(static_cast<std::uint32_t>(c), window, m,
                                                                 scratch.wide_lists);
        witnesses = found.witnesses;
        tau = found.tau;
    }
    if (witnesses == 0) return;
    ++scan.successful_shifts;
    add_witness_share(uniform_sum, weighted_sum, witnesses, tau, shift_weight(c));
}

}  // namespace

void scan_high_shifts(const std::int32_t* primes, std::size_t n, const scan_plan& plan, factor_window& window,
                      scan_scratch& scratch, prime_scan* out) {
    if (n == 0 || plan.high_first == 0) return;
    const auto first_m = [&](std::size_t j) { return (static_cast<std::int64_t>(primes[j]) + plan.high_first) / 4; };
    const auto last_m = [&](std::size_t j) { return (static_cast<std::int64_t>(primes[j]) + plan.high_last) / 4; };
    const std::int64_t end = last_m(n - 1) + 1;
    // The primes ascend, and so do the first and the last m of each: those
    // a window serves are a run from `begin` on.
    std::size_t begin = 0;
    std::int64_t lo = first_m(0);
    while (begin < n) {
        stop_if_requested();
        const std::int64_t hi = std::min(lo + tuning::window_span, end);
        fill_factor_window(window, lo, hi - lo, hi);
        for (std::size_t j = begin; j < n; ++j) {
            const std::int64_t from = std::max(lo, first_m(j));
            if (from >= hi) break;
            const std::int64_t to = std::min(hi, last_m(j) + 1);
            const std::int64_t p = primes[j];
            auto scan_m = [&](std::int64_t m) {
                scan_pair(p, m, window, scratch, out[j], scratch.uniform_sums[j], scratch.weighted_sums[j]);
            };
            // From the m whose shift c = 4m - p reaches (p^2 + p)/2 on, only
            // the shifts that p divides (p | m) can have witnesses.
            const std::int64_t silent = (p + (p * p + p) / 2 + 3) / 4;
            for (std::int64_t m = from; m < std::min(to, silent); ++m) scan_m(m);
            const std::int64_t rest = std::max(from, silent);
            for (std::int64_t m = (rest + p - 1) / p * p; m < to; m += p) scan_m(m);
        }
        while (begin < n && last_m(begin) < hi) ++begin;
        if (begin < n) lo = std::max(hi, first_m(begin));
    }
}

}  // namespace erdos
