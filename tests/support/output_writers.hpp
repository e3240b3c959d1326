// Whole output files written in one call, for tests that need one on disk.
#pragma once

#include <string>

#include "output/output_file.hpp"
#include "stats/run_stats.hpp"
#include "stats/summary_format.hpp"

namespace erdos {

// Creates or truncates path and writes the summary of stats into it, its
// percentiles found in its masses (which may be reordered or put on file).
// Returns 0 or an errno value.
int write_summary(const std::string& path, const summary_bounds& bounds, run_stats& stats);

// Creates or truncates path and writes the results header. Returns 0 or an errno value.
int open_results_file(output_file& file, const std::string& path);

}  // namespace erdos
