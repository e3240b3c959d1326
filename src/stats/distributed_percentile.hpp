// The summary's percentiles of mass lists spread over several processes, found exactly without gathering them.
#pragma once

#include <cstdint>
#include <vector>

#include "stats/radix_select.hpp"
#include "stats/summary_format.hpp"

namespace erdos {

// The searches for the entries the summary's percentiles need: of the
// uniform masses the two ranks around each of the three quantiles, of the
// weighted ones the two around the median, each rank searched once.
struct percentile_search {
    std::uint64_t total = 0;  // masses in each list, over all processes
    struct target {
        bool weighted = false;
        std::uint64_t rank = 0;  // among all masses of its list
        rank_search search;
    };
    std::vector<target> targets;
};

// The searches for lists of `total` masses in all (the same for both lists).
percentile_search start_percentile_search(std::uint64_t total);

// One pass on one process: its own lists counted into counts, which is
// resized to targets.size() * select_digit_values and zeroed first.
void count_percentile_pass(const percentile_search& search, const std::vector<double>& uniform,
                           const std::vector<double>& weighted, std::vector<std::uint64_t>& counts);

// Fixes the next digit of every search from the counts of all processes
// added up entry by entry.
void take_percentile_pass(percentile_search& search, const std::vector<std::uint64_t>& total_counts);

// After select_passes passes: the percentiles, interpolated exactly as the
// single-process summary does; NaN (sign clear) for empty lists.
summary_percentiles finish_percentile_search(const percentile_search& search);

}  // namespace erdos
