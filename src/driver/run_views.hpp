// The record primes and the profile of a run: set up, written and put in place beside its other outputs.
#pragma once

#include "driver/run_config.hpp"
#include "driver/run_fault.hpp"
#include "driver/run_outputs.hpp"
#include "stats/run_stats.hpp"

namespace erdos {

// Sets up the folding of the record primes and of the profile into stats,
// for the outputs config asks for. A resumed run folds its kept rows into
// them as into everything else, so that both come out as if it had never
// stopped.
void set_up_views(run_stats& stats, const run_config& config);

// Checks the targets of the records and the profile, those config asks
// for, and prepares their temporary files (unique names) before any work.
fault prepare_view_outputs(run_outputs& outputs, const run_config& config);

// The records and the profile of a finished run (stats merged over the
// whole run) written into their staged files. Returns the fault of a failed
// open, write or close, or none.
fault write_view_outputs(run_outputs& outputs, const run_config& config, const run_stats& stats);

// Renames the written records and then the profile over their targets.
// Returns the fault of the first that fails, or none.
fault commit_view_outputs(run_outputs& outputs);

// Removes their temporary files; the targets stay as they were.
void discard_view_outputs(run_outputs& outputs);

}  // namespace erdos
