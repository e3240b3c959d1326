// How the processes of an MPI run agree that one of them failed, so that all stop together and none waits forever.
#pragma once

#include <mpi.h>

#include <functional>
#include <string>

namespace erdos {

// What went wrong on one process, gravest last. A file fault names the
// results or the summary file, with its errno value; a refused resumption
// says why in its text; a signal fault has its signal number.
enum class fault_kind : int {
    none = 0, results_file, summary_file, masses_file, resume_refused, out_of_memory, internal, signal
};

struct fault {
    fault_kind kind = fault_kind::none;
    int detail = 0;    // the errno value or the signal number
    std::string text;  // an internal error's description, or a file error's wording
};

// Runs work unless fault is set already, and turns whatever it throws into
// fault: memory exhaustion, a stop request (run_stopped), any other exception.
// Never lets an exception through, so that the caller reaches the next
// collective call as every other process does.
void guard(fault& local, const std::function<void()>& work);

// The fault every process acts on, and which process reports it.
struct agreed_fault {
    fault_kind kind = fault_kind::none;
    int detail = 0;
    int reporter = 0;  // the lowest rank that has this very fault
};

// Collective over comm; every process must call it at the same point. A stop
// request not yet turned into a fault counts as a signal fault. Returns the
// gravest fault of all processes (by kind, then by detail), the same on every
// process.
agreed_fault agree_on_fault(const fault& local, MPI_Comm comm);

}  // namespace erdos
