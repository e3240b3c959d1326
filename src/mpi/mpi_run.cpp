// The phases of a run over several processes: outputs, rounds of blocks, reductions, summary, status.
#include "mpi/mpi_run.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "driver/run.hpp"
#include "driver/run_config.hpp"
#include "driver/run_messages.hpp"
#include "driver/run_outputs.hpp"
#include "driver/run_views.hpp"
#include "driver/status_line.hpp"
#include "mpi/block_plan.hpp"
#include "mpi/collective_rows.hpp"
#include "mpi/mpi_agreement.hpp"
#include "mpi/mpi_reductions.hpp"
#include "mpi/mpi_resume.hpp"
#include "numtheory/examined_primes.hpp"
#include "mpi/view_reductions.hpp"
#include "output/checkpoint.hpp"
#include "output/crc32c.hpp"
#include "output/kept_run.hpp"
#include "output/results_file.hpp"
#include "stats/results_rows.hpp"
#include "stats/run_stats.hpp"
#include "stop_request.hpp"
#include "walks/walk_choice.hpp"

namespace erdos {

namespace {

constexpr const char* program_name = "erdos-straus-mpi";

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
// Declared in this order, its parts are released in the other: the shared
// file closed, the outputs discarded unless kept, the status line cleared.
struct mpi_state {
    MPI_Comm comm = MPI_COMM_NULL;
    int rank = 0;
    int size = 1;
    std::FILE* err = nullptr;
    status_line status;
    run_outputs outputs;  // a direct results target is written through outputs.results_file
    collective_rows rows;
    bool rows_open = false;  // on every process alike
    fault local;
    agreed_fault failed;  // the fault every process ended on, reported at the very end

