// The command line: its parsing into a run configuration, the usage and version texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace erdos {

struct run_config {
    std::int64_t p_min = 0;       // the examined primes are those from p_min to p_max
    bool has_p_min = false;       // given with --from: the summary names it
    std::int64_t p_max = 2000000;
    std::int32_t c_max = 127;
    std::string results_path = "results/erdos_results.csv";
    std::string summary_path = "results/erdos_summary.json";
    unsigned threads = 0;  // scanning threads; 0 = every available core
    bool resume = false;   // continue the run whose rows were kept beside the results file
    int progress_seconds = 0;  // a plain progress line this often when standard error is no terminal; 0: none
    bool estimate = false;     // only forecast what the run would need, from a short timed sample
    std::string records_path;  // --records: the record primes with their solutions; empty: none
    std::string profile_path;  // --profile: the run in bins of p; empty: none
};

// The scanning threads of a run: config.threads, or every available core (at
// least one) when it is 0.
unsigned worker_threads(const run_config& config);

// The largest values the program admits. Primes up to 2^62 keep m = (p + c)/4
// below 2^61 and every divisor of m^2 below 2^122.
inline constexpr std::int64_t max_p_max = std::int64_t{1} << 62;
inline constexpr std::int64_t max_c_max = 2147483646;       // the shift after the last must fit 32 bits
inline constexpr std::int64_t max_threads = 1024;
inline constexpr std::int64_t max_progress_seconds = 86400;  // a day

enum class command_action { run, help, version, fail };

struct command_line {
    command_action action = command_action::run;
    run_config config;
    std::string error;  // for fail: what is wrong, without the program name
};

// Reads the arguments that follow the program name: -h, --help or --version as
// the first argument, or the options "--threads N", "--from P_MIN",
// "--records FILE", "--profile FILE", "--progress SECONDS" (also as
// "--name=value"), "--resume" and "--estimate"
// (each at most once, in any order) followed
// by up to four positional ones (p_max, c_max, results path, summary path;
// later ones are ignored unless they start with "--"). A known option among
// the first four positional places, and any argument starting with "--"
// after them, fails with "options go before P_MAX"; any other argument
// starting with "--" among them as an unknown option. A number is optional white
// space, an optional sign and decimal digits, nothing else, within the limits
// above; 0 <= p_min <= p_max.
command_line parse_command_line(const std::vector<std::string>& args);

// Parses optional leading white space, an optional '+' or '-' and one or more
// decimal digits filling the whole text. Returns false for anything else; on
// success value holds the number, saturated far outside the range of any
// bound (at +-(2^63 - 1)).
bool parse_decimal(std::string_view text, std::int64_t& value);

// The --help text and the --version line, each ending in a line feed, for
// the program of that name.
std::string usage_text(std::string_view program = "erdos-straus");
std::string version_text(std::string_view program = "erdos-straus");

}  // namespace erdos
