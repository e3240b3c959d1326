// The results file's header and rows as text.
#include "stats/results_rows.hpp"

#include <limits>

#include "stats/number_format.hpp"

namespace erdos {

const char results_header[] =
    "p,least_c,first_d,branch,successful_shifts,uniform_mass,weighted_mass,"
    "uniform_expected_trials,weighted_expected_trials\n";

namespace {
double expected_trials(double mass) { return mass > 0.0 ? 1.0 / mass : std::numeric_limits<double>::infinity(); }
}  // namespace

void append_results_row(std::string& out, const prime_scan& scan) {
    // Five integers (first_d 128-bit, the others 64-bit at most) and four
    // numbers, with their separators, fit in max_integer_chars + 1 + 4 * 21 +
    // 4 * (max_double_chars + 1) bytes: built on the stack, appended once.
    char row[max_integer_chars + 1 + 4 * 21 + 4 * (max_double_chars + 1)];
    char* p = row;
    p = put_integer(p, scan.p);
    *p++ = ',';
    p = put_integer(p, scan.least_c);
    *p++ = ',';
    p = put_integer(p, scan.first_d);
    *p++ = ',';
    p = put_integer(p, scan.branch);
    *p++ = ',';
    p = put_integer(p, scan.successful_shifts);
    *p++ = ',';
    for (const double value : {scan.uniform_mass, scan.weighted_mass, expected_trials(scan.uniform_mass),
                               expected_trials(scan.weighted_mass)}) {
        p = put_double(p, value);
        *p++ = ',';
    }
    p[-1] = '\n';
    out.append(row, p);
}

}  // namespace erdos
