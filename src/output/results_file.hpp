// Writing the results file: its header, then rows in large blocks.
#pragma once

#include <string>

#include "output/output_file.hpp"
#include "stats/results_rows.hpp"

namespace erdos {

// Writes the header into a file just opened.
void start_results_file(output_file& file);

// Readies a file that already holds the header and some rows for more rows.
void continue_results_file(output_file& file);

// Appends rows already formatted by append_results_row.
int write_results_rows(output_file& file, const std::string& rows);

}  // namespace erdos
