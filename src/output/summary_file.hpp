// The summary file, written once the run is finished.
#pragma once

#include "output/output_file.hpp"
#include "stats/run_stats.hpp"
#include "stats/summary_format.hpp"

namespace erdos {

// Writes format_summary into a file already opened, which is closed at the
// end. The mass lists of stats keep their entries but not their order.
// Returns 0 or the errno value of the failed write or close. Throws
// run_stopped when a signal asks the run to stop.
int write_summary_file(output_file& file, const summary_bounds& bounds, run_stats& stats);

}  // namespace erdos
