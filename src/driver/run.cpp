// The order of a run's phases, its messages on standard error and its exit status.
#include "driver/run.hpp"

#include <cerrno>
#include <cstring>

#include "driver/estimate_text.hpp"
#include "driver/run_messages.hpp"
#include "driver/run_outputs.hpp"
#include "driver/run_views.hpp"
#include "driver/status_line.hpp"
#include "output/kept_run.hpp"
#include "output/output_file.hpp"
#include "output/results_file.hpp"
#include "stats/distributed_percentile.hpp"
#include "stats/run_stats.hpp"
#include "stats/summary_format.hpp"
#include "stop_request.hpp"

namespace erdos {

namespace {

constexpr const char* program_name = "erdos-straus";

// The end of a failed run: its rows kept if a checkpoint vouches for any,
// the fault printed with what to do next; the exit status.
int fail(status_line& status, std::FILE* err, const run_config& config, run_outputs& outputs,
         const fault& failure) {
    const std::string advice = keep_rows_after_failure(outputs, failure.detail);
    print_fault(status, err, program_name, config, failure, advice);
    return 1;
}

// The checkpoint to go on from: the kept rows of a stopped run, read back and
// checked before anything is changed, or nothing; then the checkpoints of
// this run begin from it. Leaves `from` at that checkpoint.
fault take_up_kept_rows(const run_config& config, run_outputs& outputs, run_stats& stats, status_line& status,
                        checkpoint_record& from) {
    from = record_of(config);
    if (!outputs.results.staged) return {};
    if (config.resume) {
        status_phase(status, "reading the kept rows");
        const kept_run kept = read_kept_run(from, outputs.results, stats);
        if (stats.masses.error != 0) return mass_file_fault(stats.masses, stats.masses.error);
        if (kept.error != 0) return {fault_kind::resume_refused, kept.error, {}};
        if (!kept.refusal.empty()) return {fault_kind::resume_refused, 0, kept.refusal};
        from = kept.from;
    } else {
        // Durable rows of a stopped run are not thrown away by a slip.
        const kept_run kept = check_no_kept_rows(from, outputs.results);
        if (kept.error != 0) return {fault_kind::results_file, kept.error, {}};
        if (!kept.refusal.empty()) return {fault_kind::kept_rows_found, 0, kept.refusal};
    }
    if (const int error = begin_checkpoints(outputs, from); error != 0) return {fault_kind::results_file, error, {}};
    return {};
}

// The walk over the primes after the kept rows, each chunk folded into stats,
// written and counted for the next checkpoint. Returns 0 or an errno value.
int scan_primes(const run_config& config, scan_engine engine, std::int64_t walk_from, run_outputs& outputs,
                run_stats& stats, status_line& status) {
    output_file& results = outputs.results_file;
    checkpoint_state& checkpoints = outputs.checkpoints;
    // Where the walk lists its primes in advance the status line counts them;
    // elsewhere it estimates by the position in the interval.
    std::int64_t examined_total = 0;
    const chunk_sink fold = [&](const prime_chunk& chunk) {
        fold_chunk_stats(stats, chunk);
        if (stats.masses.error != 0) return stats.masses.error;  // reported after the walk
        int error = write_results_rows(results, chunk.rows);
        if (error == 0) {
            note_rows(checkpoints, chunk);
            error = checkpoint_if_due(checkpoints, results);
        } else {
            note_write_failure(checkpoints);
        }
        if (!chunk.scans.empty()) status_scan(status, stats.processed, examined_total, chunk.scans.back().p);
        stop_if_requested();
        return error;
    };
    walk_events events;
    events.phase = [&](const char* phase) { status_phase(status, phase); };
    events.listed = [&](std::int64_t examined) { examined_total = stats.processed + examined; };
    // A resumed run takes the walk of the whole interval, as the run it continues did.
    const walk_kind walk = choose_walk(config.p_max, config.c_max, engine);
    // Chunks that wait their turn on file go where the masses do.
    return walk_part(walk, walk_from, config.p_max, config.c_max, worker_threads(config), fold, events,
                     stats.masses.directory);
}

// The whole run behind run_experiment; every message on err first clears the
// status line. Both outputs are written to temporary files, which a finished
// run renames over the targets; anything else leaves them to the caller.
int run_phases(const run_config& config, std::FILE* err, scan_engine engine, status_line& status,
               run_outputs& outputs) {
    if (const fault failure = prepare_outputs(outputs, config)) return fail(status, err, config, outputs, failure);

    run_stats stats;
    set_up_masses(stats, config);
    set_up_views(stats, config);
    checkpoint_record from;
    if (const fault failure = take_up_kept_rows(config, outputs, stats, status, from)) {
        return fail(status, err, config, outputs, failure);
    }
    // The walk goes on after the last kept row.
    const std::int64_t walk_from = from.rows > 0 ? from.last_p + 1 : config.p_min;
    status_interval(status, config.p_min, config.p_max);
    status_resumed(status, stats.processed, walk_from);

    output_file& results = outputs.results_file;
    if (const int error = open_staged_output(outputs.results, results); error != 0) {
        return fail(status, err, config, outputs, {fault_kind::results_file, error, {}});
    }
    if (from.durable_bytes == 0) {
        start_results_file(results);
        note_header(outputs.checkpoints, results_header);
    } else {
        continue_results_file(results);
    }
    int error = scan_primes(config, engine, walk_from, outputs, stats, status);
    if (stats.masses.error != 0) return fail(status, err, config, outputs, mass_file_fault(stats.masses, stats.masses.error));
    if (error == 0) {
        status_phase(status, "writing the results");
        error = close_output_file(results);
    }
    if (error != 0) return fail(status, err, config, outputs, {fault_kind::results_file, error, {}});

    status_phase(status, "writing the summary");
    summary_percentiles percentiles;
    if (const int mass_error = find_summary_percentiles(stats.masses, percentiles, worker_threads(config)); mass_error != 0) {
        return fail(status, err, config, outputs, mass_file_fault(stats.masses, mass_error));
    }
    if (const fault failure = write_view_outputs(outputs, config, stats)) {
        return fail(status, err, config, outputs, failure);
    }
    const int summary_error = write_summary_output(outputs, config, stats, percentiles);
    stop_if_requested();  // the last chance: from here on the run is finished
    return put_outputs_in_place(outputs, config, stats, summary_error, status, err, program_name);
}

}  // namespace

int run_experiment(const run_config& config, std::FILE* err, scan_engine engine) {
    // Declared in this order, they are released in the other on every path:
    // the outputs discarded (unless kept below), the status line cleared so
    // that any message starts on a clean line, the signals given back.
    const stop_signal_watch watch;
    status_line status;
    status_begin(status, err, config.progress_seconds, program_name);
    run_outputs outputs;
    try {
        return run_phases(config, err, engine, status, outputs);
    } catch (const run_stopped& stopped) {
        const bool kept = keep_outputs_for_resume(outputs, config.resume);
        status_end(status);
        print_interrupted(err, program_name, kept);
        return 128 + stopped.signal;
    } catch (...) {
        // Memory exhausted, or an internal error: the rows made durable so far stay.
        return fail(status, err, config, outputs, current_exception_fault());
    }
}

int print_help_or_version(command_action action, std::FILE* out, std::FILE* err, const char* program) {
    const std::string text = action == command_action::help ? usage_text(program) : version_text(program);
    errno = 0;
    if (std::fputs(text.c_str(), out) == EOF || std::fflush(out) != 0) {
        std::fprintf(err, "%s: cannot write standard output: %s\n", program, std::strerror(errno != 0 ? errno : EIO));
        return 1;
    }
    return 0;
}

void print_argument_error(const std::string& error, std::FILE* err, const char* program) {
    std::fprintf(err, "%s: %s\nTry '%s --help' for more information.\n", program, error.c_str(), program);
}

void print_caught_exception(std::FILE* err, const char* program) {
    // Outside a run: no status line drawn and no file named, the words of a run's fault.
    status_line none;
    print_fault(none, err, program, run_config{}, current_exception_fault());
}

int erdos_main(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    try {
        const command_line command = parse_command_line(args);
        switch (command.action) {
            case command_action::help:
            case command_action::version:
                return print_help_or_version(command.action, out, err, program_name);
            case command_action::fail:
                print_argument_error(command.error, err, program_name);
                return 1;
            case command_action::run:
                break;
        }
        if (command.config.estimate) return print_run_estimate(command.config, out, err, program_name);
        return run_experiment(command.config, err);
    } catch (...) {
        print_caught_exception(err, program_name);
    }
    return 1;
}

}  // namespace erdos
