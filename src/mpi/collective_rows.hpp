// The results rows of all processes of an MPI run, written in prime order a round at a time.
#pragma once

#include <mpi.h>

#include <cstdint>
#include <string>

#include "output/output_file.hpp"

namespace erdos {

// Where the rows go. A regular file is written by every process at once
// (MPI-IO), each at the offset that the rows before its own give; any other
// target (/dev/null, a pipe) only by rank 0, which receives the others' rows
// and writes them in rank order.
struct collective_rows {
    MPI_Comm comm = MPI_COMM_NULL;
    bool shared = false;            // written through MPI-IO
    MPI_File file = MPI_FILE_NULL;  // shared: the file open on every process
    std::uint64_t offset = 0;       // shared: the bytes written so far
    output_file* direct = nullptr;  // otherwise: rank 0's open file
    std::string receive_buffer;     // and the others' rows on their way to it
};

// Opens path on every process (collective; path need be known only on rank
// 0, which has created it). direct must be null everywhere but on rank 0,
// where it is the target opened for writing; then nothing is opened. Returns
// 0 or an errno value, which may differ between processes; throws nothing
// of its own.
int open_collective_rows(collective_rows& rows, const std::string& path, output_file* direct, MPI_Comm comm);

// Writes every process's block of rows, rank 0's first, after those of the
// earlier rounds (collective). Returns 0 or an errno value on the process
// that saw the failure; every process takes part to the end whatever fails,
// so that none is left waiting.
int write_collective_rows(collective_rows& rows, const std::string& block);

// Makes what every process has written durable (collective; nothing to do
// for a direct target). Returns 0 or an errno value.
int sync_collective_rows(collective_rows& rows);

// Closes the shared file (collective). Returns 0 or an errno value.
int close_collective_rows(collective_rows& rows);

}  // namespace erdos
