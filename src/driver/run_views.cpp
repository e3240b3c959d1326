// The record primes and the profile written through staged files, as the other outputs are.
#include "driver/run_views.hpp"

#include "stats/record_primes.hpp"
#include "stats/run_profile.hpp"

namespace erdos {

namespace {

fault prepare_one(staged_output& output, const std::string& path, fault_kind kind) {
    if (path.empty()) return {};
    if (const int error = check_output_path(path); error != 0) return {kind, error, {}};
    if (const int error = prepare_staged_output(output, path, stage_naming::unique); error != 0) {
        return {kind, error, {}};
    }
    return {};
}

fault write_one(staged_output& output, output_file& file, fault_kind kind, std::string text) {
    if (const int error = open_staged_output(output, file); error != 0) return {kind, error, {}};
    file.pending = std::move(text);
    if (const int error = close_output_file(file); error != 0) return {kind, error, {}};
    return {};
}

}  // namespace

void set_up_views(run_stats& stats, const run_config& config) {
    stats.records.wanted = !config.records_path.empty();
    if (!config.profile_path.empty()) stats.profile = plan_run_profile(config.p_min, config.p_max);
}

fault prepare_view_outputs(run_outputs& outputs, const run_config& config) {
    if (fault failure = prepare_one(outputs.records, config.records_path, fault_kind::records_file)) return failure;
    return prepare_one(outputs.profile, config.profile_path, fault_kind::profile_file);
}

fault write_view_outputs(run_outputs& outputs, const run_config& config, const run_stats& stats) {
    if (!config.records_path.empty()) {
        if (fault failure = write_one(outputs.records, outputs.records_file, fault_kind::records_file,
                                      format_records(stats.records))) {
            return failure;
        }
    }
    if (!config.profile_path.empty()) {
        return write_one(outputs.profile, outputs.profile_file, fault_kind::profile_file,
                         format_run_profile(stats.profile));
    }
    return {};
}

fault commit_view_outputs(run_outputs& outputs) {
    if (!outputs.records.destination.empty()) {
        if (const int error = commit_staged_output(outputs.records); error != 0) {
            return {fault_kind::records_file, error, {}};
        }
    }
    if (!outputs.profile.destination.empty()) {
        if (const int error = commit_staged_output(outputs.profile); error != 0) {
            return {fault_kind::profile_file, error, {}};
        }
    }
    return {};
}

void discard_view_outputs(run_outputs& outputs) {
    discard_staged_output(outputs.records, outputs.records_file);
    discard_staged_output(outputs.profile, outputs.profile_file);
}

}  // namespace erdos
