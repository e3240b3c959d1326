// --resume over several processes: the kept rows checked on rank 0, then read back by every process, a part each.
#pragma once

#include <mpi.h>

#include "driver/run_config.hpp"
#include "driver/run_fault.hpp"
#include "output/checkpoint_record.hpp"
#include "output/staged_output.hpp"
#include "stats/run_stats.hpp"

namespace erdos {

// Collective over comm. Rank 0 checks the kept file of its staged results
// (`results`, meaningful there only) against its record and reads the
// header; the kept rows are cut into one part per process at line starts,
// and every process folds its part into stats with the first witnesses
// verified again. The parts' rows and last prime are held to the record.
// On return `from` holds, on every process, the checkpoint to go on from (the
// configuration of config with nothing durable when there are no kept rows).
// A refusal or failure is left in local, on the process that met it; the
// caller agrees on it at once.
void read_kept_rows_together(const run_config& config, const staged_output& results, MPI_Comm comm,
                             checkpoint_record& from, run_stats& stats, fault& local);

}  // namespace erdos
