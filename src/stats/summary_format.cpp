// The summary text, and the percentiles it reports.
#include "stats/summary_format.hpp"

#include "stats/number_format.hpp"

namespace erdos {

namespace {

void key(std::string& out, const char* name) {
    out += "  \"";
    out += name;
    out += "\": ";
}

void integer_line(std::string& out, const char* name, std::int64_t value) {
    key(out, name);
    append_integer(out, value);
    out += ",\n";
}

void double_line(std::string& out, const char* name, double value) {
    key(out, name);
    append_double(out, value);
    out += ",\n";
}

}  // namespace

std::string format_summary(const summary_bounds& bounds, const run_stats& stats,
                           const summary_percentiles& percentiles) {
    const double median_uniform = percentiles.median_uniform;
    const double p10_uniform = percentiles.p10_uniform;
    const double p90_uniform = percentiles.p90_uniform;
    const double median_weighted = percentiles.median_weighted;
    std::string out = "{\n";
    if (bounds.has_p_min) integer_line(out, "p_min", bounds.p_min);
    integer_line(out, "p_max", bounds.p_max);
    integer_line(out, "c_max", bounds.c_max);
    key(out, "shift_count");
    append_unsigned(out, bounds.shift_count);
    out += ",\n";
    integer_line(out, "primes_1_mod_24", stats.processed);
    integer_line(out, "covered", stats.covered);
    key(out, "all_first_witnesses_verified");
    out += stats.covered == stats.verified ? "true,\n" : "false,\n";
    integer_line(out, "max_least_shift", stats.max_least_shift);
    integer_line(out, "max_least_shift_prime", stats.max_least_shift_prime);
    double_line(out, "min_uniform_mass", stats.min_uniform_mass);
    integer_line(out, "min_uniform_mass_prime", stats.min_uniform_mass_prime);
    double_line(out, "median_uniform_mass", median_uniform);
    double_line(out, "p10_uniform_mass", p10_uniform);
    double_line(out, "p90_uniform_mass", p90_uniform);
    double_line(out, "min_weighted_mass", stats.min_weighted_mass);
    integer_line(out, "min_weighted_mass_prime", stats.min_weighted_mass_prime);
    double_line(out, "median_weighted_mass", median_weighted);
    // Plain IEEE divisions, unguarded: a zero median gives inf, a NaN one a NaN of its sign.
    double_line(out, "median_uniform_expected_trials", 1.0 / median_uniform);
    double_line(out, "median_weighted_expected_trials", 1.0 / median_weighted);

    out += "  \"least_shift_histogram\": {";
    bool first = true;
    for (const auto& [least_c, count] : stats.least_shift_histogram) {
        out += first ? "\n    \"" : ",\n    \"";
        first = false;
        append_integer(out, least_c);
        out += "\": ";
        append_integer(out, count);
    }
    if (!first) out += '\n';
    out += "  }\n}\n";
    return out;
}

}  // namespace erdos
