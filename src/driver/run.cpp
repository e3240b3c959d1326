// The order of a run's phases, its messages on standard error and its exit status.
#include "driver/run.hpp"

#include <cerrno>
#include <cstring>
#include <exception>
#include <new>

#include "driver/checkpoint.hpp"
#include "driver/kept_run.hpp"
#include "driver/run_outputs.hpp"
#include "driver/prime_walk.hpp"
#include "driver/wide_walk.hpp"
#include "numtheory/examined_primes.hpp"
#include "driver/progress.hpp"
#include "driver/run_records.hpp"
#include "stop_request.hpp"
#include "report/output_file.hpp"
#include "report/results_file.hpp"
#include "report/run_stats.hpp"
#include "report/staged_output.hpp"
#include "report/summary_file.hpp"
#include "search/shift_list.hpp"

namespace erdos {

namespace {

constexpr const char* program_name = "erdos-straus";

int report_file_error(progress_state& progress, std::FILE* err, const char* what, const std::string& path,
                      const std::string& why) {
    print_file_error(progress, err, program_name, what, path, why);
    return 1;
}

int report_resume_refusal(progress_state& progress, std::FILE* err, const std::string& path, const std::string& why) {
    print_resume_refusal(progress, err, program_name, path, why);
    return 1;
}

int report_file_error(progress_state& progress, std::FILE* err, const char* what, const std::string& path,
                      int error) {
    return report_file_error(progress, err, what, path, std::string(std::strerror(error)));
}

// The unnamed file that holds the masses beyond the memory budget failed.
int report_mass_file_error(progress_state& progress, std::FILE* err, const mass_store& masses) {
    return report_file_error(progress, err, "temporary masses", masses.directory + "/...", masses.error);
}

// The whole run behind run_experiment; every message on err first clears the
// status line. Both outputs are written to temporary files, which a finished
// run renames over the targets and anything else leaves to the caller to
// discard.
int run_phases(const run_config& config, std::FILE* err, scan_engine engine, progress_state& progress,
               run_outputs& outputs) {
    // Both destinations are checked before any table is built, so that a wrong
    // path costs no waiting; the check creates and truncates nothing.
    if (const int error = check_output_path(config.results_path); error != 0) {
        return report_file_error(progress, err, "results", config.results_path, error);
    }
    if (const int error = check_output_path(config.summary_path); error != 0) {
        return report_file_error(progress, err, "summary", config.summary_path, error);
    }
    // The temporary files beside them, made now for the same reason: a
    // directory without write permission shows at once. The rows a killed
    // run kept there stay as they are until this run knows what to keep.
    if (const int error = prepare_staged_output(outputs.results, config.results_path, stage_naming::kept);
        error != 0) {
        return report_file_error(progress, err, "results", config.results_path,
                                 file_error_text(error, outputs.results));
    }
    if (config.resume && !outputs.results.staged) {
        return report_resume_refusal(progress, err, config.results_path, "it is not a regular file");
    }
    if (const int error = prepare_staged_output(outputs.summary, config.summary_path, stage_naming::unique);
        error != 0) {
        return report_file_error(progress, err, "summary", config.summary_path, error);
    }

    // A resumed run takes the walk of the whole interval, as the run it
    // continues did.
    const walk_kind walk = choose_walk(config, engine);

    run_stats stats;
    set_up_mass_store(stats.masses, mass_file_directory(config.results_path, config.summary_path),
                      mass_budget_setting());
    const bool listed = walk == walk_kind::fast;

    // The durable point to go on from: the kept rows of a killed run, read
    // back and checked before anything is changed, or nothing.
    progress_record from = record_of(config);
    if (outputs.results.staged) {
        if (config.resume) {
            progress_phase(progress, "reading the kept rows");
            const kept_run kept = read_kept_run(config, outputs.results, stats);
            if (stats.masses.error != 0) return report_mass_file_error(progress, err, stats.masses);
            const std::string why = kept.error != 0 ? std::string(std::strerror(kept.error)) : kept.refusal;
            if (!why.empty()) return report_resume_refusal(progress, err, config.results_path, why);
            from = kept.from;
        }
        if (const int error = start_durable_points(outputs, from); error != 0) {
            return report_file_error(progress, err, "results", config.results_path, error);
        }
    }
    // The walk goes on after the last kept row.
    const std::int64_t walk_from = from.rows > 0 ? from.last_p + 1 : config.p_min;
    const bool walk_left = walk_from <= config.p_max;

    walk_setup setup;
    if (listed && walk_left) {
        progress_phase(progress, "sieving");
        setup = prepare_walk(walk_from, static_cast<std::int32_t>(config.p_max));
    }
    // The examined primes are counted in advance where the walk lists them;
    // elsewhere the status line estimates by the position in the interval.
    const std::int64_t examined_total = listed ? stats.processed + static_cast<std::int64_t>(setup.examined.size()) : 0;
    progress_interval(progress, config.p_min, config.p_max);
    progress_resumed(progress, stats.processed, walk_from);

    output_file& results = outputs.results_file;
    if (const int error = open_staged_output(outputs.results, results); error != 0) {
        return report_file_error(progress, err, "results", config.results_path, error);
    }
    if (from.durable_bytes == 0) {
        start_results_file(results);
        note_header(outputs.checkpoints, std::strlen(results_header));
    } else {
        continue_results_file(results);
    }

    checkpoint_state& checkpoints = outputs.checkpoints;
    const chunk_sink fold = [&](const prime_chunk& chunk) {
        fold_chunk_stats(stats, chunk);
        if (stats.masses.error != 0) return stats.masses.error;  // reported after the walk
        int error = write_results_rows(results, chunk.rows);
        if (error == 0) {
            note_rows(checkpoints, chunk);
            error = checkpoint_if_due(checkpoints, results);
        } else {
            checkpoints.intact = false;
        }
        if (chunk.scans.empty()) {
            progress_phase(progress, "scanning primes");  // the plain walk has built its tables
        } else {
            progress_scan(progress, stats.processed, examined_total, chunk.scans.back().p);
        }
        stop_if_requested();
        return error;
    };
    const unsigned threads = worker_threads(config);
    int walk_error = 0;
    if (!walk_left) {
        // Every examined prime was kept: only the summary is left to write.
    } else if (listed) {
        // The fast walk over the primes already listed for the status line.
        progress_phase(progress, "scanning primes");
        walk_error = walk_primes_fast(setup, static_cast<std::int32_t>(config.p_max), config.c_max, threads, fold);
    } else {
        progress_phase(progress, "building tables");
        walk_error = walk_part(walk, walk_from, config.p_max, config.c_max, threads, fold);
    }
    setup = {};  // the prime list is no longer needed; the summary needs the room
    if (stats.masses.error != 0) return report_mass_file_error(progress, err, stats.masses);
    if (walk_error != 0) {
        return report_file_error(progress, err, "results", config.results_path, walk_error);
    }
    progress_phase(progress, "writing the results");
    if (const int error = close_output_file(results); error != 0) {
        return report_file_error(progress, err, "results", config.results_path, error);
    }

    progress_phase(progress, "writing the summary");
    const std::uint64_t shift_count = count_shifts(config.c_max);
    int summary_error = open_staged_output(outputs.summary, outputs.summary_file);
    if (summary_error == 0) {
        const summary_bounds bounds{config.p_min, config.has_p_min, config.p_max, config.c_max, shift_count};
        summary_error = write_summary_file(outputs.summary_file, bounds, stats);
        if (stats.masses.error != 0) return report_mass_file_error(progress, err, stats.masses);
    }
    stop_if_requested();  // the last chance: from here on the run is finished

    return put_outputs_in_place(outputs, config, stats, summary_error, progress, err, program_name);
}

}  // namespace

int run_experiment(const run_config& config, std::FILE* err, scan_engine engine) {
    progress_state progress;
    progress_begin(progress, err);
    run_outputs outputs;
    watch_stop_signals();
    int status = 1;
    bool kept = false;
    try {
        status = run_phases(config, err, engine, progress, outputs);
    } catch (const run_stopped& stopped) {
        status = 128 + stopped.signal;
        kept = keep_outputs_for_resume(outputs, config.resume);
    } catch (...) {
        // erdos_main's message must start on a clean line, and the previous
        // outputs stay as they were.
        progress_end(progress);
        discard_outputs(outputs);
        unwatch_stop_signals();
        throw;
    }
    progress_end(progress);
    discard_outputs(outputs);  // nothing left after a finished run
    unwatch_stop_signals();
    if (status > 128) print_interrupted(err, program_name, kept);
    return status;
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
    try {
        throw;
    } catch (const std::bad_alloc&) {
        std::fprintf(err, "%s: out of memory; the outputs are not complete\n", program);
    } catch (const std::exception& e) {
        std::fprintf(err, "%s: internal error: %s; the outputs are not complete\n", program, e.what());
    } catch (...) {
        std::fprintf(err, "%s: internal error; the outputs are not complete\n", program);
    }
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
        return run_experiment(command.config, err);
    } catch (...) {
        print_caught_exception(err, program_name);
    }
    return 1;
}

}  // namespace erdos
