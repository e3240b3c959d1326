// Counting the pairs of the shifts without logarithms m by m: every pair of one m reduces the same list of divisors below m.
#include "search/untabled_sweep.hpp"

#include <limits>

#include "search/below_count.hpp"
#include "search/pair_tally.hpp"
#include "search/scan_scratch.hpp"
#include "search/untabled_count.hpp"
#include "tuning.hpp"

namespace erdos {

std::size_t list_divisors_below(const factor_window& window, std::int64_t m, std::vector<double>& below) {
    const auto i = static_cast<std::size_t>(m - window.lo);
    const factor_window::entry& entry = window.entries[i];
    const std::uint16_t* slots = window.small.data() + i * factor_window::max_small;
    auto exponent = [&](int j) { return static_cast<int>((entry.pattern >> (5 * j)) & 31U); };
    const auto tau = static_cast<std::size_t>(window_tau_of_square(window, m));
    if (below.size() < tau / 2 + 2) below.resize(tau / 2 + 2);  // one place past the last kept
    // Prime by prime, each divisor so far times q, q^2, ..., q^2e, kept
    // when below m: a divisor below m has every partial product below m, so
    // none is lost. Each product is stored and kept or overwritten by the
    // next, with no branch on its value. The products are formed in double
    // precision: one below m < 2^31 is exact, and one at or above m rounds
    // to no less than m (or to infinity), so the cut falls where it should.
    double* out = below.data();
    out[0] = 1.0;
    std::size_t n = 1;
    const auto limit = static_cast<double>(m);
    auto extend = [&](double q, int twice_e) {
        const std::size_t block = n;
        if (twice_e == 2) {  // most primes of most m
            for (std::size_t x = 0; x < block; ++x) {
                const double v = out[x] * q;
                out[n] = v;
                n += v < limit ? 1 : 0;
                out[n] = v * q;
                n += v * q < limit ? 1 : 0;
            }
            return;
        }
        for (std::size_t x = 0; x < block; ++x) {
            double v = out[x];
            for (int k = 0; k < twice_e; ++k) {
                v *= q;
                out[n] = v;
                n += v < limit ? 1 : 0;
            }
        }
    };
    for (int j = 0; j < entry.small_count; ++j) extend(window.primes[slots[j]], 2 * exponent(j));
    if (entry.large > 1) extend(entry.large, 2);
    return m > 1 ? n : 0;
}

void count_untabled_pairs_by_m(const std::int32_t* primes, std::size_t first, std::size_t last, const scan_plan& plan,
                           const factor_window& window, const prime_scan* scans, scan_scratch& scratch) {
    untabled_sweep_lists& lists = scratch.sweep;
    pair_tally* const tallies = scratch.tallies.data();
    const std::vector<shift_residues>& residues = plan.residues;
    const std::size_t shift_count = residues.size();
    std::size_t k_first = 0;
    while (k_first < shift_count && plan.by_m[k_first] == 0) ++k_first;
    std::size_t k_end = shift_count;
    while (k_end > k_first && plan.by_m[k_end - 1] == 0) --k_end;
    if (k_first == k_end || first == last) return;
    // The listed shifts are 3, 7, 11, ...: shift c has place (c - 3) / 4.
    const std::int64_t c_base = residues[0].c;
    const std::int64_t c_lo = residues[k_first].c;
    const std::int64_t c_hi = residues[k_end - 1].c;
    const std::int64_t m_begin = (primes[first] + c_lo) / 4;
    const std::int64_t m_end = (primes[last - 1] + c_hi) / 4 + 1;
    const std::size_t most_pairs = last - first + below_count_lanes;
    if (lists.pairs.size() < most_pairs) {
        lists.shifts.resize(most_pairs);
        lists.inverses.resize(most_pairs);
        lists.pairs.resize(most_pairs);
        lists.witnesses.resize(most_pairs);
    }
    // Per prime, the shifts above its least one are left to the sweep: its
    // shifts from here on (none when it has no least shift).
    lists.from_shift.resize(last - first);
    for (std::size_t j = first; j < last; ++j) {
        const prime_scan& scan = scans[j];
        lists.from_shift[j - first] = scan.has_witness ? scan.least_c + 1 : std::numeric_limits<std::int32_t>::max();
    }
    const std::int32_t* from_shift = lists.from_shift.data();
    std::size_t lo = first;  // the primes p with 4m - c_hi <= p <= 4m - c_lo: [lo, hi)
    std::size_t hi = first;
    for (std::int64_t m = m_begin; m < m_end; ++m) {
        while (hi < last && primes[hi] <= 4 * m - c_lo) ++hi;
        while (lo < hi && primes[lo] < 4 * m - c_hi) ++lo;
        std::size_t count = 0;
        for (std::size_t j = lo; j < hi; ++j) {
            const auto c = static_cast<std::int32_t>(4 * m - primes[j]);
            const auto k = static_cast<std::size_t>(c - c_base) / 4;
            lists.shifts[count] = c;
            lists.inverses[count] = plan.inverses[k];
            lists.pairs[count] = j * shift_count + k;
            count += (c >= from_shift[j - first] && counted_by_m(primes[j], c, plan.by_m[k] != 0, true)) ? 1 : 0;
        }
        if (count == 0) continue;
        const std::int64_t tau = window_tau_of_square(window, m);
        if (tau > 2 * tuning::untabled_by_divisors_max_below + 1) {
            for (std::size_t x = 0; x < count; ++x) {
                const std::size_t k = lists.pairs[x] % shift_count;
                const untabled_count found = count_untabled_witnesses(residues[k], window, m, scratch.untabled);
                tallies[lists.pairs[x]] = make_tally(found.witnesses, found.tau);
            }
            continue;
        }
        const std::size_t n = list_divisors_below(window, m, lists.below);
        // The last group of lanes filled up with the first pair's shift.
        const std::size_t lanes = (count + below_count_lanes - 1) / below_count_lanes * below_count_lanes;
        for (std::size_t x = count; x < lanes; ++x) {
            lists.shifts[x] = lists.shifts[0];
            lists.inverses[x] = lists.inverses[0];
        }
        count_by_divisors_below(lists.below.data(), n, static_cast<std::uint32_t>(m), lists.shifts.data(),
                                lists.inverses.data(), lanes, lists.witnesses.data(), scratch.avx2);
        for (std::size_t x = 0; x < count; ++x) tallies[lists.pairs[x]] = make_tally(lists.witnesses[x], tau);
    }
}

}  // namespace erdos