    bool root() const { return rank == 0; }
};

// Agrees on the faults so far; true when the run goes on. Otherwise status
// is the exit status every process gives, and the fault is kept in
// state.failed, to be reported once the rows are kept or discarded.
bool agreed_to_go_on(mpi_state& state, int& status) {
    const agreed_fault agreed = agree_on_fault(state.local, state.comm);
    if (agreed.kind == fault_kind::none) return true;
    state.failed = agreed;
    status = agreed.kind == fault_kind::signal ? 128 + agreed.detail : 1;
    return false;
}

// Rank 0: the outputs prepared as erdos-straus prepares them; a direct
// results target is opened and gets its header now.
fault prepare_root_outputs(run_outputs& outputs, const run_config& config) {
    if (fault failure = prepare_outputs(outputs, config)) return failure;
    if (outputs.results.staged) return {};
    if (const int error = open_staged_output(outputs.results, outputs.results_file); error != 0) {
        return {fault_kind::results_file, error, {}};
    }
    start_results_file(outputs.results_file);
    return {};
}

// Rank 0: the CRC-32C of the rows every process wrote in a round, in file
// order (collective).
std::uint32_t round_checksum(const std::string& block_rows, MPI_Comm comm) {
    const std::uint64_t own[2] = {crc32c_extend(0, block_rows), block_rows.size()};
    std::vector<std::uint64_t> all(2 * static_cast<std::size_t>(size_of(comm)));
    MPI_Gather(own, 2, MPI_UINT64_T, all.data(), 2, MPI_UINT64_T, 0, comm);
    std::uint32_t crc = 0;
    for (std::size_t i = 0; i < all.size(); i += 2) {
        crc = crc32c_combine(crc, static_cast<std::uint32_t>(all[i]), all[i + 1]);
    }
    return crc;
}

// The blocks of this process, each walked and written together with those of
// the others a round at a time; a checkpoint after a round when rank 0's
// interval has passed. Returns false when the run ends here (status set).
bool scan_rounds(mpi_state& state, const run_config& config, const checkpoint_record& from, run_stats& stats,
                 bool staged, int& status) {
    MPI_Comm comm = state.comm;
    const walk_kind walk = choose_walk(config.p_max, config.c_max, scan_engine::fast);
    const std::int64_t walk_from = from.rows > 0 ? from.last_p + 1 : config.p_min;
    std::int64_t block_primes = block_primes_setting(config.p_max);
    MPI_Bcast(&block_primes, 1, MPI_INT64_T, 0, comm);
    block_plan plan;
    guard(state.local, [&] {
        if (walk_from <= config.p_max) {
            plan = plan_blocks(walk_from, config.p_max, static_cast<unsigned>(state.size), block_primes);
        }
    });
    if (!agreed_to_go_on(state, status)) return false;
    if (state.root()) {
        status_interval(state.status, config.p_min, config.p_max);
        status_resumed(state.status, from.rows, walk_from);
        status_phase(state.status, "scanning primes");
    }
    const unsigned threads = worker_threads(config);
    std::string block_rows;
    // The status counts the rows of every process as this one's times the
    // processes, the blocks holding about equally many: those of the rounds
    // before, and of this one so far.
    std::int64_t status_before = from.rows;
    const auto expected_primes = static_cast<std::int64_t>(expected_examined_primes(config.p_min, config.p_max));
    std::int64_t block_count = 0;
    std::int64_t block_last_p = 0;
    const chunk_sink fold = [&](const prime_chunk& chunk) {
        fold_chunk_stats(stats, chunk);
        if (stats.masses.error != 0) {
            state.local = mass_file_fault(stats.masses, stats.masses.error);
            return stats.masses.error;
        }
        block_rows += chunk.rows;
        if (!chunk.scans.empty()) {
            block_count += static_cast<std::int64_t>(chunk.scans.size());
            block_last_p = chunk.scans.back().p;
            if (state.root()) {
                // Counted against the primes expected in the interval, since
                // rank 0's own prime leaps ahead from round to round.
                const std::int64_t done = status_before + block_count * state.size;
                status_scan(state.status, done, std::max(done, expected_primes), block_last_p);
            }
        }
        stop_if_requested();
        return 0;
    };
    std::int64_t rows_written = from.rows;
    for (std::size_t round = 0; round < plan.rounds; ++round) {
        guard(state.local, [&] {
            block_rows.clear();
            block_count = 0;
            block_last_p = 0;
            // The header opens a new file, ahead of the first block.
            if (state.root() && round == 0 && state.rows.shared && from.durable_bytes == 0) block_rows = results_header;
            const block_bounds block = block_of(plan, round, static_cast<unsigned>(state.rank));
            walk_part(walk, block.first, block.last, config.c_max, threads, fold, {}, stats.masses.directory);
        });
        if (!agreed_to_go_on(state, status)) return false;
        status_before += block_count * state.size;
        if (const int error = write_collective_rows(state.rows, block_rows); error != 0) {
            state.local = {fault_kind::results_file, error, {}};
        }
        if (!agreed_to_go_on(state, status)) return false;
        if (!staged) continue;

        // What the file holds now: the rows of every process and the last prime of the round.
        std::int64_t round_rows = 0;
        std::int64_t round_last_p = 0;
        MPI_Allreduce(&block_count, &round_rows, 1, MPI_INT64_T, MPI_SUM, comm);
        MPI_Allreduce(&block_last_p, &round_last_p, 1, MPI_INT64_T, MPI_MAX, comm);
        rows_written += round_rows;
        const std::uint32_t round_crc = round_checksum(block_rows, comm);
        checkpoint_state& points = state.outputs.checkpoints;
        int due = 0;
        if (state.root()) {
            note_written(points, state.rows.offset, rows_written, round_last_p, round_crc);
            due = checkpoint_due(points) ? 1 : 0;
        }
        // Every process's rows synced, then rank 0 records them.
        MPI_Bcast(&due, 1, MPI_INT, 0, comm);
        if (due == 0) continue;
        int error = sync_collective_rows(state.rows);
        int all_synced = 0;
        const int synced = error == 0 ? 1 : 0;
        MPI_Allreduce(&synced, &all_synced, 1, MPI_INT, MPI_MIN, comm);
        if (state.root() && error == 0 && all_synced != 0) error = make_checkpoint(points, state.outputs.results_file);
        if (state.root()) schedule_checkpoint(points);
        if (error != 0) state.local = {fault_kind::results_file, error, {}};
    }
    return true;
}

// Opens the rows' file on every process, after the kept rows. Returns false
// when the run ends here (status set).
bool open_rows(mpi_state& state, const checkpoint_record& from, int& status) {
    const bool direct = state.root() && !state.outputs.results.staged;
    if (const int error = open_collective_rows(state.rows, state.outputs.results.temporary,
                                               direct ? &state.outputs.results_file : nullptr, state.comm);
        error != 0) {
        state.local = {fault_kind::results_file, error, {}};
    }
    if (!agreed_to_go_on(state, status)) return false;
    state.rows_open = true;
    state.rows.offset = from.durable_bytes;
    return true;
}

// Closes the rows' file on every process (and a direct target on rank 0).
bool close_rows(mpi_state& state, int& status) {
    if (state.root()) status_phase(state.status, "writing the results");
    if (!agreed_to_go_on(state, status)) return false;
    state.rows_open = false;
    if (const int error = close_collective_rows(state.rows); error != 0) {
        state.local = {fault_kind::results_file, error, {}};
    }
    if (state.root() && !state.outputs.results.staged) {
        if (const int error = close_output_file(state.outputs.results_file);
            error != 0 && state.local.kind == fault_kind::none) {
            state.local = {fault_kind::results_file, error, {}};
        }
    }
    return agreed_to_go_on(state, status);
}

// The run on every process; returns the exit status, the same everywhere.
int run_phases(mpi_state& state, const run_config& config) {
    int status = 1;
    if (state.root()) guard(state.local, [&] { state.local = prepare_root_outputs(state.outputs, config); });
    if (!agreed_to_go_on(state, status)) return status;
    int staged = state.root() && state.outputs.results.staged ? 1 : 0;
    MPI_Bcast(&staged, 1, MPI_INT, 0, state.comm);

    // The checkpoint to go on from, as erdos-straus finds it; then, on rank
    // 0, the checkpoints of this run begin from it.
    run_stats stats;
    set_up_masses(stats, config);
    set_up_views(stats, config);
    checkpoint_record from = record_of(config);
    if (staged != 0 && config.resume) {
        if (state.root()) status_phase(state.status, "reading the kept rows");
        read_kept_rows_together(config, state.outputs.results, state.comm, from, stats, state.local);
    } else if (state.root() && staged != 0) {
        // Durable rows of a stopped run are not thrown away by a slip.
        guard(state.local, [&] {
            const kept_run kept = check_no_kept_rows(from, state.outputs.results);
            if (kept.error != 0) state.local = {fault_kind::results_file, kept.error, {}};
            if (!kept.refusal.empty()) state.local = {fault_kind::kept_rows_found, 0, kept.refusal};
        });
    }
    if (!agreed_to_go_on(state, status)) return status;
    if (state.root() && staged != 0) {
        if (const int error = begin_checkpoints(state.outputs, from); error != 0) {
            state.local = {fault_kind::results_file, error, {}};
        }
    }
    if (!agreed_to_go_on(state, status)) return status;
    if (!open_rows(state, from, status)) return status;
    if (!scan_rounds(state, config, from, stats, staged != 0, status)) return status;
    if (!close_rows(state, status)) return status;

    if (state.root()) status_phase(state.status, "writing the summary");
    run_stats whole = gather_run_stats(stats, state.comm);
    gather_views(stats, whole, state.comm);
    summary_percentiles percentiles;
    reduce_percentiles(stats, state.comm, percentiles, state.local);
    if (!agreed_to_go_on(state, status)) return status;
    // Rank 0 writes the summary and puts both files in place, in the order
    // and with the messages of erdos-straus.
    int summary_error = 0;
    if (state.root()) {
        guard(state.local, [&] {
            if (const fault failure = write_view_outputs(state.outputs, config, whole)) {
                state.local = failure;
                return;
            }
            summary_error = write_summary_output(state.outputs, config, whole, percentiles);
        });
    }
    // The last chance for a stop request: from here on the run is finished.
    if (!agreed_to_go_on(state, status)) return status;
    status = 0;
    if (state.root()) {
        status = put_outputs_in_place(state.outputs, config, whole, summary_error, state.status, state.err,
                                      program_name);
    }
    MPI_Bcast(&status, 1, MPI_INT, 0, state.comm);
    return status;
}

// After a fault that every process agreed on: rank 0 keeps the rows that a
// checkpoint vouches for, and the fault's reporter prints the message with
// what to do next (collective).
void report_failure(mpi_state& state, const run_config& config) {
    std::string advice;
    if (state.root()) {
        status_end(state.status);
        advice = keep_rows_after_failure(state.outputs, state.failed.detail);
    }
    advice = broadcast_text(advice, state.comm);
    if (state.rank == state.failed.reporter) {
        const fault mine{state.failed.kind, state.failed.detail, state.local.text};
        print_fault(state.status, state.err, program_name, config, mine, advice);
    }
}

// The run with its cleanup: every process closes the shared file together,
// rank 0 keeps the rows of a stopped run for --resume and reports the
// interruption; what is left otherwise goes with the state.
int run_distributed(const run_config& config, MPI_Comm comm, std::FILE* err) {
    const stop_signal_watch watch;
    mpi_state state;
    state.comm = comm;
    state.rank = rank_of(comm);
    state.size = size_of(comm);
    state.err = err;
    if (state.root()) status_begin(state.status, err, config.progress_seconds, program_name);
    const int status = run_phases(state, config);
    const bool agreed_fault_ended = state.failed.kind != fault_kind::none;
    // What the processes wrote is made durable together, for the rows to keep.
    if (agreed_fault_ended && state.rows_open) sync_collective_rows(state.rows);
    if (state.rows_open) close_collective_rows(state.rows);
    state.rows_open = false;
    if (status > 128 && state.root()) {
        const bool kept = keep_outputs_for_resume(state.outputs, config.resume);
        status_end(state.status);
        print_interrupted(err, program_name, kept);
    }
    if (agreed_fault_ended && status == 1) report_failure(state, config);
    return status;
}

// Rank 0's status, given by every process.
int agreed_status(int status, MPI_Comm comm) {
    MPI_Bcast(&status, 1, MPI_INT, 0, comm);
    return status;
}

}  // namespace

int mpi_erdos_main(const std::vector<std::string>& args, MPI_Comm comm, std::FILE* out, std::FILE* err) {
    const bool root = rank_of(comm) == 0;
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
        if (command.config.estimate) {
            // A forecast from one machine's sample says nothing sure of a
            // job's nodes, network and file system: the single program gives
            // one node's, which the cluster guide scales.
            if (root) {
                print_argument_error("--estimate is not offered here: run 'erdos-straus --estimate' with the same "
                                     "arguments on one node (docs/cluster.md says how the work divides over "
                                     "processes)",
                                     err, program_name);
            }
            return 1;
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
