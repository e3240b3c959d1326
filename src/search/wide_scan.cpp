// The wide scan: fills a window of m, settles each prime's least shift, queues the rest from the window as it stands.
#include "search/wide_scan.hpp"

#include <bit>

#include "search/batch_queue.hpp"
#include "search/far_pair_walk.hpp"
#include "search/mass_sums.hpp"
#include "search/residue_count.hpp"
#include "search/shift_list.hpp"

namespace erdos {

namespace {

using window_t = wide_factor_window;

// The prime powers of m (at i in the filled window), with their residues
// modulo a tabled shift.
far_residue_factors gather(const shift_residues& s, const window_t& w, std::size_t i, std::uint64_t m,
                           std::uint32_t two32) {
    far_residue_factors f;
    const window_t::entry& e = w.entries[i];
    const std::uint32_t* slots = w.small.data() + i * window_t::max_small;
    for (int j = 0; j < e.small_count; ++j) {
        f.prime[j] = slots[j];
        f.exponent[j] = static_cast<std::int32_t>((e.pattern >> (5 * j)) & 31U);
        f.residue[j] = reduce(s, slots[j]);
    }
    f.count = e.small_count;
    if (f.count > 0 && f.prime[0] == 2) f.exponent[0] = std::countr_zero(m);  // may exceed the pattern's 31
    if (const std::uint64_t large = wide_large(w, i); large > 1) {
        f.prime[f.count] = large;
        f.exponent[f.count] = 1;
        f.residue[f.count] = residue56(s, large, two32);
        ++f.count;
    }
    for (int j = 0; j < f.count; ++j) f.tau *= 2 * f.exponent[j] + 1;
    return f;
}

// Queues the pair in the batch of its m's exponent pattern with the
// logarithms of m's factors, when the pattern fits a batch; false when it
// does not. The shift must have logarithms and m must be a unit modulo it.
// As in the 32-bit scan, the first four slots are read whatever m's count
// (unused ones hold 1) and the large prime's logarithm follows the small
// ones even when it is 1 (log 0): the pattern, not a branch, says which
// count.
[[gnu::always_inline]] inline bool queue_wide(const shift_residues& s, std::uint32_t two32, const window_t& w,
                                              std::size_t i, std::uint64_t m, std::uint32_t pair,
                                              scan_scratch& batches) {
    const window_t::entry& e = w.entries[i];
    const int small = e.small_count;
    const std::uint64_t large = wide_large(w, i);
    if (small + (large > 1 ? 1 : 0) > factor_window::max_factors || !wide_twos_fit(m)) return false;
    const std::size_t b = bucket_for(batches.patterns, wide_pattern(e, large));
    if (batches.patterns.states[b].tau >= (std::uint32_t{1} << 16)) return false;  // beyond the 16-bit counts
    queue_in_bucket(s, b, pair, batches, [&](lane_batch& batch, int lane) {
        const std::uint32_t* slots = w.small.data() + i * window_t::max_small;
        const std::uint16_t* log_of = s.log_of.data();
        const auto log_at = [&](int f) { return log_of[reduce(s, slots[f])]; };
        static_assert(window_t::read_slots == 4, "four slots read whatever the count");
        batch.logs[0][lane] = log_at(0);
        batch.logs[1][lane] = log_at(1);
        batch.logs[2][lane] = log_at(2);
        batch.logs[3][lane] = log_at(3);
        for (int f = 4; f < small; ++f) batch.logs[f][lane] = log_at(f);
        if (small < factor_window::max_factors) batch.logs[small][lane] = s.log_of[residue56(s, large, two32)];
    });
    return true;
}

// One (prime, shift) pair, as in the far scan: the first witness in divisor
// order while the prime has no least shift, then the count, by the batches
// where the pattern fits, m is a unit and the shift has logarithms, else on
// its own. A walk that finds no witness proves the count is 0.
[[gnu::noinline]] void scan_pair(std::int64_t p, const shift_residues& s, std::uint32_t two32, const window_t& w,
                                 std::size_t pair, far_scratch& scratch, prime_scan& scan) {
    const std::int64_t m = (p + s.c) / 4;
    const auto i = static_cast<std::size_t>(m - w.lo);
    const auto c = static_cast<std::uint32_t>(s.c);
    const std::uint32_t m_residue = residue56(s, static_cast<std::uint64_t>(m), two32);
    const std::uint32_t t1 = minus_of(c, m_residue);
    const std::uint32_t t2 = s.minus_quarter;
    const bool first_walk = !scan.has_witness;
    far_residue_factors f;
    if (first_walk) {
        f = gather(s, w, i, static_cast<std::uint64_t>(m), two32);
        const walk_result found = first_witness_tabled(s, f, t1, t2);
        if (found.count == 0) return;  // no witness at all: the count stays 0
        settle_least_shift(scan, s.c, m, found.first_d, found.branch);
    }
    // For p > c, m = (p + c)/4 shares no factor with c, since p does not:
    // m is a unit. Smaller p are counted on their own.
    if (s.has_logs && p > s.c &&
        queue_wide(s, two32, w, i, static_cast<std::uint64_t>(m), static_cast<std::uint32_t>(pair), scratch.batches)) {
        return;
    }
    if (!first_walk) f = gather(s, w, i, static_cast<std::uint64_t>(m), two32);
    // Every divisor of m^2 is a unit modulo c exactly when m is.
    const bool units = s.inverse[m_residue] != 0;
    const std::int64_t count = count_witnesses_by_residues(s, f, static_cast<std::uint8_t>(t1),
                                                           static_cast<std::uint8_t>(t2), units, scratch.batches.lists);
    if (count > 0) count_alone(scratch, pair, count, f.tau);
}

// Every pair of the primes [first, last), whose m lie in the filled window.
void scan_window_primes(const std::int64_t* primes, std::size_t first, std::size_t last, const scan_plan& plan,
                        const window_t& w, far_scratch& scratch, prime_scan* out) {
    const std::size_t shifts = plan.residues.size();
    const bool only_units = plan.all_logs && primes[first] > plan.shift_list.back();
    for (std::size_t j = first; j < last; ++j) {
        prime_scan& scan = out[j];
        const auto walk = [&](std::size_t k) {
            scan_pair(primes[j], plan.residues[k], scratch.two32[k], w, j * shifts + k, scratch, scan);
        };
        // The rest straight into the batches where they fit, when every
        // shift has logarithms and the prime exceeds every shift.
        const auto count = [&](std::size_t k) {
            const shift_residues& s = plan.residues[k];
            const std::size_t pair = j * shifts + k;
            const std::int64_t m = (primes[j] + s.c) / 4;
            const auto i = static_cast<std::size_t>(m - w.lo);
            if (!only_units || !queue_wide(s, scratch.two32[k], w, i, static_cast<std::uint64_t>(m),
                                           static_cast<std::uint32_t>(pair), scratch.batches)) {
                scan_pair(primes[j], s, scratch.two32[k], w, pair, scratch, scan);
            }
        };
        scan_prime_shifts(primes[j], shifts, scan, walk, count);
    }
}

}  // namespace

bool wide_scan_covers(std::int64_t p_max, std::int32_t c_max) {
    if (c_max < 3 || c_max > shift_residues::max_table_shift) return false;
    const std::int64_t last_shift = 3 + 4 * static_cast<std::int64_t>(count_shifts(c_max) - 1);
    return p_max >= 1 && wide_window_covers((p_max + last_shift) / 4);
}

void scan_primes_wide(const std::int64_t* primes, std::size_t n, const scan_plan& plan, std::int64_t grid_lo,
                      wide_factor_window& window, far_scratch& scratch, prime_scan* out) {
    start_far_chunk(n, plan, scratch);
    // A window holds the m of the primes whose first m lies in it, and the
    // reach of their shifts beyond; the next one resumes its sieve.
    for (std::size_t next = 0; next < n;) {
        const std::int64_t lo = grid_lo + wide_window_of(primes[next], grid_lo) * wide_window_span;
        std::size_t end = next;
        while (end < n && (primes[end] + 3) / 4 < lo + wide_window_span) ++end;
        fill_wide_factor_window(window, lo);
        scan_window_primes(primes, next, end, plan, window, scratch, out);
        next = end;
    }
    finish_far_chunk(primes, n, plan, scratch, out);
}

}  // namespace erdos
