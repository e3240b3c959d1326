// Discarding a run's outputs, or keeping its rows for --resume.
#include "driver/run_outputs.hpp"

#include <cerrno>
#include <cstring>

#include "driver/run_config.hpp"
#include "output/quoting.hpp"

namespace erdos {

void discard_outputs(run_outputs& outputs) {
    discard_staged_output(outputs.results, outputs.results_file);
    discard_staged_output(outputs.summary, outputs.summary_file);
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
    // A failure leaves the last point recorded, which a resumed run goes back to.
    make_checkpoint(checkpoints, outputs.results_file);
    release_staged_output(outputs.results, outputs.results_file);
    discard_staged_output(outputs.summary, outputs.summary_file);
    end_checkpoints(checkpoints, true);
    return true;
}

std::string file_error_text(int error, const staged_output& output) {
    if (error == EBUSY) {  // from the lock on the kept temporary file
        return "another run is writing it (" + quote_for_message(kept_file_name(output.destination)) + ")";
    }
    return std::strerror(error);
}

void print_file_error(status_line& progress, std::FILE* err, const char* program, const char* what,
                      const std::string& path, const std::string& why) {
    status_end(progress);
    std::fprintf(err, "%s: cannot write %s file %s: %s\n", program, what, quote_for_message(path).c_str(),
                 why.c_str());
}

void print_resume_refusal(status_line& progress, std::FILE* err, const char* program, const std::string& path,
                          const std::string& why) {
    status_end(progress);
    std::fprintf(err, "%s: cannot resume results file %s: %s\n", program, quote_for_message(path).c_str(),
                 why.c_str());
}

void print_interrupted(std::FILE* err, const char* program, bool kept) {
    std::fprintf(err, "%s: interrupted; the outputs are not complete%s\n", program,
                 kept ? "; the same command with --resume continues the run" : "");
}

checkpoint_record record_of(const run_config& config) {
    checkpoint_record record;
    record.p_min = config.p_min;
    record.has_p_min = config.has_p_min;
    record.p_max = config.p_max;
    record.c_max = config.c_max;
    return record;
}

int start_durable_points(run_outputs& outputs, const checkpoint_record& from) {
    const std::string record_path = checkpoint_record_name(outputs.results.destination);
    int error = from.durable_bytes == 0 ? write_checkpoint_record(record_path, from, false) : 0;
    if (error == 0) error = keep_staged_prefix(outputs.results, from.durable_bytes);
    if (error == 0) error = start_checkpoints(outputs.checkpoints, outputs.results, from);
    return error;
}

int put_outputs_in_place(run_outputs& outputs, const run_config& config, const run_stats& stats, int summary_error,
                         status_line& progress, std::FILE* err, const char* program) {
    int results_error = 0;
    if (summary_error == 0) {
        results_error = commit_staged_output(outputs.results);
        if (results_error == 0) summary_error = commit_staged_output(outputs.summary);
    }
    if (results_error != 0) {
        print_file_error(progress, err, program, "results", config.results_path, std::strerror(results_error));
        return 1;
    }
    if (summary_error != 0) {
        print_file_error(progress, err, program, "summary", config.summary_path, std::strerror(summary_error));
    }
    status_end(progress);
    std::fprintf(err, "processed=%lld covered=%lld verified=%lld max_least_c=%d at p=%lld\n",
                 static_cast<long long>(stats.processed), static_cast<long long>(stats.covered),
                 static_cast<long long>(stats.verified), stats.max_least_shift,
                 static_cast<long long>(stats.max_least_shift_prime));
    if (summary_error != 0) return 1;
    return (stats.processed == stats.covered && stats.covered == stats.verified) ? 0 : 2;
}

}  // namespace erdos
