// Writing the summary file.
#include "output/summary_file.hpp"

namespace erdos {

int write_summary_file(output_file& file, const summary_bounds& bounds, const run_stats& stats,
                       const summary_percentiles& percentiles) {
    file.pending = format_summary(bounds, stats, percentiles);
    return close_output_file(file);
}

}  // namespace erdos
