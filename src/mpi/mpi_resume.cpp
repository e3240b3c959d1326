// Reading the kept rows of a stopped MPI run back on every process.
#include "mpi/mpi_resume.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "driver/run_outputs.hpp"
#include "mpi/kept_split.hpp"
#include "mpi/mpi_agreement.hpp"
#include "output/kept_run.hpp"
#include "output/quoting.hpp"
#include "output/resume_rows.hpp"
#include "stats/results_rows.hpp"

namespace erdos {

namespace {

void broadcast_record(checkpoint_record& record, MPI_Comm comm) {
    std::int64_t fields[7] = {record.p_min, record.has_p_min ? 1 : 0, record.p_max, record.c_max,
                              static_cast<std::int64_t>(record.durable_bytes), record.rows, record.last_p};
    MPI_Bcast(fields, 7, MPI_INT64_T, 0, comm);
    record = {fields[0], fields[1] != 0, fields[2], static_cast<std::int32_t>(fields[3]),
              static_cast<std::uint64_t>(fields[4]), fields[5], fields[6]};
}

fault refusal(int error, const std::string& text = {}) { return {fault_kind::resume_refused, error, text}; }

// Rank 0: the kept file and its record checked as erdos-straus checks them,
// the header read through the very file the run holds locked, and the kept
// rows cut into one part per process. rows_to_read tells whether there are
// rows to read back.
fault plan_kept_rows(const run_config& config, const staged_output& results, unsigned processes,
                     checkpoint_record& from, bool& rows_to_read, std::vector<kept_part>& parts) {
    const kept_run kept = check_kept_run(record_of(config), results, rows_to_read);
    if (kept.error != 0 || !kept.refusal.empty()) {
        rows_to_read = false;
        return refusal(kept.error, kept.refusal);
    }
    from = kept.from;
    if (!rows_to_read || from.durable_bytes == 0) {
        rows_to_read = false;
        return {};
    }
    int fd = -1;
    if (const int error = open_kept_rows(results, fd); error != 0) return refusal(error);
    std::string problem;
    fault found;
    if (const int error = check_kept_header(fd, from.durable_bytes, problem); error != 0) {
        found = refusal(error);
    } else if (!problem.empty()) {
        found = refusal(0, "in " + quote_for_message(results.temporary) + ", " + problem);
    } else if (const int error2 = split_kept_rows(fd, std::strlen(results_header), from.durable_bytes, processes,
                                                  config.p_min - 1, parts);
               error2 != 0) {
        found = refusal(error2);
    }
    close(fd);
    return found;
}

// This process's part of the kept rows, [begin, end) after after_p, folded into stats.
fault fold_part(const std::string& kept_name, const run_config& config, const std::int64_t* cut, run_stats& stats,
                kept_rows& mine) {
    const int fd = open(kept_name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return refusal(errno);
    mine = fold_kept_rows(fd, static_cast<std::uint64_t>(cut[0]), static_cast<std::uint64_t>(cut[1]),
                          row_limits{config.p_min, config.p_max, config.c_max}, cut[2], stats);
    close(fd);
    if (mine.error != 0) return refusal(mine.error);
    if (!mine.problem.empty()) return refusal(0, "in " + quote_for_message(kept_name) + ", " + mine.problem);
    return {};
}

}  // namespace

void read_kept_rows_together(const run_config& config, const staged_output& results, MPI_Comm comm,
                             checkpoint_record& from, run_stats& stats, fault& local) {
    const int rank = rank_of(comm);
    const int size = size_of(comm);
    bool rows_to_read = false;
    std::vector<kept_part> parts;
    if (rank == 0) {
        guard(local, [&] {
            local = plan_kept_rows(config, results, static_cast<unsigned>(size), from, rows_to_read, parts);
        });
    }
    if (agree_on_fault(local, comm).kind != fault_kind::none) return;
    broadcast_record(from, comm);
    int reading = rows_to_read ? 1 : 0;
    MPI_Bcast(&reading, 1, MPI_INT, 0, comm);
    if (reading == 0) return;

    std::vector<std::int64_t> cuts(static_cast<std::size_t>(size) * 3);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        cuts[3 * i] = static_cast<std::int64_t>(parts[i].begin);
        cuts[3 * i + 1] = static_cast<std::int64_t>(parts[i].end);
        cuts[3 * i + 2] = parts[i].after_p;
    }
    MPI_Bcast(cuts.data(), static_cast<int>(cuts.size()), MPI_INT64_T, 0, comm);
    const std::string kept_name = broadcast_text(results.temporary, comm);
    kept_rows mine;
    guard(local, [&] { local = fold_part(kept_name, config, cuts.data() + 3 * rank, stats, mine); });
    // The first refused row in file order is on the lowest process that refuses one.
    if (agree_on_fault(local, comm).kind != fault_kind::none) return;
    std::int64_t rows = 0;
    std::int64_t last_p = 0;
    MPI_Allreduce(&mine.rows, &rows, 1, MPI_INT64_T, MPI_SUM, comm);
    MPI_Allreduce(&mine.last_p, &last_p, 1, MPI_INT64_T, MPI_MAX, comm);
    if (rank == 0 && (rows != from.rows || last_p != from.last_p)) local = refusal(0, kept_rows_mismatch(results));
}

}  // namespace erdos
