// Whole output files written in one call, for tests.
#include "support/output_writers.hpp"

#include "output/results_file.hpp"
#include "output/summary_file.hpp"
#include "stats/distributed_percentile.hpp"

namespace erdos {

int write_summary(const std::string& path, const summary_bounds& bounds, run_stats& stats) {
    output_file file;
    if (const int error = open_output_file(file, path); error != 0) return error;
    summary_percentiles percentiles;
    if (const int error = find_summary_percentiles(stats.masses, percentiles); error != 0) {
        close_output_file(file);
        return error;
    }
    return write_summary_file(file, bounds, stats, percentiles);
}

int open_results_file(output_file& file, const std::string& path) {
    if (const int error = open_output_file(file, path); error != 0) return error;
    start_results_file(file);
    return 0;
}

}  // namespace erdos
