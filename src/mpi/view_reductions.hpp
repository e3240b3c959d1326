// The record primes and the profile of every process brought together on rank 0.
#pragma once

#include <mpi.h>

#include "stats/run_stats.hpp"

namespace erdos {

// Collective over comm: the records and the profile of every process's
// stats (mine) merged into whole on rank 0, as if one process had folded
// every prime in order; rank 0 takes the processes one at a time, so that it
// holds at most two profiles whatever their number. Nothing changes on the
// other processes, nor when the run wants neither.
void gather_views(const run_stats& mine, run_stats& whole, MPI_Comm comm);

}  // namespace erdos
