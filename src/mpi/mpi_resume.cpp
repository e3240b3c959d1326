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
#include "output/crc32c.hpp"
#include "output/kept_run.hpp"
#include "output/quoting.hpp"
#include "output/resume_rows.hpp"
#include "stats/results_rows.hpp"

namespace erdos {

namespace {

void broadcast_record(checkpoint_record& record, MPI_Comm comm) {
    std::int64_t fields[9] = {record.p_min, record.has_p_min ? 1 : 0, record.p_max, record.c_max,
                              static_cast<std::int64_t>(record.durable_bytes), record.rows, record.last_p,
                              record.has_crc ? 1 : 0, record.crc32c};
    MPI_Bcast(fields, 9, MPI_INT64_T, 0, comm);
    record = {fields[0], fields[1] != 0, fields[2], static_cast<std::int32_t>(fields[3]),
              static_cast<std::uint64_t>(fields[4]), fields[5], fields[6], fields[7] != 0,
              static_cast<std::uint32_t>(fields[8])};
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
        found = refusal(0, damaged_kept_rows(results, problem));
    } else if (const int error2 = split_kept_rows(fd, std::strlen(results_header), from.durable_bytes, processes,
                                                  config.p_min - 1, parts);
               error2 != 0) {
        found = refusal(error2);
    }
    close(fd);
    return found;
}

// This process's part of the kept rows, [begin, end) after after_p, folded
// into stats; the kept rows end with the prime last_p.
fault fold_part(const staged_output& named, const run_config& config, const std::int64_t* cut, std::int64_t last_p,
                run_stats& stats, kept_rows& mine) {
    const int fd = open(named.temporary.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return refusal(errno);
    mine = fold_kept_rows(fd, static_cast<std::uint64_t>(cut[0]), static_cast<std::uint64_t>(cut[1]),
                          row_limits{config.p_min, config.p_max, config.c_max, last_p}, cut[2], stats);
    close(fd);
    if (mine.error != 0) return refusal(mine.error);
    if (!mine.problem.empty()) return refusal(0, damaged_kept_rows(named, mine.problem));
    return {};
}

// Rank 0: the checksum of the header and every process's part, in file order.
std::uint32_t kept_checksum(const kept_rows& mine, std::uint64_t part_bytes, MPI_Comm comm) {
    const int size = size_of(comm);
    std::vector<std::uint64_t> parts(2 * static_cast<std::size_t>(size));
    const std::uint64_t own[2] = {mine.crc, part_bytes};
    MPI_Gather(own, 2, MPI_UINT64_T, parts.data(), 2, MPI_UINT64_T, 0, comm);
    std::uint32_t crc = crc32c_extend(0, results_header);
    for (int i = 0; i < size; ++i) {
        crc = crc32c_combine(crc, static_cast<std::uint32_t>(parts[2 * i]), parts[2 * i + 1]);
    }
    return crc;
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
    // The names as rank 0 has them, for the file and for the messages.
    staged_output named;
    named.temporary = broadcast_text(results.temporary, comm);
    named.destination = broadcast_text(results.destination, comm);
    kept_rows mine;
    guard(local, [&] { local = fold_part(named, config, cuts.data() + 3 * rank, from.last_p, stats, mine); });
    // The first refused row in file order is on the lowest process that refuses one.
    if (agree_on_fault(local, comm).kind != fault_kind::none) return;
    std::int64_t rows = 0;
    std::int64_t last_p = 0;
    MPI_Allreduce(&mine.rows, &rows, 1, MPI_INT64_T, MPI_SUM, comm);
    MPI_Allreduce(&mine.last_p, &last_p, 1, MPI_INT64_T, MPI_MAX, comm);
    const auto* cut = cuts.data() + 3 * rank;
    const std::uint32_t crc = kept_checksum(mine, static_cast<std::uint64_t>(cut[1] - cut[0]), comm);
    if (rank == 0) {
        if (rows != from.rows || last_p != from.last_p) {
            local = refusal(0, kept_rows_mismatch(results));
        } else if (from.has_crc && crc != from.crc32c) {
            local = refusal(0, kept_checksum_mismatch(results));
        }
    }
    // The run goes on with the checksum of the kept bytes, also after a record that had none.
    from.has_crc = true;
    from.crc32c = crc;
}

}  // namespace erdos
