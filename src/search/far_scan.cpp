// The scan of primes beyond the 32-bit range: residues, first-witness walk, pattern batches or a count per pair.
#include "search/far_scan.hpp"

#include <algorithm>

#include "numtheory/int128.hpp"
#include "search/batch_queue.hpp"
#include "search/far_pair_walk.hpp"
#include "search/high_shift_scan.hpp"
#include "search/mass_fold.hpp"
#include "search/mass_sums.hpp"
#include "search/residue_count.hpp"
#include "search/residue_factors.hpp"
#include "search/untabled_count.hpp"

namespace erdos {

namespace {

constexpr int max_factors = far_pair_factors::max_factors;

using far_factors = far_residue_factors;
static_assert(far_factors::capacity >= max_factors, "every factor of a pair has its slot");

// The prime powers of a pair's m, with their residues modulo a tabled shift.
far_factors gather(const shift_residues& s, const far_pair_factors& all, std::uint32_t entry, std::uint32_t two32) {
    far_factors f;
    const std::uint32_t begin = all.entry_start[entry];
    const int sieved = static_cast<int>(all.entry_start[entry + 1] - begin);
    const std::uint32_t* primes = all.primes.data() + begin;
    const std::uint8_t* exponents = all.exponents.data() + begin;
    for (int i = 0; i < sieved; ++i) {
        f.prime[i] = primes[i];
        f.exponent[i] = exponents[i];
        f.residue[i] = reduce(s, primes[i]);
        f.tau *= 2 * exponents[i] + 1;
    }
    f.count = sieved;
    if (const std::uint64_t cofactor = all.cofactor[entry]; cofactor > 1) {
        f.prime[f.count] = cofactor;
        f.exponent[f.count] = 1;
        f.residue[f.count] = residue64(s, cofactor, two32);
        f.tau *= 3;
        ++f.count;
    }
    return f;
}

// The same modulo any shift, by 64-bit remainders.
far_factors gather_far(std::uint32_t c, const far_pair_factors& all, std::uint32_t entry) {
    far_factors f;
    const std::uint32_t begin = all.entry_start[entry];
    const int sieved = static_cast<int>(all.entry_start[entry + 1] - begin);
    for (int i = 0; i < sieved; ++i) {
        f.prime[i] = all.primes[begin + static_cast<std::uint32_t>(i)];
        f.exponent[i] = all.exponents[begin + static_cast<std::uint32_t>(i)];
    }
    f.count = sieved;
    if (all.cofactor[entry] > 1) {
        f.prime[f.count] = all.cofactor[entry];
        f.exponent[f.count++] = 1;
    }
    for (int i = 0; i < f.count; ++i) {
        f.residue[i] = static_cast<std::uint32_t>(f.prime[i] % c);
        f.tau *= 2 * f.exponent[i] + 1;
    }
    return f;
}

}  // namespace

far_witnesses witnesses_in_divisor_order(std::uint32_t c, far_residue_factors& f, std::uint32_t m_residue) {
    for (int i = 0; i < f.count; ++i) f.residue[i] = static_cast<std::uint32_t>(f.prime[i] % c);
    const std::uint32_t t1 = minus_of(c, m_residue);
    const std::uint32_t t2 = minus_quarter_of(c);
    const walk_result found = walk_divisors(far_ring{c}, f, 1 % c, t1, t2, true);
    return {found.count, found.first_d, found.branch};
}

namespace {

// Queues the pair in the batch of its m's exponent pattern (key, not 0),
// with the logarithms of m's factors modulo the shift. The shift must have
// logarithms and m must be a unit modulo it. Inline: it runs for nearly
// every pair. It writes the first four lanes whatever m's count, and the cofactor's after the others even when it is 1 (log 0):
// the pattern, not a branch, says which of them count.
[[gnu::always_inline]] inline void queue_entry(const shift_residues& s, std::uint32_t two32,
                                               const far_pair_factors& all, std::uint32_t entry, std::uint64_t key,
                                               std::uint32_t pair, scan_scratch& batches) {
    const std::uint32_t begin = all.entry_start[entry];
    const int sieved = static_cast<int>(all.entry_start[entry + 1] - begin);
    const std::uint64_t cofactor = all.cofactor[entry];
    const std::uint32_t* primes = all.primes.data() + begin;
    const std::uint16_t* log_of = s.log_of.data();
    queue_lane(s, key, pair, batches, [&](lane_batch& batch, int lane) {
        static_assert(far_pair_factors::padding == 4, "four lanes written unconditionally");
        batch.logs[0][lane] = log_of[reduce(s, primes[0])];
        batch.logs[1][lane] = log_of[reduce(s, primes[1])];
        batch.logs[2][lane] = log_of[reduce(s, primes[2])];
        batch.logs[3][lane] = log_of[reduce(s, primes[3])];
        for (int i = 4; i < sieved; ++i) batch.logs[i][lane] = log_of[reduce(s, primes[i])];
        // With max_factors powers below the bound there is no cofactor.
        if (sieved < factor_window::max_factors) batch.logs[sieved][lane] = log_of[residue64(s, cofactor, two32)];
    });
}

// One (prime, shift) pair: while the prime has no least shift yet, the first
// witness in divisor order; then its count, by the pattern batches where the
// shift has logarithms, m is a unit and its pattern fits, else on its own
// with 64-bit counts (count_alone). A walk that finds no witness proves the
// count is 0.
[[gnu::noinline]] void scan_pair(std::int64_t p, const shift_residues& s, std::uint32_t two32,
                                 const far_pair_factors& all, std::size_t pair, far_scratch& scratch,
                                 prime_scan& scan) {
    const std::int64_t m = (p + s.c) / 4;
    const auto c = static_cast<std::uint32_t>(s.c);
    const std::uint32_t entry = all.pair_entry[pair];
    const std::uint32_t t2 = s.minus_quarter;
    if (s.c > shift_residues::max_table_shift) {
        // A shift beyond the tables: until the prime's least shift, every
        // divisor's residue in 64-bit products, walked to the end; after
        // it, the count alone, from residues with a meet in the middle.
        far_factors f = gather_far(c, all, entry);
        const auto m_residue = static_cast<std::uint32_t>(static_cast<std::uint64_t>(m) % c);
        if (scan.has_witness) {
            const std::int64_t count = count_shift_witnesses(c, f, m_residue, scratch.batches.untabled);
            if (count > 0) count_alone(scratch, pair, count, f.tau);
            return;
        }
        const std::uint32_t t1 = minus_of(c, m_residue);
        const walk_result found = walk_divisors(far_ring{c}, f, 1 % c, t1, t2, true);
        if (found.count > 0) count_alone(scratch, pair, found.count, f.tau);
        if (found.count > 0) settle_least_shift(scan, s.c, m, found.first_d, found.branch);
        return;
    }
    const std::uint32_t m_residue = residue64(s, static_cast<std::uint64_t>(m), two32);
    const std::uint32_t t1 = minus_of(c, m_residue);
    const bool first_walk = !scan.has_witness;
    far_factors f;
    if (first_walk) {
        f = gather(s, all, entry, two32);
        const walk_result found = first_witness_tabled(s, f, t1, t2);
        if (found.count == 0) return;  // no witness at all: the count stays 0
        settle_least_shift(scan, s.c, m, found.first_d, found.branch);
    }
    // For p > c, m = (p + c)/4 shares no factor with c, since p does not:
    // m is a unit. Smaller p (only in tests) are counted on their own.
    if (const std::uint64_t key = all.key[entry]; s.has_logs && p > s.c && key != 0) {
        queue_entry(s, two32, all, entry, key, static_cast<std::uint32_t>(pair), scratch.batches);
        return;
    }
    if (!first_walk) f = gather(s, all, entry, two32);
    // Every divisor of m^2 is a unit modulo c exactly when m is.
    const bool units = s.inverse[m_residue] != 0;
    const std::int64_t count = count_witnesses_by_residues(s, f, static_cast<std::uint8_t>(t1),
                                                           static_cast<std::uint8_t>(t2), units, scratch.batches.lists);
    if (count > 0) count_alone(scratch, pair, count, f.tau);
}

}  // namespace

void size_far_pair_factors(far_pair_factors& factors, std::size_t n, std::size_t shifts) {
    factors.pair_entry.resize(n * shifts);
    factors.entry_start.assign(1, 0);
    factors.cofactor.clear();
    factors.key.clear();
}

void scan_primes_far(const std::int64_t* primes, std::size_t n, const scan_plan& plan,
                      const far_pair_factors& factors, far_scratch& scratch, prime_scan* out) {
    const std::size_t shifts = plan.residues.size();
    start_far_chunk(n, plan, scratch);
    const bool only_units = n > 0 && shifts > 0 && plan.all_logs && primes[0] > plan.shift_list.back();
    for (std::size_t j = 0; j < n; ++j) {
        prime_scan& scan = out[j];
        const auto walk = [&](std::size_t k) {
            scan_pair(primes[j], plan.residues[k], scratch.two32[k], factors, j * shifts + k, scratch, scan);
        };
        // The rest straight into the batches where they fit, when every
        // shift has logarithms and the prime exceeds every shift, so that
        // each m is a unit; scan_pair sees to the others.
        const auto count = [&](std::size_t k) {
            const std::size_t pair = j * shifts + k;
            const std::uint32_t entry = factors.pair_entry[pair];
            if (const std::uint64_t key = factors.key[entry]; only_units && key != 0) {
                queue_entry(plan.residues[k], scratch.two32[k], factors, entry, key, static_cast<std::uint32_t>(pair),
                            scratch.batches);
            } else {
                scan_pair(primes[j], plan.residues[k], scratch.two32[k], factors, pair, scratch, scan);
            }
        };
        scan_prime_shifts(primes[j], shifts, scan, walk, count);
    }
    finish_far_chunk(primes, n, plan, scratch, out);
}

void start_far_chunk(std::size_t n, const scan_plan& plan, far_scratch& scratch) {
    const std::size_t shifts = plan.residues.size();
    scratch.single.clear();
    scratch.batches.tallies.assign(n * shifts, 0);
    clear_pattern_table(scratch.batches.patterns);
    scratch.two32.resize(shifts);
    for (std::size_t k = 0; k < shifts; ++k) scratch.two32[k] = two32_mod(plan.residues[k]);
}

void finish_far_chunk(const std::int64_t* primes, std::size_t n, const scan_plan& plan, far_scratch& scratch,
                      prime_scan* out) {
    const std::size_t shifts = plan.residues.size();
    flush_batches(plan.residues, scratch.batches);
    // A tally with witnesses but no divisors (counted_alone) stands for the
    // next count of those counted on their own, in pair order.
    std::size_t next_single = 0;
    const auto add_share = [&](std::size_t k, pair_tally tally, long double& uniform_sum, long double& weighted_sum) {
        if (tally_tau(tally) != 0) {
            add_witness_share(uniform_sum, weighted_sum, tally_witnesses(tally), tally_tau(tally),
                              plan.residues[k].weight);
        } else {
            const far_scratch::single_count& alone = scratch.single[next_single++];
            add_witness_share(uniform_sum, weighted_sum, alone.count, alone.tau, plan.residues[k].weight);
        }
    };
    if (plan.high_first == 0) {
        for (std::size_t j = 0; j < n; ++j) {
            fold_masses(scratch.batches.tallies.data() + j * shifts, plan, out[j], add_share);
        }
        return;
    }
    // The shifts above the list continue each prime's sums in shift order.
    scan_scratch& batches = scratch.batches;
    batches.uniform_sums.assign(n, 0.0L);
    batches.weighted_sums.assign(n, 0.0L);
    for (std::size_t j = 0; j < n; ++j) {
        fold_tallies(batches.tallies.data() + j * shifts, plan, out[j], add_share, batches.uniform_sums[j],
                     batches.weighted_sums[j]);
    }
    scan_high_shifts_far(primes, n, plan, batches, out);
    for (std::size_t j = 0; j < n; ++j) {
        finish_masses(out[j], batches.uniform_sums[j], batches.weighted_sums[j], plan.shift_count, plan.weight_total);
    }
}

}  // namespace erdos
