// Counting the batches left partly filled at the end of a chunk.
#include "search/batch_queue.hpp"

#include <cmath>

#include "search/residue_factors.hpp"
#include "tuning.hpp"

namespace erdos {

namespace {

// The vector kernel costs the same for one lane as for sixteen, about tau/2
// steps for the batch, while the meet in the middle costs about
// 2 sqrt(5 tau) steps per pair: a few lanes of a pattern with many divisors
// are counted pair by pair. The unused lanes of a batch count whatever they
// hold, and their counts are never read.
void flush_batch(const pattern_bucket& bucket, bucket_state& state, const std::vector<shift_residues>& residues,
                 scan_scratch& scratch) {
    const lane_batch& batch = bucket.batch;
    const int lanes = state.lanes;
    if (lanes == 0) return;
    state.lanes = 0;
    const double tau = state.tau;
    if (lanes * (2.0 * std::sqrt(static_cast<double>(tuning::meet_ratio) * tau) + tuning::flush_pair_cost) >=
        tau / 2.0 + tuning::flush_batch_cost) {
        count_batch(bucket, lanes, state.tau, scratch.tallies.data(), scratch.avx2);
        return;
    }
    const std::size_t shifts = residues.size();
    for (int lane = 0; lane < lanes; ++lane) {
        const std::uint32_t pair = batch.pair[lane];
        const shift_residues& shift = residues[pair % shifts];
        const auto c = static_cast<std::size_t>(shift.c);
        // The residues back from the logarithms, and -m from them.
        residue_factors factors;
        factors.count = bucket.factors;
        factors.tau = state.tau;
        std::uint8_t minus_m = unit_of_log(shift, batch.minus_one_log[lane]);
        for (int i = 0; i < bucket.factors; ++i) {
            factors.exponent[i] = bucket.exponent[i];
            factors.residue[i] = unit_of_log(shift, batch.logs[i][lane]);
            for (int e = 0; e < factors.exponent[i]; ++e) minus_m = shift.mul[minus_m * c + factors.residue[i]];
        }
        const auto minus_quarter = static_cast<std::uint8_t>(shift.minus_quarter);
        const std::int64_t count =
            count_witnesses_by_residues(shift, factors, minus_m, minus_quarter, true, scratch.lists);
        scratch.tallies[pair] = make_tally(count, state.tau);
    }
}

}  // namespace

void flush_batches(const std::vector<shift_residues>& residues, scan_scratch& scratch) {
    pattern_table& table = scratch.patterns;
    for (std::size_t b = 0; b < table.buckets.size(); ++b) {
        flush_batch(table.buckets[b], table.states[b], residues, scratch);
    }
}

}  // namespace erdos
