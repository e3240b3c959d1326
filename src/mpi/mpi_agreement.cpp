// Faults caught on each process and reduced to one that all of them act on.
#include "mpi/mpi_agreement.hpp"

#include <algorithm>
#include <chrono>
#include <exception>
#include <new>
#include <thread>

#include "driver/run_messages.hpp"
#include "stop_request.hpp"

namespace erdos {

std::string broadcast_text(const std::string& text, MPI_Comm comm) {
    std::uint64_t length = text.size();
    MPI_Bcast(&length, 1, MPI_UINT64_T, 0, comm);
    std::string copy = text;
    copy.resize(static_cast<std::size_t>(length));
    MPI_Bcast(copy.data(), static_cast<int>(length), MPI_CHAR, 0, comm);
    return copy;
}

void guard(fault& local, const std::function<void()>& work) {
    if (local.kind != fault_kind::none) return;
    try {
        work();
    } catch (const run_stopped& stopped) {
        local = {fault_kind::signal, stopped.signal, {}};
    } catch (...) {
        local = current_exception_fault();
    }
}

agreed_fault agree_on_fault(const fault& local, MPI_Comm comm) {
    fault_kind kind = local.kind;
    int detail = local.detail;
    if (kind == fault_kind::none) {
        if (const int signal = stop_signal.load(std::memory_order_relaxed); signal != 0) {
            kind = fault_kind::signal;
            detail = signal;
        }
    }
    // One number orders the faults: the kind above, the detail below (errno
    // values and signal numbers stay far below 2^20). MAXLOC gives the
    // lowest rank among those that hold the largest.
    struct {
        long value;
        int rank;
    } mine{(static_cast<long>(kind) << 20) | (detail & 0xFFFFF), 0}, gravest{0, 0};
    MPI_Comm_rank(comm, &mine.rank);
    // A process that finished its block early waits here for the others,
    // often for seconds. A blocking reduction would spin on the processor all
    // that time, which on a node shared with other work (or with more
    // processes than cores) slows the very processes it waits for; the
    // reduction is started and then looked at with growing pauses instead.
    MPI_Request request = MPI_REQUEST_NULL;
    MPI_Iallreduce(&mine, &gravest, 1, MPI_LONG_INT, MPI_MAXLOC, comm, &request);
    auto pause = std::chrono::microseconds(20);
    for (int done = 0;;) {
        MPI_Test(&request, &done, MPI_STATUS_IGNORE);
        if (done != 0) break;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(2000));
    }
    return {static_cast<fault_kind>(gravest.value >> 20), static_cast<int>(gravest.value & 0xFFFFF), gravest.rank};
}

}  // namespace erdos
