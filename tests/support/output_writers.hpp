// Whole output files written in one call, for tests that need one on disk.
#pragma once

#include <string>

#include "output/output_file.hpp"
#include "stats/run_stats.hpp"
#include "stats/summary_format.hpp"

namespace erdos {

// The summary text of stats, its percentiles selected in a copy of its lists.
std::string format_summary(const summary_bounds& bounds, const run_stats& stats);

// Creates or truncates path and writes the summary of stats into it (its
// mass lists keep their entries but not their order). Returns 0 or an errno value.
int write_summary(const std::string& path, const summary_bounds& bounds, run_stats& stats);

// Creates or truncates path and writes the results header. Returns 0 or an errno value.
int open_results_file(output_file& file, const std::string& path);

}  // namespace erdos
