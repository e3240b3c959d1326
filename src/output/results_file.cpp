// Writing results rows in large blocks.
#include "output/results_file.hpp"

#include "tuning.hpp"

namespace erdos {

void continue_results_file(output_file& file) { file.pending.reserve(tuning::results_batch_bytes + 256); }

void start_results_file(output_file& file) {
    continue_results_file(file);
    file.pending += results_header;
}

int write_results_rows(output_file& file, const std::string& rows) {
    // Large blocks of rows go straight through; small ones gather first.
    if (rows.size() >= tuning::results_write_through_bytes) return write_through(file, rows);
    file.pending += rows;
    return file.pending.size() >= tuning::results_batch_bytes ? flush_output_file(file) : 0;
}

}  // namespace erdos
