// The fast scan: walks the factor windows, settles each prime's least shift, queues the rest, folds the masses.
#include "search/fast_scan.hpp"

#include <algorithm>
#include "search/batch_queue.hpp"
#include "search/first_witness.hpp"
#include "search/high_shift_scan.hpp"
#include "search/mass_fold.hpp"
#include "search/pair_tally.hpp"
#include "search/residue_count.hpp"
#include "search/residue_factors.hpp"
#include "search/scan_prime.hpp"
#include "search/untabled_count.hpp"
#include "search/untabled_sweep.hpp"
#include "tuning.hpp"

namespace erdos {

namespace {

// The pair (prime p, shift k), with index `pair` in the chunk, whichever way
// suits it. Before a prime has its least successful shift, the shift is first
// walked in divisor order up to its first witness: the walk that finds one
// fixes least_c, first_d and branch, and a walk that finds none proves the
// shift has no witness, so it need not be counted.
void scan_pair(std::int32_t p, std::size_t k, std::uint32_t pair, const scan_plan& plan, const factor_window& window,
               scan_scratch& scratch, prime_scan& scan) {
    const shift_residues& shift = plan.residues[k];
    const std::int64_t m = (static_cast<std::int64_t>(p) + shift.c) / 4;
    auto settle_least = [&](const shift_witnesses& found) {
        settle_least_shift(scan, shift.c, m, found.first_d, found.branch);
    };

    if (counted_by_m(p, shift.c, plan.by_m[k] != 0, scan.has_witness)) return;  // counted with the others of its m
    if (shift.c > shift_residues::max_table_shift) {
        if (scan.has_witness && shift.c <= shift_residues::max_counted_shift) {
            const untabled_count found = count_untabled_witnesses(shift, window, m, scratch.untabled);
            scratch.tallies[pair] = make_tally(found.witnesses, found.tau);
            return;
        }
        // Until the prime's least shift is known: list the divisors and test
        // each, as the plain scan does, for the first witness in their order.
        const listed_witnesses listed = witnesses_by_listing(window, m, shift.c);
        scratch.tallies[pair] = make_tally(listed.found.count, listed.tau);
        if (listed.found.count > 0 && !scan.has_witness) settle_least(listed.found);
        return;
    }
    // Every divisor of m^2 is a unit modulo c exactly when m is: for a prime
    // p that fails only when p | c.
    const std::uint32_t m_residue = reduce(shift, static_cast<std::uint32_t>(m));
    const bool units = shift.inverse[m_residue] != 0;
    if (!scan.has_witness || !shift.has_logs || !units) {
        const residue_factors factors = gather_factors(shift, window, m);
        const std::uint8_t minus_m = minus_residue(shift, m_residue);
        const auto minus_quarter = static_cast<std::uint8_t>(shift.minus_quarter);
        if (!scan.has_witness) {
            const shift_witnesses found = first_witness_by_residues(shift, factors, minus_m, minus_quarter);
            if (found.count == 0) return;  // no witness at all: the count stays 0
            settle_least(found);
        }
        if (!shift.has_logs || !units) {
            const std::int64_t count =
                count_witnesses_by_residues(shift, factors, minus_m, minus_quarter, units, scratch.lists);
            scratch.tallies[pair] = make_tally(count, factors.tau);
            return;
        }
    }
    queue_pair(shift, m, pair, window, scratch);
}

// Scans every shift of the primes j in [first, last), whose m all lie in the
// filled window. Once a prime has its least successful shift, the rest need
// only be queued for counting, when every shift has logarithms and the prime
// exceeds every shift (so that each m is a unit).
void queue_primes(const std::int32_t* primes, std::size_t first, std::size_t last, const scan_plan& plan,
                  const factor_window& window, scan_scratch& scratch, prime_scan* out) {
    const std::size_t shifts = plan.residues.size();
    const bool only_units = plan.all_logs && primes[first] > plan.shift_list.back();
    for (std::size_t j = first; j < last; ++j) {
        prime_scan& scan = out[j];
        scan = prime_scan{};
        scan.p = primes[j];
        std::size_t k = 0;
        for (; k < shifts && !(only_units && scan.has_witness); ++k) {
            scan_pair(primes[j], k, static_cast<std::uint32_t>(j * shifts + k), plan, window, scratch, scan);
        }
        for (; k < shifts; ++k) {
            const shift_residues& shift = plan.residues[k];
            const std::int64_t m = (static_cast<std::int64_t>(primes[j]) + shift.c) >> 2;
            queue_pair(shift, m, static_cast<std::uint32_t>(j * shifts + k), window, scratch);
        }
    }
}

// Factors the m of the primes a window at a time and queues their pairs.
// Window k holds the m of the primes whose first m lies in [lo, lo + span),
// plus the reach of the shifts beyond; the next window starts at lo + span
// and continues the same sieve.
void scan_windows(const std::int32_t* primes, std::size_t n, const scan_plan& plan, factor_window& window,
                  scan_scratch& scratch, prime_scan* out) {
    constexpr std::int64_t span = tuning::window_span;
    const std::int64_t first_shift = plan.shift_list.front();
    const std::int64_t last_shift = plan.shift_list.back();
    const std::int64_t reach = (last_shift - first_shift) / 4 + 1;
    std::size_t next = 0;
    std::int64_t lo = (primes[0] + first_shift) / 4;
    while (next < n) {
        const std::int64_t first_m = (primes[next] + first_shift) / 4;
        if (first_m >= lo + span) lo = first_m;  // a gap: start afresh
        std::size_t end = next;
        while (end < n && (primes[end] + first_shift) / 4 < lo + span) ++end;
        fill_factor_window(window, lo, span + reach + 1, lo + span);
        queue_primes(primes, next, end, plan, window, scratch, out);
        count_untabled_pairs_by_m(primes, next, end, plan, window, out, scratch);
        next = end;
        lo += span;
    }
}

}  // namespace

void scan_primes_fast(const std::int32_t* primes, std::size_t n, const scan_plan& plan, factor_window& window,
                      scan_scratch& scratch, prime_scan* out) {
    const std::size_t shifts = plan.residues.size();
    scratch.tallies.assign(n * shifts, 0);
    clear_pattern_table(scratch.patterns);
    if (shifts > 0 && n > 0) {
        scan_windows(primes, n, plan, window, scratch, out);
    } else {
        for (std::size_t j = 0; j < n; ++j) {
            out[j] = prime_scan{};
            out[j].p = primes[j];
        }
    }
    flush_batches(plan.residues, scratch);
    const auto add_share = [&](std::size_t k, pair_tally tally, long double& uniform_sum, long double& weighted_sum) {
        add_witness_share(uniform_sum, weighted_sum, tally_witnesses(tally), tally_tau(tally), plan.residues[k].weight);
    };
    if (plan.high_first == 0) {
        for (std::size_t j = 0; j < n; ++j) fold_masses(scratch.tallies.data() + j * shifts, plan, out[j], add_share);
        return;
    }
    // The shifts above the list continue each prime's sums in shift order.
    scratch.uniform_sums.assign(n, 0.0L);
    scratch.weighted_sums.assign(n, 0.0L);
    for (std::size_t j = 0; j < n; ++j) {
        fold_tallies(scratch.tallies.data() + j * shifts, plan, out[j], add_share, scratch.uniform_sums[j],
                     scratch.weighted_sums[j]);
    }
    scan_high_shifts(primes, n, plan, window, scratch, out);
    for (std::size_t j = 0; j < n; ++j) {
        finish_masses(out[j], scratch.uniform_sums[j], scratch.weighted_sums[j], plan.shift_count, plan.weight_total);
    }
}

prime_scan scan_prime_fast(std::int32_t p, const scan_plan& plan, factor_window& window, scan_scratch& scratch) {
    prime_scan scan;
    scan_primes_fast(&p, 1, plan, window, scratch, &scan);
    return scan;
}

}  // namespace erdos
