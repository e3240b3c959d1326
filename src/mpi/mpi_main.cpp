// The entry point of erdos-straus-mpi: starts MPI and hands the arguments to mpi_erdos_main.
#include <mpi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "mpi/mpi_run.hpp"

int main(int argc, char** argv) {
    // Only the main thread calls MPI; the scanning threads never do.
    int provided = 0;
    if (MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided) != MPI_SUCCESS) {
        std::fputs("erdos-straus-mpi: cannot start MPI\n", stderr);
        return 1;
    }
    std::vector<std::string> args;
    try {
        for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    } catch (...) {
        std::fputs("erdos-straus-mpi: out of memory\n", stderr);
        MPI_Abort(MPI_COMM_WORLD, 1);
        return 1;
    }
    const int status = erdos::mpi_erdos_main(args, MPI_COMM_WORLD, stdout, stderr);
    MPI_Finalize();
    return status;
}
