// The results file's text: its header and one row per examined prime.
#pragma once

#include <string>

#include "search/prime_scan.hpp"

namespace erdos {

// The first line of the results file, line feed included.
extern const char results_header[];

// Appends one row of nine comma-separated fields and a line feed: p, least_c,
// first_d, branch, successful_shifts, both masses, and their expected trials
// 1.0 / mass (positive infinity when the mass is 0 or a NaN).
void append_results_row(std::string& out, const prime_scan& scan);

}  // namespace erdos
