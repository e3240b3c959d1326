// The summary text: counts, extremes, medians and the least-shift histogram of a run.
#pragma once

#include <cstdint>
#include <string>

#include "stats/run_stats.hpp"

namespace erdos {

// The bounds of a run as the summary prints them.
struct summary_bounds {
    std::int64_t p_min = 0;
    bool has_p_min = false;  // "p_min" is printed only for a run given one
    std::int64_t p_max = 0;
    std::int32_t c_max = 0;
    std::uint64_t shift_count = 0;
};

// The summary's percentiles of the mass lists.
struct summary_percentiles {
    double median_uniform = 0.0;
    double p10_uniform = 0.0;
    double p90_uniform = 0.0;
    double median_weighted = 0.0;
};

// The quantiles behind them: the median, the 10th and the 90th percentile.
inline constexpr double summary_quantiles[3] = {0.5, 0.1, 0.9};

// The whole summary text: eighteen "key": value lines (bounds, counts, extremes,
// medians, 10th/90th percentiles and the reciprocals of the medians), with a
// "p_min" line before "p_max" when the run was given a lower bound, and the
// least-shift histogram, numbers as in the results file. The percentiles are
// given (find_summary_percentiles, or the search over several processes);
// the masses of stats are not read.
std::string format_summary(const summary_bounds& bounds, const run_stats& stats,
                           const summary_percentiles& percentiles);

}  // namespace erdos
