// The results file: its header and one row per examined prime.
#pragma once

#include <string>

#include "search/prime_scan.hpp"
#include "output/output_file.hpp"

namespace erdos {

// The first line of the results file, line feed included.
extern const char results_header[];

// Appends one row of nine comma-separated fields and a line feed: p, least_c,
// first_d, branch, successful_shifts, both masses, and their expected trials
// 1.0 / mass (positive infinity when the mass is 0 or a NaN).
void append_results_row(std::string& out, const prime_scan& scan);

// Writes the header into a file just opened.
void start_results_file(output_file& file);

// Readies a file that already holds the header and some rows for more rows.
void continue_results_file(output_file& file);

// Creates or truncates path and writes the header. Returns 0 or an errno value.
int open_results_file(output_file& file, const std::string& path);

// Appends rows already formatted by append_results_row.
int write_results_rows(output_file& file, const std::string& rows);

}  // namespace erdos
