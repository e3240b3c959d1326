// A batch: up to sixteen (prime, shift) pairs whose m share one exponent pattern, laid out lane by lane.
#pragma once

#include <cstdint>

#include "numtheory/factor_window.hpp"
#include "tuning.hpp"

namespace erdos {

// The logarithms of a batch's pairs, one lane per pair, each a pair of bytes
// (see shift_residues): lane l of logs[i] is the logarithm of the i-th factor
// of its m modulo its shift.
struct lane_batch {
    static constexpr int width = tuning::batch_lanes;
    alignas(32) std::uint16_t logs[factor_window::max_factors][width];
    alignas(32) std::uint16_t minus_one_log[width];      // the kernel adds log m to it for the class of -m
    alignas(32) std::uint16_t minus_quarter_log[width];  // the class of -1/4, where 4d + 1 = 0
    alignas(32) std::uint16_t order[width];              // the orders of the two cyclic groups
    std::uint32_t pair[width];                           // the pair's index in its chunk
};

// An exponent pattern and the batch of pairs that have it.
struct pattern_bucket {
    std::uint64_t key = 0;  // the exponents, 5 bits each, in the order of the factors
    int factors = 0;
    int folded = 0;         // the factor with most exponents, folded into the targets
    std::int32_t exponent[factor_window::max_factors];
    lane_batch batch;
};

}  // namespace erdos
