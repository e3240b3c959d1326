// The summary file: counts, extremes, medians and the least-shift histogram of a run.
#pragma once

#include <cstdint>
#include <string>

#include "driver/run_records.hpp"
#include "report/output_file.hpp"

namespace erdos {

// The whole summary text: eighteen "key": value lines (bounds, counts, extremes,
// medians, 10th/90th percentiles and the reciprocals of the medians) and the
// least-shift histogram, numbers as in the results file. stats is only read.
std::string format_summary(std::int32_t p_max, std::int32_t c_max, std::uint64_t shift_count,
                           const run_stats& stats);

// Creates or truncates path and writes format_summary into it. The mass lists
// of stats keep their entries but not their order.
// Returns 0 or the errno value of the failed open, write or close. Both
// throw run_stopped when a signal asks the run to stop.
int write_summary(const std::string& path, std::int32_t p_max, std::int32_t c_max, std::uint64_t shift_count,
                  run_stats& stats);

// The same into a file already opened, which is closed at the end.
int write_summary_file(output_file& file, std::int32_t p_max, std::int32_t c_max, std::uint64_t shift_count,
                       run_stats& stats);

}  // namespace erdos
