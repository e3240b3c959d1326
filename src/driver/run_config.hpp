// The command line: its parsing into a run configuration, the usage and version texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace erdos {

struct run_config {
    std::int32_t p_max = 2000000;
    std::int32_t c_max = 127;
    std::string results_path = "results/erdos_results.csv";
    std::string summary_path = "results/erdos_summary.json";
    unsigned threads = 0;  // scanning threads; 0 = every available core
};

// The largest values the 32-bit data model admits.
inline constexpr std::int64_t max_p_max = 2147483646;       // p_max + 1 must fit
inline constexpr std::int64_t max_c_max = 2147483646;       // the shift after the last must fit
inline constexpr std::int64_t max_bound_sum = 2147483647;   // p_max + c_max sizes the factor table
inline constexpr std::int64_t max_threads = 1024;

enum class command_action { run, help, version, fail };

struct command_line {
    command_action action = command_action::run;
    run_config config;
    std::string error;  // for fail: what is wrong, without the program name
};

// Reads the arguments that follow the program name: -h, --help or --version as
// the first argument, or an optional "--threads N" (or "--threads=N") followed
// by up to four positional ones (p_max, c_max, results path, summary path;
// later ones are ignored). A known option among the first four positional
// places fails with "options go before P_MAX", any other argument starting
// with "--" there as an unknown option. A number is optional white
// space, an optional sign and decimal digits, nothing else, within the limits
// above; p_max must not be negative.
command_line parse_command_line(const std::vector<std::string>& args);

// Parses optional leading white space, an optional '+' or '-' and one or more
// decimal digits filling the whole text. Returns false for anything else; on
// success value holds the number, saturated far outside the 32-bit range.
bool parse_decimal(std::string_view text, std::int64_t& value);

// text in single quotes, control bytes shown as \xHH, for a message.
std::string quote_for_message(std::string_view text);

// The --help text and the --version line, each ending in a line feed.
std::string usage_text();
std::string version_text();

}  // namespace erdos
