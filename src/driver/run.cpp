#include "driver/run.hpp"

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>

#include "driver/progress.hpp"
#include "driver/run_records.hpp"
#include "numtheory/prime_sieve.hpp"
#include "numtheory/spf_table.hpp"
#include "report/output_file.hpp"
#include "report/results_file.hpp"
#include "report/run_stats.hpp"
#include "report/summary_file.hpp"
#include "search/scan_prime.hpp"
#include "search/shift_list.hpp"
#include "search/verify_witness.hpp"

namespace erdos {

namespace {

constexpr const char* program_name = "erdos-straus";

int report_file_error(progress_state& progress, std::FILE* err, const char* what, const std::string& path,
                      int error) {
    progress_end(progress);
    std::fprintf(err, "%s: cannot write %s file %s: %s\n", program_name, what, quote_for_message(path).c_str(),
                 std::strerror(error));
    return 1;
}

// The whole run behind run_experiment; every message on err first clears the
// status line.
int run_phases(const run_config& config, std::FILE* err, progress_state& progress) {
    // Both destinations are checked before any table is built, so that a wrong
    // path costs no waiting; the check creates and truncates nothing.
    if (const int error = check_output_path(config.results_path); error != 0) {
        return report_file_error(progress, err, "results", config.results_path, error);
    }
    if (const int error = check_output_path(config.summary_path); error != 0) {
        return report_file_error(progress, err, "summary", config.summary_path, error);
    }

    progress_phase(progress, "sieving");
    const std::vector<std::int32_t> prime_list = sieve_primes(config.p_max);
    progress_phase(progress, "factor table");
    const std::vector<std::int32_t> spf_table = build_spf_table(config.p_max, config.c_max);
    const shift_table shifts = build_shift_list(config.c_max);
    const std::uint64_t shift_count = shifts.shift_list.size();

    output_file results;
    if (const int error = open_results_file(results, config.results_path); error != 0) {
        return report_file_error(progress, err, "results", config.results_path, error);
    }

    const std::int64_t examined_total =
        std::count_if(prime_list.begin(), prime_list.end(), [](std::int32_t p) { return p % 24 == 1; });
    progress_phase(progress, "scanning primes");
    run_stats stats;
    for (const std::int32_t p : prime_list) {
        if (p % 24 != 1) continue;
        ++stats.processed;
        const prime_scan scan = scan_prime(p, shifts.shift_list, shift_count, shifts.weight_total, spf_table);
        const bool passed =
            scan.has_witness && verify_first_witness(p, scan.least_c, scan.first_m, scan.first_d, scan.branch);
        update_run_stats(stats, scan, passed);
        if (const int error = write_results_row(results, scan); error != 0) {
            close_output_file(results);
            return report_file_error(progress, err, "results", config.results_path, error);
        }
        progress_scan(progress, stats.processed, examined_total, p);
    }
    progress_phase(progress, "writing the summary");
    if (const int error = close_output_file(results); error != 0) {
        return report_file_error(progress, err, "results", config.results_path, error);
    }

    const int summary_error =
        write_summary(config.summary_path, config.p_max, config.c_max, shift_count, stats);
    if (summary_error != 0) report_file_error(progress, err, "summary", config.summary_path, summary_error);

    progress_end(progress);
    std::fprintf(err, "processed=%d covered=%d verified=%d max_least_c=%d at p=%d\n", stats.processed,
                 stats.covered, stats.verified, stats.max_least_shift, stats.max_least_shift_prime);
    if (summary_error != 0) return 1;
    return (stats.processed == stats.covered && stats.covered == stats.verified) ? 0 : 2;
}

}  // namespace

int run_experiment(const run_config& config, std::FILE* err) {
    progress_state progress = progress_begin(err);
    try {
        return run_phases(config, err, progress);
    } catch (...) {
        progress_end(progress);  // erdos_main's message must start on a clean line
        throw;
    }
}

int erdos_main(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    try {
        const command_line command = parse_command_line(args);
        switch (command.action) {
            case command_action::help:
                std::fputs(usage_text().c_str(), out);
                return std::fflush(out) == 0 ? 0 : 1;
            case command_action::version:
                std::fputs(version_text().c_str(), out);
                return std::fflush(out) == 0 ? 0 : 1;
            case command_action::fail:
                std::fprintf(err, "%s: %s\nTry '%s --help' for more information.\n", program_name,
                             command.error.c_str(), program_name);
                return 1;
            case command_action::run:
                break;
        }
        return run_experiment(command.config, err);
    } catch (const std::bad_alloc&) {
        std::fprintf(err, "%s: out of memory; the outputs are not complete\n", program_name);
    } catch (const std::exception& e) {
        std::fprintf(err, "%s: internal error: %s; the outputs are not complete\n", program_name, e.what());
    } catch (...) {
        std::fprintf(err, "%s: internal error; the outputs are not complete\n", program_name);
    }
    return 1;
}

}  // namespace erdos
