// Queues pairs into the batch of their exponent pattern, and counts the batches left partly filled.
#pragma once

#include <cstdint>
#include <vector>

#include "numtheory/factor_window.hpp"
#include "search/scan_scratch.hpp"
#include "search/shift_residues.hpp"

namespace erdos {

// Takes the next lane of batch b (found by bucket_for) for the pair with
// index `pair` in its chunk, lets fill(batch, lane) write the logarithms of
// its m's factors there, and counts the batch into scratch.tallies as soon
// as its lanes are full. The shift must have logarithms, m must be a unit
// modulo it, and the batch's pattern must fit: at most
// factor_window::max_factors factors, exponents below 32 and tau(m^2) <
// 2^16 (see pair_tally.hpp). Inline, with fill: it runs for nearly every
// pair.
template <typename Fill>
[[gnu::always_inline]] inline void queue_in_bucket(const shift_residues& shift, std::size_t b, std::uint32_t pair,
                                                   scan_scratch& scratch, Fill fill) {
    bucket_state& state = scratch.patterns.states[b];
    lane_batch& batch = scratch.patterns.buckets[b].batch;
    const int lane = state.lanes++;
    fill(batch, lane);
    batch.minus_one_log[lane] = shift.minus_one_log;
    batch.minus_quarter_log[lane] = shift.minus_quarter_log;
    batch.order[lane] = shift.log_order;
    batch.pair[lane] = pair;
    if (state.lanes == lane_batch::width) {
        count_batch(scratch.patterns.buckets[b], lane_batch::width, state.tau, scratch.tallies.data(),
                    scratch.avx2);
        state.lanes = 0;
    }
}

// The same in the batch of exponent pattern `key`, opened on first sight.
template <typename Fill>
[[gnu::always_inline]] inline void queue_lane(const shift_residues& shift, std::uint64_t key, std::uint32_t pair,
                                              scan_scratch& scratch, Fill fill) {
    queue_in_bucket(shift, bucket_for(scratch.patterns, key), pair, scratch, fill);
}

// Queues the pair with index `pair` in its chunk, whose m lies in the filled
// window, with the others of its exponent pattern (see queue_lane).
[[gnu::always_inline]] inline void queue_pair(const shift_residues& shift, std::int64_t m, std::uint32_t pair,
                                              const factor_window& window, scan_scratch& scratch) {
    const auto i = static_cast<std::size_t>(m - window.lo);
    const factor_window::entry& entry = window.entries[i];
    queue_lane(shift, entry.pattern, pair, scratch, [&](lane_batch& batch, int lane) {
        // Most m have at most four small primes: those four slots are copied
        // whatever the count, and the large prime's logarithm is stored after
        // the small ones even when there is none (1, log 0), so that the
        // pattern, not a branch, says what counts. Unused slots hold valid
        // indices too: every window fills all of them.
        const std::uint16_t* slots = window.small.data() + i * factor_window::max_small;
        const std::uint16_t* prime_log = shift.prime_log.data();
        const int small = entry.small_count;
        batch.logs[0][lane] = prime_log[slots[0]];
        batch.logs[1][lane] = prime_log[slots[1]];
        batch.logs[2][lane] = prime_log[slots[2]];
        batch.logs[3][lane] = prime_log[slots[3]];
        for (int f = 4; f < small; ++f) batch.logs[f][lane] = prime_log[slots[f]];
        batch.logs[small][lane] = shift.log_of[reduce(shift, entry.large)];
    });
}

// Counts every batch still holding pairs, each the cheaper way: the vector
// kernel, or pair by pair from the residues. `residues` are the run's shifts,
// a pair's shift being its index modulo their number.
void flush_batches(const std::vector<shift_residues>& residues, scan_scratch& scratch);

}  // namespace erdos
