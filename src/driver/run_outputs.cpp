// Preparing a run's outputs, and discarding them, keeping its rows for --resume or putting them in place.
#include "driver/run_outputs.hpp"

#include <cerrno>
#include <cstring>
#include <iterator>

#include "driver/run_messages.hpp"
#include "driver/run_views.hpp"
#include "output/summary_file.hpp"
#include "search/shift_list.hpp"

namespace erdos {

run_outputs::~run_outputs() { discard_outputs(*this); }

namespace {

// The records or the profile renamed over the file of another output would
// leave only the later of them, the results lost under a profile: refused
// before any work. The summary may still replace the results.
fault check_distinct_targets(const run_outputs& outputs) {
    struct named_output {
        const staged_output* output;
        fault_kind kind;
        const char* name;
    };
    const named_output all[] = {{&outputs.results, fault_kind::results_file, "results"},
                                {&outputs.summary, fault_kind::summary_file, "summary"},
                                {&outputs.records, fault_kind::records_file, "records"},
                                {&outputs.profile, fault_kind::profile_file, "profile"}};
    for (std::size_t later = 2; later < std::size(all); ++later) {
        for (std::size_t earlier = 0; earlier < later; ++earlier) {
            if (same_staged_target(*all[earlier].output, *all[later].output)) {
                return {all[later].kind, 0, std::string("it is also the ") + all[earlier].name + " file"};
            }
        }
    }
    return {};
}

}  // namespace

fault prepare_outputs(run_outputs& outputs, const run_config& config) {
    if (const int error = check_output_path(config.results_path); error != 0) {
        return {fault_kind::results_file, error, {}};
    }
    if (const int error = check_output_path(config.summary_path); error != 0) {
        return {fault_kind::summary_file, error, {}};
    }
    if (const int error = prepare_staged_output(outputs.results, config.results_path, stage_naming::kept);
        error != 0) {
        return {fault_kind::results_file, error, file_error_text(error, outputs.results)};
    }
    if (config.resume && !outputs.results.staged) return {fault_kind::resume_refused, 0, "it is not a regular file"};
    if (const fault failure = prepare_view_outputs(outputs, config)) return failure;
    if (const int error = prepare_staged_output(outputs.summary, config.summary_path, stage_naming::unique);
        error != 0) {
        return {fault_kind::summary_file, error, {}};
    }
    return check_distinct_targets(outputs);
}

void discard_outputs(run_outputs& outputs) {
    discard_staged_output(outputs.results, outputs.results_file);
    discard_staged_output(outputs.summary, outputs.summary_file);
    discard_view_outputs(outputs);
    end_checkpoints(outputs.checkpoints, false);
}

bool keep_outputs_for_resume(run_outputs& outputs, bool resuming) {
    checkpoint_state& checkpoints = outputs.checkpoints;
    if (!checkpoints.active) {
        // Stopped while the kept rows were read: they stay as they were.
        const bool untouched = resuming && outputs.results.keep_on_discard;
        discard_outputs(outputs);
        return untouched;
    }
    // A failure leaves the last checkpoint recorded, which a resumed run goes back to.
    make_checkpoint(checkpoints, outputs.results_file);
    release_staged_output(outputs.results, outputs.results_file);
    discard_staged_output(outputs.summary, outputs.summary_file);
    discard_view_outputs(outputs);
    end_checkpoints(checkpoints, true);
    return true;
}

void set_up_masses(run_stats& stats, const run_config& config) {
    set_up_mass_store(stats.masses, mass_file_directory(config.results_path, config.summary_path),
                      mass_budget_setting());
}

fault mass_file_fault(const mass_store& masses, int error) {
    return {fault_kind::masses_file, error, masses.directory + "/..."};
}

std::string keep_rows_after_failure(run_outputs& outputs, int error) {
    checkpoint_state& checkpoints = outputs.checkpoints;
    if (!checkpoints.active || outputs.results.temporary.empty()) {
        discard_outputs(outputs);
        return {};
    }
    make_checkpoint(checkpoints, outputs.results_file);  // nothing to do after a failed write
    const checkpoint_record point = recorded_checkpoint(checkpoints);
    if (point.rows == 0) {  // before the first checkpoint: nothing worth keeping
        discard_outputs(outputs);
        return {};
    }
    release_staged_output(outputs.results, outputs.results_file);
    discard_staged_output(outputs.summary, outputs.summary_file);
    discard_view_outputs(outputs);
    end_checkpoints(checkpoints, true);
    const bool full = error == ENOSPC || error == EDQUOT || error == EFBIG;
    return "; the rows up to p = " + std::to_string(point.last_p) + " are kept: " +
           (full ? "free space and run" : "run") + " the same command with --resume";
}

checkpoint_record record_of(const run_config& config) {
    checkpoint_record record;
    record.p_min = config.p_min;
    record.has_p_min = config.has_p_min;
    record.p_max = config.p_max;
    record.c_max = config.c_max;
    return record;
}

int begin_checkpoints(run_outputs& outputs, const checkpoint_record& from) {
    const std::string record_path = checkpoint_record_name(outputs.results.destination);
    int error = from.durable_bytes == 0 ? write_checkpoint_record(record_path, from, false) : 0;
    if (error == 0) error = keep_staged_prefix(outputs.results, from.durable_bytes);
    if (error == 0) error = start_checkpoints(outputs.checkpoints, outputs.results, from);
    return error;
}

int write_summary_output(run_outputs& outputs, const run_config& config, const run_stats& stats,
                         const summary_percentiles& percentiles) {
    if (const int error = open_staged_output(outputs.summary, outputs.summary_file); error != 0) return error;
    const summary_bounds bounds{config.p_min, config.has_p_min, config.p_max, config.c_max,
                                count_shifts(config.c_max)};
    return write_summary_file(outputs.summary_file, bounds, stats, percentiles);
}

int put_outputs_in_place(run_outputs& outputs, const run_config& config, const run_stats& stats, int summary_error,
                         status_line& status, std::FILE* err, const char* program) {
    int results_error = 0;
    bool results_committed = false;
    fault view_failure;
    if (summary_error == 0) {
        results_error = commit_staged_output(outputs.results);
        results_committed = results_error == 0;
        if (results_committed) view_failure = commit_view_outputs(outputs);
        if (results_committed && !view_failure) summary_error = commit_staged_output(outputs.summary);
    }
    if (results_error != 0) {
        print_file_error(status, err, program, "results", config.results_path, std::strerror(results_error));
        return 1;
    }
    if (view_failure) {
        // The results are in place; the summary stays as it was.
        print_fault(status, err, program, config, view_failure);
        status_end(status);
        print_closing_line(err, stats);
        return 1;
    }
    if (summary_error != 0) {
        // The summary could not be written (the results are still beside
        // their target) or put in place (the results are in place by then).
        const std::string advice = results_committed ? std::string() : keep_rows_after_failure(outputs, summary_error);
        print_file_error(status, err, program, "summary", config.summary_path,
                         std::strerror(summary_error) + advice);
    }
    status_end(status);
    print_closing_line(err, stats);
    if (summary_error != 0) return 1;
    return every_prime_covered_and_verified(stats) ? 0 : 2;
}

}  // namespace erdos
