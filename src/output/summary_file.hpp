// The summary file, written once the run is finished.
#pragma once

#include "output/output_file.hpp"
#include "stats/run_stats.hpp"
#include "stats/summary_format.hpp"

namespace erdos {

// Writes the summary of stats with the given percentiles into a file already
// opened, which is closed at the end. Returns 0 or the errno value of the
// failed write or close.
int write_summary_file(output_file& file, const summary_bounds& bounds, const run_stats& stats,
                       const summary_percentiles& percentiles);

}  // namespace erdos
