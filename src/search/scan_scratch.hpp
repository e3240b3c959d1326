// The working memory of one scanning thread, reused from chunk to chunk.
#pragma once

#include <vector>

#include "search/count_kernel.hpp"
#include "search/pair_tally.hpp"
#include "search/pattern_table.hpp"
#include "search/residue_count.hpp"
#include "search/untabled_count.hpp"
#include "search/untabled_sweep.hpp"

namespace erdos {

struct scan_scratch {
    residue_lists lists;
    untabled_lists untabled;
    untabled_sweep_lists sweep;
    std::vector<pair_tally> tallies;  // per (prime, listed shift) of a chunk
    // Per prime of a chunk, its two mass sums over the listed shifts, which
    // the shifts above them continue.
    std::vector<long double> uniform_sums;
    std::vector<long double> weighted_sums;
    pattern_table patterns;
    // Count with 32-byte vectors in one register each (AVX2) rather than in
    // two halves; the counts are the same either way.
    bool avx2 = avx2_available();
};

}  // namespace erdos
