// How the processes of an MPI run agree that one of them failed, so that all stop together and none waits forever.
#pragma once

#include <mpi.h>

#include <functional>
#include <string>

#include "driver/run_fault.hpp"

namespace erdos {

// This process's rank in comm, and the number of processes.
inline int rank_of(MPI_Comm comm) {
    int rank = 0;
    MPI_Comm_rank(comm, &rank);
    return rank;
}
inline int size_of(MPI_Comm comm) {
    int size = 1;
    MPI_Comm_size(comm, &size);
    return size;
}

// Rank 0's text, on every process (collective).
std::string broadcast_text(const std::string& text, MPI_Comm comm);

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
