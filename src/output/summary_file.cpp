// Writing the summary file.
#include "output/summary_file.hpp"

namespace erdos {

int write_summary_file(output_file& file, const summary_bounds& bounds, run_stats& stats) {
    // The lists serve as the selections' working copies: a run's lists are
    // tens of megabytes, and their order is of no further use.
    file.pending = format_summary(bounds, stats, select_summary_percentiles(stats));
    return close_output_file(file);
}

}  // namespace erdos
