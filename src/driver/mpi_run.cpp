// The phases of a run over several processes: outputs, rounds of blocks, reductions, summary, status.
#include "driver/mpi_run.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

#include "driver/block_plan.hpp"
#include "driver/checkpoint.hpp"
#include "driver/kept_run.hpp"
#include "driver/mpi_agreement.hpp"
#include "driver/progress.hpp"
#include "driver/run.hpp"
#include "driver/run_outputs.hpp"
#include "driver/run_config.hpp"
#include "driver/walk_choice.hpp"
#include "numtheory/examined_primes.hpp"
#include "report/collective_rows.hpp"
#include "report/distributed_percentile.hpp"
#include "report/kept_split.hpp"
#include "report/progress_record.hpp"
#include "report/resume_rows.hpp"
#include "report/results_file.hpp"
#include "report/run_stats.hpp"
#include "report/staged_output.hpp"
#include "report/stats_merge.hpp"
#include "report/summary_file.hpp"
#include "search/shift_list.hpp"
#include "stop_request.hpp"

namespace erdos {

namespace {

constexpr const char* program_name = "erdos-straus-mpi";

int rank_in(MPI_Comm comm) {
    int rank = 0;
    MPI_Comm_rank(comm, &rank);
    return rank;
}

int size_of(MPI_Comm comm) {
    int size = 1;
    MPI_Comm_size(comm, &size);
    return size;
}

// The examined primes per block: distributed_block_primes, or the value of
// ERDOS_MPI_BLOCK_PRIMES (a positive decimal number), which changes no output
// byte and lets a small run take many rounds, for tests and measurements.
// Rank 0's setting counts.
std::int64_t block_primes_setting(std::int64_t p_max) {
    std::int64_t value = 0;
    if (const char* text = std::getenv("ERDOS_MPI_BLOCK_PRIMES"); text != nullptr && parse_decimal(text, value) &&
                                                                  value > 0) {
        return value;
    }
    return distributed_block_primes(p_max);
}

// What one process keeps through a run; the outputs are rank 0's alone.
struct mpi_state {
    MPI_Comm comm = MPI_COMM_NULL;
    int rank = 0;
    int size = 1;
    std::FILE* err = nullptr;
    progress_state progress;
    run_outputs outputs;  // a direct results target is written through outputs.results_file
    collective_rows rows;
    bool rows_open = false;  // on every process alike
    fault local;
};

// The message of an agreed fault, printed by its reporter alone; returns the
// exit status every process gives.
int end_with_fault(mpi_state& state, const agreed_fault& agreed, const run_config& config) {
    if (agreed.kind == fault_kind::signal) return 128 + agreed.detail;  // reported at the very end
    if (state.rank == 0) progress_end(state.progress);
    if (state.rank != agreed.reporter) return 1;
    const fault& mine = state.local;
    const std::string why = !mine.text.empty() ? mine.text : std::string(std::strerror(agreed.detail));
    switch (agreed.kind) {
        case fault_kind::results_file:
            print_file_error(state.progress, state.err, program_name, "results", config.results_path, why);
            break;
        case fault_kind::summary_file:
            print_file_error(state.progress, state.err, program_name, "summary", config.summary_path, why);
            break;
        case fault_kind::masses_file:  // the text names the file's place
            print_file_error(state.progress, state.err, program_name, "temporary masses", mine.text,
                             std::strerror(agreed.detail));
            break;
        case fault_kind::resume_refused:
            print_resume_refusal(state.progress, state.err, program_name, config.results_path, why);
            break;
        case fault_kind::out_of_memory:
            std::fprintf(state.err, "%s: out of memory; the outputs are not complete\n", program_name);
            break;
        default:
            if (mine.text.empty()) {
                std::fprintf(state.err, "%s: internal error; the outputs are not complete\n", program_name);
            } else {
                std::fprintf(state.err, "%s: internal error: %s; the outputs are not complete\n", program_name,
                             mine.text.c_str());
            }
            break;
    }
    return 1;
}

// The unnamed file that holds this process's masses beyond the memory budget failed.
fault mass_file_fault(const mass_store& masses, int error) {
    return {fault_kind::masses_file, error, masses.directory + "/..."};
}

// Agrees on the faults so far; true when the run goes on.
bool agreed_to_go_on(mpi_state& state, const run_config& config, int& status) {
    const agreed_fault agreed = agree_on_fault(state.local, state.comm);
    if (agreed.kind == fault_kind::none) return true;
    status = end_with_fault(state, agreed, config);
    return false;
}

// Rank 0: both targets checked and their temporary files prepared before any
// work, as erdos-straus does (rows kept by a killed run stay as they are for
// now); a direct results target is opened and gets its header now.
void prepare_outputs(mpi_state& state, const run_config& config) {
    fault& local = state.local;
    if (const int error = check_output_path(config.results_path); error != 0) {
        local = {fault_kind::results_file, error, {}};
    } else if (const int error2 = check_output_path(config.summary_path); error2 != 0) {
        local = {fault_kind::summary_file, error2, {}};
    } else if (const int error3 = prepare_staged_output(state.outputs.results, config.results_path, stage_naming::kept);
               error3 != 0) {
        local = {fault_kind::results_file, error3, file_error_text(error3, state.outputs.results)};
    } else if (config.resume && !state.outputs.results.staged) {
        local = {fault_kind::resume_refused, 0, "it is not a regular file"};
    } else if (const int error4 = prepare_staged_output(state.outputs.summary, config.summary_path, stage_naming::unique);
               error4 != 0) {
        local = {fault_kind::summary_file, error4, {}};
    } else if (!state.outputs.results.staged) {
        if (const int error5 = open_staged_output(state.outputs.results, state.outputs.results_file); error5 != 0) {
            local = {fault_kind::results_file, error5, {}};
        } else {
            start_results_file(state.outputs.results_file);
        }
    }
}

void broadcast_record(progress_record& record, MPI_Comm comm) {
    std::int64_t fields[7] = {record.p_min, record.has_p_min ? 1 : 0, record.p_max, record.c_max,
                              static_cast<std::int64_t>(record.durable_bytes), record.rows, record.last_p};
    MPI_Bcast(fields, 7, MPI_INT64_T, 0, comm);
    record = {fields[0], fields[1] != 0, fields[2], static_cast<std::int32_t>(fields[3]),
              static_cast<std::uint64_t>(fields[4]), fields[5], fields[6]};
}

std::string broadcast_text(const std::string& text, MPI_Comm comm) {
    std::uint64_t length = text.size();
    MPI_Bcast(&length, 1, MPI_UINT64_T, 0, comm);
    std::string copy = text;
    copy.resize(static_cast<std::size_t>(length));
    MPI_Bcast(copy.data(), static_cast<int>(length), MPI_CHAR, 0, comm);
    return copy;
}

// Rank 0: the kept file and its record checked, the header read, and the
// kept rows cut into one part per process.
void plan_kept_rows(mpi_state& state, const run_config& config, progress_record& from, bool& rows_to_read,
                    std::vector<kept_part>& parts) {
    const kept_run kept = check_kept_run(config, state.outputs.results, rows_to_read);
    if (kept.error != 0 || !kept.refusal.empty()) {
        state.local = {fault_kind::resume_refused, 0,
                       kept.error != 0 ? std::string(std::strerror(kept.error)) : kept.refusal};
        rows_to_read = false;
        return;
    }
    from = kept.from;
    if (!rows_to_read || from.durable_bytes == 0) {
        rows_to_read = false;
        return;
    }
    // The temporary file is open for writing only: it is read through a
    // descriptor of its own.
    const int fd = open(state.outputs.results.temporary.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        state.local = {fault_kind::resume_refused, 0, std::strerror(errno)};
        return;
    }
    const std::size_t header_size = std::strlen(results_header);
    std::string header(header_size, '\0');
    ssize_t got = -1;
    if (from.durable_bytes >= header_size) {
        do {
            got = pread(fd, header.data(), header_size, 0);
        } while (got < 0 && errno == EINTR);
    }
    if (got < 0 && from.durable_bytes >= header_size) {
        state.local = {fault_kind::resume_refused, 0, std::strerror(errno)};
    } else if (got != static_cast<ssize_t>(header_size) || header != results_header) {
        state.local = {fault_kind::resume_refused, 0,
                       "in " + quote_for_message(state.outputs.results.temporary) + ", the header is not the results header"};
    } else if (const int error = split_kept_rows(fd, header_size, from.durable_bytes,
                                                 static_cast<unsigned>(state.size), config.p_min - 1, parts);
               error != 0) {
        state.local = {fault_kind::resume_refused, 0, std::strerror(error)};
    }
    close(fd);
}

// --resume: the kept rows read back by every process, a part each, into its
// statistics, with their first witnesses verified again; the part's rows and
// last prime are held to the record. Sets from to the point to go on from.
// Returns false when the run ends here (status set).
bool read_kept_rows(mpi_state& state, const run_config& config, progress_record& from, run_stats& stats,
                    int& status) {
    const bool root = state.rank == 0;
    bool rows_to_read = false;
    std::vector<kept_part> parts;
    if (root) {
        progress_phase(state.progress, "reading the kept rows");
        guard(state.local, [&] { plan_kept_rows(state, config, from, rows_to_read, parts); });
    }
    if (!agreed_to_go_on(state, config, status)) return false;
    broadcast_record(from, state.comm);
    int reading = rows_to_read ? 1 : 0;
    MPI_Bcast(&reading, 1, MPI_INT, 0, state.comm);
    if (reading == 0) return true;

    std::vector<std::int64_t> cuts(static_cast<std::size_t>(state.size) * 3);
    if (root) {
        for (std::size_t i = 0; i < parts.size(); ++i) {
            cuts[3 * i] = static_cast<std::int64_t>(parts[i].begin);
            cuts[3 * i + 1] = static_cast<std::int64_t>(parts[i].end);
            cuts[3 * i + 2] = parts[i].after_p;
        }
    }
    MPI_Bcast(cuts.data(), static_cast<int>(cuts.size()), MPI_INT64_T, 0, state.comm);
    const std::string kept_name = broadcast_text(state.outputs.results.temporary, state.comm);
    const auto at = static_cast<std::size_t>(state.rank) * 3;
    kept_rows mine;
    guard(state.local, [&] {
        const int fd = open(kept_name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) {
            state.local = {fault_kind::resume_refused, 0, std::strerror(errno)};
            return;
        }
        mine = fold_kept_rows(fd, static_cast<std::uint64_t>(cuts[at]), static_cast<std::uint64_t>(cuts[at + 1]),
                              row_limits{config.p_min, config.p_max, config.c_max}, cuts[at + 2], stats);
        close(fd);
        if (mine.error != 0) {
            state.local = {fault_kind::resume_refused, 0, std::strerror(mine.error)};
        } else if (!mine.problem.empty()) {
            state.local = {fault_kind::resume_refused, 0, "in " + quote_for_message(kept_name) + ", " + mine.problem};
        }
    });
    // The first refused row in file order is on the lowest process that refuses one.
    if (!agreed_to_go_on(state, config, status)) return false;
    std::int64_t rows = 0;
    std::int64_t last_p = 0;
    MPI_Allreduce(&mine.rows, &rows, 1, MPI_INT64_T, MPI_SUM, state.comm);
    MPI_Allreduce(&mine.last_p, &last_p, 1, MPI_INT64_T, MPI_MAX, state.comm);
    if (root && (rows != from.rows || last_p != from.last_p)) {
        state.local = {fault_kind::resume_refused, 0, kept_rows_mismatch(state.outputs.results)};
    }
    return agreed_to_go_on(state, config, status);
}

// The run on every process; returns the exit status, the same everywhere.
int run_phases(mpi_state& state, const run_config& config) {
    MPI_Comm comm = state.comm;
    fault& local = state.local;
    const bool root = state.rank == 0;
    int status = 1;

    if (root) guard(local, [&] { prepare_outputs(state, config); });
    if (!agreed_to_go_on(state, config, status)) return status;
    int staged = root && state.outputs.results.staged ? 1 : 0;
    MPI_Bcast(&staged, 1, MPI_INT, 0, comm);

    // The durable point to go on from, as erdos-straus finds it: the kept
    // rows of a killed run, read back and checked before anything is
    // changed, or nothing. Then, on rank 0, the record of a fresh start is
    // written before the kept file is emptied, and the durable points begin.
    run_stats stats;
    set_up_mass_store(stats.masses, mass_file_directory(config.results_path, config.summary_path),
                      mass_budget_setting());
    progress_record from = record_of(config);
    if (staged != 0 && config.resume && !read_kept_rows(state, config, from, stats, status)) return status;
    if (stats.masses.error != 0) local = mass_file_fault(stats.masses, stats.masses.error);
    if (root && staged != 0) {
        if (const int error = start_durable_points(state.outputs, from); error != 0) {
            local = {fault_kind::results_file, error, {}};
        }
    }
    if (!agreed_to_go_on(state, config, status)) return status;

    const bool direct = root && !state.outputs.results.staged;
    if (const int error = open_collective_rows(state.rows, state.outputs.results.temporary,
                                               direct ? &state.outputs.results_file : nullptr, comm);
        error != 0) {
        local = {fault_kind::results_file, error, {}};
    }
    if (!agreed_to_go_on(state, config, status)) return status;
    state.rows_open = true;
    state.rows.offset = from.durable_bytes;

    // The blocks after the last kept row, the same on every process.
    const walk_kind walk = choose_walk(config, scan_engine::fast);
    const std::int64_t walk_from = from.rows > 0 ? from.last_p + 1 : config.p_min;
    std::int64_t block_primes = block_primes_setting(config.p_max);
    MPI_Bcast(&block_primes, 1, MPI_INT64_T, 0, comm);
    block_plan plan;
    guard(local, [&] {
        if (walk_from <= config.p_max) {
            plan = plan_blocks(walk_from, config.p_max, static_cast<unsigned>(state.size), block_primes);
        }
    });
    if (!agreed_to_go_on(state, config, status)) return status;
    if (root) {
        progress_interval(state.progress, config.p_min, config.p_max);
        progress_resumed(state.progress, from.rows, walk_from);
        progress_phase(state.progress, "scanning primes");
    }
    const unsigned threads = worker_threads(config);
    std::string block_rows;
    std::int64_t block_count = 0;
    std::int64_t block_last_p = 0;
    const chunk_sink fold = [&](const prime_chunk& chunk) {
        fold_chunk_stats(stats, chunk);
        block_rows += chunk.rows;
        if (!chunk.scans.empty()) {
            block_count += static_cast<std::int64_t>(chunk.scans.size());
            block_last_p = chunk.scans.back().p;
            if (root) progress_scan(state.progress, from.rows + block_count * state.size, 0, block_last_p);
        }
        stop_if_requested();
        return 0;
    };
    std::int64_t rows_written = from.rows;
    for (std::size_t round = 0; round < plan.rounds; ++round) {
        guard(local, [&] {
            block_rows.clear();
            block_count = 0;
            block_last_p = 0;
            // The header opens a new file, ahead of the first block.
            if (root && round == 0 && state.rows.shared && from.durable_bytes == 0) block_rows = results_header;
            const block_bounds block = block_of(plan, round, static_cast<unsigned>(state.rank));
            walk_part(walk, block.first, block.last, config.c_max, threads, fold);
            if (stats.masses.error != 0) local = mass_file_fault(stats.masses, stats.masses.error);
        });
        if (!agreed_to_go_on(state, config, status)) return status;
        if (const int error = write_collective_rows(state.rows, block_rows); error != 0) {
            local = {fault_kind::results_file, error, {}};
        }
        if (!agreed_to_go_on(state, config, status)) return status;
        if (staged == 0) continue;

        // What the file holds now, for the next durable point: the rows of
        // every process and the last prime of the round.
        std::int64_t round_rows = 0;
        std::int64_t round_last_p = 0;
        MPI_Allreduce(&block_count, &round_rows, 1, MPI_INT64_T, MPI_SUM, comm);
        MPI_Allreduce(&block_last_p, &round_last_p, 1, MPI_INT64_T, MPI_MAX, comm);
        rows_written += round_rows;
        checkpoint_state& points = state.outputs.checkpoints;
        int due = 0;
        if (root) {
            points.bytes = state.rows.offset;
            points.rows = rows_written;
            if (round_rows > 0) points.last_p = round_last_p;
            due = std::chrono::steady_clock::now() >= points.due ? 1 : 0;
        }
        // A durable point when rank 0's interval has passed: every process's
        // rows synced, then rank 0 records them.
        MPI_Bcast(&due, 1, MPI_INT, 0, comm);
        if (due != 0) {
            int error = sync_collective_rows(state.rows);
            int all_synced = 0;
            const int synced = error == 0 ? 1 : 0;
            MPI_Allreduce(&synced, &all_synced, 1, MPI_INT, MPI_MIN, comm);
            if (root && error == 0 && all_synced != 0) error = make_checkpoint(points, state.outputs.results_file);
            if (root) points.due = std::chrono::steady_clock::now() + points.interval;
            if (error != 0) local = {fault_kind::results_file, error, {}};
        }
    }
    block_rows = std::string();
    if (root) progress_phase(state.progress, "writing the results");
    if (!agreed_to_go_on(state, config, status)) return status;
    state.rows_open = false;
    if (const int error = close_collective_rows(state.rows); error != 0) local = {fault_kind::results_file, error, {}};
    if (direct) {
        if (const int error = close_output_file(state.outputs.results_file); error != 0 && local.kind == fault_kind::none) {
            local = {fault_kind::results_file, error, {}};
        }
    }
    if (!agreed_to_go_on(state, config, status)) return status;

    // The aggregates of every process, merged on rank 0.
    if (root) progress_phase(state.progress, "writing the summary");
    const std::vector<std::int64_t> packed = pack_run_stats(stats);
    const int packed_words = static_cast<int>(packed.size());
    std::vector<int> words(root ? static_cast<std::size_t>(state.size) : 0);
    MPI_Gather(&packed_words, 1, MPI_INT, words.data(), 1, MPI_INT, 0, comm);
    std::vector<int> displacements(words.size());
    int all_words = 0;
    for (std::size_t i = 0; i < words.size(); ++i) {
        displacements[i] = all_words;
        all_words += words[i];
    }
    std::vector<std::int64_t> gathered(static_cast<std::size_t>(all_words));
    MPI_Gatherv(packed.data(), packed_words, MPI_INT64_T, gathered.data(), words.data(), displacements.data(),
                MPI_INT64_T, 0, comm);
    run_stats whole;
    if (root) {
        std::size_t at = 0;
        for (int i = 0; i < state.size; ++i) merge_run_stats(whole, unpack_run_stats(gathered, at));
    }

    // The percentiles, selected where the masses are.
    const std::uint64_t mine = mass_count(stats.masses);
    std::uint64_t total = 0;
    MPI_Allreduce(&mine, &total, 1, MPI_UINT64_T, MPI_SUM, comm);
    percentile_search search = start_percentile_search(total);
    std::vector<std::uint64_t> counts;
    std::vector<std::uint64_t> sums;
    guard(local, [&] {
        counts.assign(search.targets.size() * select_digit_values, 0);
        sums.assign(counts.size(), 0);
    });
    if (!agreed_to_go_on(state, config, status)) return status;
    for (int pass = 0; pass < select_passes && !search.targets.empty(); ++pass) {
        guard(local, [&] {
            if (const int error = count_percentile_pass(search, stats.masses, counts); error != 0) {
                local = mass_file_fault(stats.masses, error);
            }
        });
        if (!agreed_to_go_on(state, config, status)) return status;
        MPI_Allreduce(counts.data(), sums.data(), static_cast<int>(counts.size()), MPI_UINT64_T, MPI_SUM, comm);
        guard(local, [&] { take_percentile_pass(search, sums); });
    }
    if (!agreed_to_go_on(state, config, status)) return status;

    // Rank 0 writes the summary and puts both files in place, in the order
    // and with the messages of erdos-straus.
    int summary_error = 0;
    if (root) {
        guard(local, [&] {
            const summary_bounds bounds{config.p_min, config.has_p_min, config.p_max, config.c_max,
                                        count_shifts(config.c_max)};
            const std::string text = format_summary(bounds, whole, finish_percentile_search(search));
            summary_error = open_staged_output(state.outputs.summary, state.outputs.summary_file);
            if (summary_error == 0) {
                state.outputs.summary_file.pending = text;
                summary_error = close_output_file(state.outputs.summary_file);
            }
        });
    }
    // The last chance for a stop request: from here on the run is finished.
    if (!agreed_to_go_on(state, config, status)) return status;
    status = 0;
    if (root) {
        status = put_outputs_in_place(state.outputs, config, whole, summary_error, state.progress, state.err,
                                      program_name);
    }
    MPI_Bcast(&status, 1, MPI_INT, 0, comm);
    return status;
}

// The run with its cleanup: every process closes the shared file together,
// rank 0 removes what a failed run left, or keeps the rows of a stopped one
// for --resume, and reports an interruption.
int run_distributed(const run_config& config, MPI_Comm comm, std::FILE* err) {
    mpi_state state;
    state.comm = comm;
    state.rank = rank_in(comm);
    state.size = size_of(comm);
    state.err = err;
    const bool root = state.rank == 0;
    if (root) progress_begin(state.progress, err);
    watch_stop_signals();
    int status = 1;
    try {
        status = run_phases(state, config);
    } catch (...) {
        if (root) {
            progress_end(state.progress);
            discard_outputs(state.outputs);
        }
        unwatch_stop_signals();
        throw;
    }
    bool kept = false;
    if (status > 128 && state.rows_open) sync_collective_rows(state.rows);
    if (state.rows_open) close_collective_rows(state.rows);
    if (root) {
        progress_end(state.progress);
        if (status > 128) {
            kept = keep_outputs_for_resume(state.outputs, config.resume);
        } else {
            discard_outputs(state.outputs);  // nothing left after a finished run
        }
    }
    unwatch_stop_signals();
    if (status > 128 && root) print_interrupted(err, program_name, kept);
    return status;
}

// Rank 0's status, given by every process.
int agreed_status(int status, MPI_Comm comm) {
    MPI_Bcast(&status, 1, MPI_INT, 0, comm);
    return status;
}

}  // namespace

int mpi_erdos_main(const std::vector<std::string>& args, MPI_Comm comm, std::FILE* out, std::FILE* err) {
    const bool root = rank_in(comm) == 0;
    try {
        const command_line command = parse_command_line(args);
        switch (command.action) {
            case command_action::help:
            case command_action::version: {
                const int status = root ? print_help_or_version(command.action, out, err, program_name) : 0;
                return agreed_status(status, comm);
            }
            case command_action::fail:
                if (root) print_argument_error(command.error, err, program_name);
                return 1;
            case command_action::run:
                break;
        }
        return run_distributed(command.config, comm, err);
    } catch (...) {
        print_caught_exception(err, program_name);
    }
    // The other processes may be waiting in a collective call that this one
    // will never make: the job ends as a whole.
    std::fflush(err);
    MPI_Abort(comm, 1);
    return 1;
}

}  // namespace erdos
