// The aggregates of every process of an MPI run reduced to those of the whole run, exactly.
#pragma once

#include <mpi.h>

#include "driver/run_fault.hpp"
#include "stats/run_stats.hpp"
#include "stats/summary_format.hpp"

namespace erdos {

// Collective over comm: every process's stats (all but the mass lists)
// merged on rank 0 as if one process had folded every prime in order. The
// other processes get empty aggregates.
run_stats gather_run_stats(const run_stats& mine, MPI_Comm comm);

// Collective over comm: the summary's percentiles of the mass lists of every
// process, found by radix passes over each process's own lists with the
// digit counts added up, so that no list is gathered. A failure is left in
// local, on the process that met it (percentiles are then unspecified); the
// caller agrees on it next.
void reduce_percentiles(const run_stats& mine, MPI_Comm comm, summary_percentiles& percentiles, fault& local);

}  // namespace erdos
