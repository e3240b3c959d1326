// The vector kernel: counts the witnesses of a whole batch at once, in logarithms.
#pragma once

#include <cstdint>

#include "search/lane_batch.hpp"
#include "search/pair_tally.hpp"

namespace erdos {

// Counts the witnesses of the first `lanes` pairs of the bucket's batch, which
// all have tau divisors of m^2, and stores each pair's tally at
// tallies[pair]. With `avx2`, 32-byte AVX2 registers are used (the processor
// must have them); without, the baseline x86-64 build. The counts are the
// same either way.
void count_batch(const pattern_bucket& bucket, int lanes, std::uint32_t tau, pair_tally* tallies, bool avx2);

// Whether this processor can run the AVX2 build.
bool avx2_available();

}  // namespace erdos
