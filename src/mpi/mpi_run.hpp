// The MPI program: the experiment spread over the processes of an MPI job, with the single program's outputs.
#pragma once

#include <mpi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace erdos {

// The whole program behind erdos-straus-mpi's main, called by every process
// of comm with the same arguments (without the program name). Reads them as
// erdos-straus does; help, version and argument errors are printed once, by
// rank 0. A run cuts the interval into blocks of about equal work, which the
// processes scan round by round (see mpi/block_plan.hpp); the rows reach
// one results file in prime order, the statistics and percentiles are
// reduced exactly, and rank 0 writes the summary and the closing line. The
// files, that line and the returned status are those of erdos-straus for any
// number of processes and threads. A failure on any process (a file that
// cannot be written, memory exhaustion, SIGINT, SIGTERM or SIGHUP) ends the
// run on every process with one message and the same status as erdos-straus
// gives (1, or 128 + the signal number); each process returns the same
// status. Where the processes cannot agree on a failure (memory exhaustion
// between two collective calls), the job is aborted with status 1.
int mpi_erdos_main(const std::vector<std::string>& args, MPI_Comm comm, std::FILE* out, std::FILE* err);

}  // namespace erdos
