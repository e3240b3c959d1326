// Scanning the shifts above the listed ones: windows over m, each pair counted by arithmetic or by residues.
#include "search/high_shift_scan.hpp"

#include <algorithm>
#include <limits>

#include "numtheory/far_factor_sieve.hpp"
#include "search/far_scan.hpp"
#include "search/first_witness.hpp"
#include "search/mass_sums.hpp"
#include "search/shift_list.hpp"
#include "search/untabled_count.hpp"
#include "stop_request.hpp"
#include "tuning.hpp"

namespace erdos {

namespace {

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
// Here c > p makes p < 2^31 and m < 2^30, so mp and m^2 fit 64 bits.
std::int64_t witnesses_above_prime(std::int64_t p, std::int64_t m, std::int64_t c) {
    const auto um = static_cast<std::uint64_t>(m);
    const auto uc = static_cast<std::uint64_t>(c);
    const std::uint64_t t = (uc - um * static_cast<std::uint64_t>(p) % uc) % uc;
    return t != 0 && t < um && um * um % t == 0 ? 1 : 0;
}

// The first m of prime p from which on only the shifts that p divides can
// have witnesses (see above): where 2c = 2(4m - p) reaches p^2 + p.
std::int64_t silent_from(std::int64_t p) {
    if (p >= (std::int64_t{1} << 31)) return std::numeric_limits<std::int64_t>::max();  // every shift is below p
    return (p + (p * p + p) / 2 + 3) / 4;
}

// The pair (p, c = 4m - p): before the prime has its least shift, every
// divisor is walked in order for the first witness; after it, only the
// count matters, taken by arithmetic or from residues. `at` gives what the
// pair needs of m's factorisation: first(c) the witnesses with the first
// in divisor order, tau() the divisors of m^2, count(c) the witnesses.
template <typename Factors>
void scan_pair(std::int64_t p, std::int64_t m, Factors&& at, prime_scan& scan, long double& uniform_sum,
               long double& weighted_sum) {
    const auto c = static_cast<std::int32_t>(4 * m - p);
    std::int64_t witnesses = 0;
    std::int64_t tau = 1;
    if (!scan.has_witness) {
        const far_witnesses found = at.first(c, tau);
        witnesses = found.count;
        if (witnesses > 0) settle_least_shift(scan, c, m, found.first_d, found.branch);
    } else if (c > p && c % p != 0) {
        witnesses = witnesses_above_prime(p, m, c);
        if (witnesses > 0) tau = at.tau();
    } else {
        witnesses = at.count(c, tau);
    }
    if (witnesses == 0) return;
    ++scan.successful_shifts;
    add_witness_share(uniform_sum, weighted_sum, witnesses, tau, shift_weight(c));
}

// The high shifts of the primes from `begin` on whose m lie in [lo, hi),
// prime by prime, each in shift order; visit(j, m) scans one pair.
template <typename Visit>
void visit_span(const std::int64_t* first_m, const std::int64_t* last_m, const std::int64_t* silent,
                const std::int64_t* primes, std::size_t begin, std::size_t n, std::int64_t lo, std::int64_t hi,
                Visit&& visit) {
    for (std::size_t j = begin; j < n; ++j) {
        const std::int64_t from = std::max(lo, first_m[j]);
        if (from >= hi) break;
        const std::int64_t to = std::min(hi, last_m[j] + 1);
        for (std::int64_t m = from; m < std::min(to, silent[j]); ++m) visit(j, m);
        const std::int64_t p = primes[j];
        const std::int64_t rest = std::max(from, silent[j]);
        if (rest < to) {
            for (std::int64_t m = (rest + p - 1) / p * p; m < to; m += p) visit(j, m);
        }
    }
}

// Each prime's first and last m over the high shifts, and its silent_from.
struct high_ranges {
    std::vector<std::int64_t> primes;
    std::vector<std::int64_t> first_m;
    std::vector<std::int64_t> last_m;
    std::vector<std::int64_t> silent;
};

template <typename Prime>
high_ranges ranges_of(const Prime* primes, std::size_t n, const scan_plan& plan) {
    high_ranges r;
    for (std::size_t j = 0; j < n; ++j) {
        const auto p = static_cast<std::int64_t>(primes[j]);
        r.primes.push_back(p);
        r.first_m.push_back((p + plan.high_first) / 4);
        r.last_m.push_back((p + plan.high_last) / 4);
        r.silent.push_back(silent_from(p));
    }
    return r;
}

// m's factorisation read off a factor window.
struct window_factors {
    const factor_window& window;
    std::int64_t m;
    untabled_lists& lists;
    far_witnesses first(std::int32_t c, std::int64_t& tau) const {
        const listed_witnesses listed = witnesses_by_listing(window, m, c);
        tau = listed.tau;
        return {listed.found.count, listed.found.first_d, listed.found.branch};
    }
    std::int64_t tau() const { return window_tau_of_square(window, m); }
    std::int64_t count(std::int32_t c, std::int64_t& tau_out) const {
        const untabled_count found = count_any_shift_witnesses(static_cast<std::uint32_t>(c), window, m, lists);
        tau_out = found.tau;
        return found.witnesses;
    }
};

// m's factorisation read off the segment a far factor sieve sieved last,
// gathered the first time a pair asks for it: a shift above p needs it only
// when it has its witness.
struct sieved_factors {
    const far_factor_sieve& sieve;
    std::int64_t m;
    untabled_lists& lists;
    far_residue_factors f;
    bool gathered = false;
    const far_residue_factors& factors() {
        if (gathered) return f;
        gathered = true;
        std::uint32_t primes[far_factor_sieve::max_struck + 2];
        std::uint8_t exponents[far_factor_sieve::max_struck + 2];
        std::uint64_t cofactor = 1;
        const int n = far_sieved_factors(sieve, static_cast<std::uint64_t>(m), primes, exponents, cofactor);
        for (int i = 0; i < n; ++i) {
            f.prime[i] = primes[i];
            f.exponent[i] = exponents[i];
            f.tau *= 2 * exponents[i] + 1;
        }
        f.count = n;
        if (cofactor > 1) {
            f.prime[f.count] = cofactor;
            f.exponent[f.count++] = 1;
            f.tau *= 3;
        }
        return f;
    }
    std::uint32_t m_residue(std::int32_t c) const {
        return static_cast<std::uint32_t>(static_cast<std::uint64_t>(m) % static_cast<std::uint64_t>(c));
    }
    far_witnesses first(std::int32_t c, std::int64_t& tau) {
        tau = factors().tau;
        return witnesses_in_divisor_order(static_cast<std::uint32_t>(c), f, m_residue(c));
    }
    std::int64_t tau() { return factors().tau; }
    std::int64_t count(std::int32_t c, std::int64_t& tau_out) {
        tau_out = factors().tau;
        return count_shift_witnesses(static_cast<std::uint32_t>(c), f, m_residue(c), lists);
    }
};

}  // namespace

void scan_high_shifts(const std::int32_t* primes, std::size_t n, const scan_plan& plan, factor_window& window,
                      scan_scratch& scratch, prime_scan* out) {
    if (n == 0 || plan.high_first == 0) return;
    const high_ranges r = ranges_of(primes, n, plan);
    const std::int64_t end = r.last_m[n - 1] + 1;
    // The primes ascend, and so do the first and the last m of each: those
    // a window serves are a run from `begin` on.
    std::size_t begin = 0;
    std::int64_t lo = r.first_m[0];
    while (begin < n) {
        stop_if_requested();
        const std::int64_t hi = std::min(lo + tuning::window_span, end);
        fill_factor_window(window, lo, hi - lo, hi);
        visit_span(r.first_m.data(), r.last_m.data(), r.silent.data(), r.primes.data(), begin, n, lo, hi,
                   [&](std::size_t j, std::int64_t m) {
                       scan_pair(r.primes[j], m, window_factors{window, m, scratch.untabled}, out[j],
                                 scratch.uniform_sums[j], scratch.weighted_sums[j]);
                   });
        while (begin < n && r.last_m[begin] < hi) ++begin;
        if (begin < n) lo = std::max(hi, r.first_m[begin]);
    }
}

void scan_high_shifts_far(const std::int64_t* primes, std::size_t n, const scan_plan& plan, scan_scratch& scratch,
                           prime_scan* out) {
    if (n == 0 || plan.high_first == 0) return;
    const high_ranges r = ranges_of(primes, n, plan);
    far_factor_sieve sieve = start_far_factor_sieve(static_cast<std::uint64_t>(r.first_m[0]),
                                                      static_cast<std::uint64_t>(r.last_m[n - 1]));
    std::size_t begin = 0;
    while (begin < n && sieve_next_far_segment(sieve)) {
        stop_if_requested();
        const auto lo = static_cast<std::int64_t>(sieve.segment_lo);
        const auto hi = static_cast<std::int64_t>(sieve.segment_lo + sieve.segment_count);
        visit_span(r.first_m.data(), r.last_m.data(), r.silent.data(), r.primes.data(), begin, n, lo, hi,
                   [&](std::size_t j, std::int64_t m) {
                       scan_pair(r.primes[j], m, sieved_factors{sieve, m, scratch.untabled, {}}, out[j],
                                 scratch.uniform_sums[j], scratch.weighted_sums[j]);
                   });
        while (begin < n && r.last_m[begin] < hi) ++begin;
    }
}

}  // namespace erdos
