// Parsing and checking the command line.
#include "driver/run_config.hpp"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <thread>

#include "output/quoting.hpp"

#ifndef ERDOS_STRAUS_VERSION
#define ERDOS_STRAUS_VERSION "0.0.0"
#endif

namespace erdos {

namespace {

bool is_c_space(char ch) { return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r'; }

std::string invalid(std::string_view name, std::string_view text, std::string_view why) {
    std::string message = "invalid ";
    message += name;
    message += ' ';
    message += quote_for_message(text);
    message += ": ";
    message += why;
    return message;
}

// The options the program knows, wherever they stand. An option taking a
// value is also known in its "--name=value" form.
struct known_option {
    std::string_view name;
    bool takes_value;
    bool first_only;  // only as the very first argument
};
constexpr known_option known_options[] = {
    {"--threads", true, false},
    {"--from", true, false},
    {"--records", true, false},
    {"--profile", true, false},
    {"--resume", false, false},
    {"--progress", true, false},
    {"--estimate", false, false},
    {"-h", false, true},
    {"--help", false, true},
    {"--version", false, true},
};

const known_option* find_known_option(std::string_view arg) {
    for (const known_option& option : known_options) {
        if (arg == option.name) return &option;
        if (option.takes_value && arg.starts_with(option.name) && arg.substr(option.name.size()).starts_with('=')) {
            return &option;
        }
    }
    return nullptr;
}

// What is wrong with args[i], which stands where a positional argument is
// expected (first is the first such place), or an empty text when it is a
// positional argument. Only the first four places are looked at: later
// arguments are ignored.
std::string misplaced_option(const std::vector<std::string>& args, std::size_t i, std::size_t first) {
    const std::string& arg = args[i];
    if (const known_option* option = find_known_option(arg); option != nullptr) {
        if (i > first) return "options go before P_MAX: " + quote_for_message(arg);
        if (option->first_only) return quote_for_message(arg) + " must be the first argument";
        return "option " + quote_for_message(option->name) + " is given twice";
    }
    // An unknown option among the positional arguments is a mistake, not a path.
    if (arg.starts_with("--")) return "unknown option " + quote_for_message(arg);
    return {};
}

// The value of the option `name` at args[next] ("--name V" or "--name=V"),
// if that is where it stands: moves next past it and sets found. An option
// with no value left is an error.
std::string read_option_value(const std::vector<std::string>& args, std::size_t& next, std::string_view name,
                              std::string_view what, bool& found, std::string& text) {
    found = false;
    if (next >= args.size()) return {};
    const std::string& option = args[next];
    if (option == name) {
        if (next + 1 >= args.size()) return "option " + quote_for_message(name) + " needs " + std::string(what);
        text = args[next + 1];
        next += 2;
    } else if (option.starts_with(name) && option.substr(name.size()).starts_with('=')) {
        text = option.substr(name.size() + 1);
        next += 1;
    } else {
        return {};
    }
    found = true;
    return {};
}

// The value of --threads, into config.
std::string apply_thread_count(const std::string& text, run_config& config) {
    std::int64_t threads = 0;
    if (!parse_decimal(text, threads) || threads < 1 || threads > max_threads) {
        return invalid("thread count", text, "expected a whole number from 1 to " + std::to_string(max_threads));
    }
    config.threads = static_cast<unsigned>(threads);
    return {};
}

// The value of --from, into config.
std::string apply_p_min(const std::string& text, run_config& config) {
    std::int64_t p_min = 0;
    if (!parse_decimal(text, p_min)) return invalid("p_min", text, "expected a decimal integer");
    if (p_min < 0 || p_min > max_p_max) return invalid("p_min", text, "must be from 0 to " + std::to_string(max_p_max));
    config.p_min = p_min;
    config.has_p_min = true;
    return {};
}

// The value of --progress, into config.
std::string apply_progress_seconds(const std::string& text, run_config& config) {
    std::int64_t seconds = 0;
    if (!parse_decimal(text, seconds) || seconds < 1 || seconds > max_progress_seconds) {
        return invalid("progress interval", text,
                       "expected a whole number of seconds from 1 to " + std::to_string(max_progress_seconds));
    }
    config.progress_seconds = static_cast<int>(seconds);
    return {};
}

// The values of --records and --profile, into config. An empty name (an
// unset shell variable) would ask for no file at all: refused.
std::string apply_records_path(const std::string& text, run_config& config) {
    if (text.empty()) return invalid("records file", text, "expected a file name");
    config.records_path = text;
    return {};
}
std::string apply_profile_path(const std::string& text, run_config& config) {
    if (text.empty()) return invalid("profile file", text, "expected a file name");
    config.profile_path = text;
    return {};
}

// The options with a value that may stand before the positional arguments.
struct value_option {
    std::string_view name;
    std::string_view what;  // what its value is, for "needs ..."
    std::string (*apply)(const std::string& text, run_config& config);
};
constexpr value_option value_options[] = {
    {"--threads", "a thread count", apply_thread_count},
    {"--from", "a lower bound P_MIN", apply_p_min},
    {"--records", "a file name", apply_records_path},
    {"--profile", "a file name", apply_profile_path},
    {"--progress", "an interval in seconds", apply_progress_seconds},
};

// The options without a value, and the switch each sets.
struct flag_option {
    std::string_view name;
    bool run_config::*flag;
};
constexpr flag_option flag_options[] = {
    {"--resume", &run_config::resume},
    {"--estimate", &run_config::estimate},
};

// Reads the options before the positional arguments, in any order, each at
// most once (a repeat is left for misplaced_option).
std::string read_options(const std::vector<std::string>& args, std::size_t& next, run_config& config) {
    bool seen[std::size(value_options)] = {};
    bool found = true;
    while (found) {
        found = false;
        for (const flag_option& option : flag_options) {
            if (!found && !(config.*option.flag) && next < args.size() && args[next] == option.name) {
                config.*option.flag = true;
                ++next;
                found = true;
            }
        }
        if (found) continue;
        for (std::size_t o = 0; o < std::size(value_options) && !found; ++o) {
            if (seen[o]) continue;
            std::string text;
            if (std::string error = read_option_value(args, next, value_options[o].name, value_options[o].what,
                                                      found, text);
                !error.empty()) {
                return error;
            }
            if (!found) continue;
            seen[o] = true;
            if (std::string error = value_options[o].apply(text, config); !error.empty()) return error;
        }
    }
    return {};
}

// Reads p_max, c_max and the two paths from args[next ...]; later ones are ignored.
std::string read_positional(const std::vector<std::string>& all, std::size_t next, run_config& config) {
    const std::vector<std::string> args(all.begin() + static_cast<std::ptrdiff_t>(next), all.end());
    std::int64_t p_max = config.p_max;
    std::int64_t c_max = config.c_max;
    if (args.size() >= 1) {
        if (!parse_decimal(args[0], p_max)) return invalid("p_max", args[0], "expected a decimal integer");
        if (p_max < 0 || p_max > max_p_max) {
            return invalid("p_max", args[0], "must be from 0 to " + std::to_string(max_p_max));
        }
    }
    if (args.size() >= 2) {
        if (!parse_decimal(args[1], c_max)) return invalid("c_max", args[1], "expected a decimal integer");
        if (c_max < INT32_MIN) return invalid("c_max", args[1], "is below the 32-bit limit -2147483648");
        if (c_max > max_c_max) return invalid("c_max", args[1], "must be at most " + std::to_string(max_c_max));
    }
    if (config.p_min > p_max) {
        return invalid("p_min", std::to_string(config.p_min), "must be at most p_max (" + std::to_string(p_max) + ")");
    }
    config.p_max = p_max;
    config.c_max = static_cast<std::int32_t>(c_max);
    if (args.size() >= 3) config.results_path = args[2];
    if (args.size() >= 4) config.summary_path = args[3];
    return {};
}

}  // namespace

bool parse_decimal(std::string_view text, std::int64_t& value) {
    std::size_t i = 0;
    while (i < text.size() && is_c_space(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return false;
    constexpr std::int64_t saturated = INT64_MAX;
    std::int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch < '0' || ch > '9') return false;
        const int digit = ch - '0';
        magnitude = magnitude > (saturated - digit) / 10 ? saturated : magnitude * 10 + digit;
    }
    value = negative ? -magnitude : magnitude;
    return true;
}

command_line parse_command_line(const std::vector<std::string>& args) {
    command_line result;
    if (!args.empty() && (args[0] == "-h" || args[0] == "--help")) {
        result.action = command_action::help;
        return result;
    }
    if (!args.empty() && args[0] == "--version") {
        result.action = command_action::version;
        return result;
    }
    std::size_t next = 0;
    std::string error = read_options(args, next, result.config);
    for (std::size_t i = next; error.empty() && i < args.size() && i < next + 4; ++i) {
        error = misplaced_option(args, i, next);
    }
    // Beyond the fourth, an option would be ignored with the other words
    // there: --resume left out in silence costs the kept rows.
    for (std::size_t i = next + 4; error.empty() && i < args.size(); ++i) {
        if (args[i].starts_with("--")) error = "options go before P_MAX: " + quote_for_message(args[i]);
    }
    if (error.empty()) error = read_positional(args, next, result.config);
    if (!error.empty()) {
        result.action = command_action::fail;
        result.error = std::move(error);
    }
    return result;
}

std::string version_text(std::string_view program) {
    return std::string(program) + " " + ERDOS_STRAUS_VERSION + "\n";
}

std::string usage_text(std::string_view program) {
    const std::string name(program);
    const std::string indent(name.size() + 8, ' ');  // under the first option
    return "Usage: " + name + " [--threads N] [--from P_MIN] [--resume]\n" + indent +
           "[--progress SECONDS] [--estimate]\n" + indent +
           "[--records FILE] [--profile FILE]\n" + indent +
           "[P_MAX [C_MAX [RESULTS_CSV [SUMMARY_JSON]]]]\n"
           "       " + name + " --help | --version\n"
           "\n"
           "Studies the Erdos-Straus equation 4/p = 1/m + 1/x + 1/y for every prime\n"
           "p = 1 (mod 24) up to P_MAX (from P_MIN on, with --from). For each shift\n"
           "c = 3, 7, 11, ... up to C_MAX it sets m = (p + c)/4 and looks for a divisor\n"
           "d of m^2 with (m + d) = 0 or (4d + 1) = 0 (mod c); the first such d of the\n"
           "least shift is turned into an explicit solution and checked exactly in\n"
           "integer arithmetic.\n"
           "\n"
           "Arguments, positional, each optional but only with all before it:\n"
           "  P_MAX         largest prime examined, 0 to 4611686018427387904 = 2^62\n"
           "                (default 2000000)\n"
           "  C_MAX         largest shift tried, at most 2147483646 (default 127);\n"
           "                below 3 no shift is tried\n"
           "  RESULTS_CSV   one row per examined prime (default results/erdos_results.csv)\n"
           "  SUMMARY_JSON  run summary (default results/erdos_summary.json)\n"
           "Other arguments after the fourth are ignored; an option there (--...) is\n"
           "refused. Output directories must exist; they are never created. Each file\n"
           "is written beside its target and replaces it only when the run finishes\n"
           "(status 0 or 2). --records or --profile naming another output is refused.\n"
           "\n"
           "Options, before the positional arguments:\n"
           "  --threads N   scan with N threads (default: every available core); the\n"
           "                outputs are byte-identical for every N\n"
           "  --from P_MIN  examine only the primes from P_MIN on (0 <= P_MIN <= P_MAX);\n"
           "                the summary then names p_min\n"
           "  --records FILE\n"
           "                write the record primes to FILE, as CSV: each prime whose\n"
           "                least shift beats every one before it, with its solution\n"
           "  --profile FILE\n"
           "                write the run to FILE in about a thousand bins of p, as CSV:\n"
           "                counts, largest least shift, histograms, mean masses\n"
           "  --resume      continue the run that a signal or a kill stopped, from the\n"
           "                rows it kept beside RESULTS_CSV; the same arguments must\n"
           "                follow (the thread count may differ). With nothing kept\n"
           "                it runs from the start; without it, a run refuses to\n"
           "                replace kept rows\n"
           "  --progress SECONDS\n"
           "                when standard error is no terminal (a batch log), write a\n"
           "                line there every SECONDS: the phase, the share done, the\n"
           "                primes, the rate and the time left\n"
           "  --estimate    print on standard output what the run would need (examined\n"
           "                primes, results size, temporary disk, peak memory, wall\n"
           "                time from a short timed sample on the same threads) and\n"
           "                exit; writes no file\n"
           "  -h, --help    show this text and exit (first argument only)\n"
           "  --version     show the version and exit (first argument only)\n"
           "\n"
           "Standard error receives one line at the end of a finished run:\n"
           "  processed=N covered=N verified=N max_least_c=C at p=P\n"
           "When standard error is a terminal, a status line shows the progress of a\n"
           "long run before that and is erased for it; elsewhere --progress writes\n"
           "plain lines before it.\n"
           "\n"
           "Exit status:\n"
           "  0  every examined prime was covered and its first witness verified\n"
           "  1  bad arguments, or the outputs are not complete (a file could not be\n"
           "     written, memory ran out); a message on standard error says which\n"
           "  2  the run finished, but some examined prime was not covered or verified\n"
           "  128+N  signal N (SIGINT, SIGTERM, SIGHUP) stopped the run; the previous\n"
           "     files stay, and the rows so far are kept for --resume\n";
}

unsigned worker_threads(const run_config& config) {
    return config.threads != 0 ? config.threads : std::max(1U, std::thread::hardware_concurrency());
}

}  // namespace erdos
