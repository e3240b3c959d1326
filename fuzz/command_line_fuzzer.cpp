// Arbitrary argument vectors: parsing must accept exactly the whole decimal
// integers strtoll reads, every outcome must be a help text, a version line,
// a message or a run, and the program must end with status 0, 1 or 2.
//
// Input: the arguments separated by NUL bytes. Runs are made only when they
// are quick (small p_max and c_max), always with both outputs on /dev/null;
// the given paths are only checked, never written.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/run.hpp"
#include "driver/run_config.hpp"
#include "output/output_file.hpp"
#include "output/quoting.hpp"

namespace {

constexpr std::size_t max_arguments = 6;
constexpr std::int32_t max_run_p = 3000;
constexpr std::int32_t max_run_c = 600;

[[noreturn]] void fail(const char* what, const std::vector<std::string>& args) {
    std::fprintf(stderr, "command_line_fuzzer: %s; arguments:", what);
    for (const auto& a : args) std::fprintf(stderr, " '%s'", a.c_str());
    std::fputc('\n', stderr);
    std::abort();
}

std::FILE* null_stream() {
    static std::FILE* const stream = std::fopen("/dev/null", "w");
    return stream;
}

// strtoll as the reference reader of a number: it must read the whole text.
void check_decimal(const std::string& text, const std::vector<std::string>& args) {
    std::int64_t parsed = 0;
    const bool accepted = erdos::parse_decimal(text, parsed);
    errno = 0;
    char* end = nullptr;
    const long long reference = std::strtoll(text.c_str(), &end, 10);
    const bool whole = end != text.c_str() && *end == '\0';
    if (accepted != whole) fail("parse_decimal and strtoll disagree on acceptance", args);
    if (!accepted) return;
    const bool in_range = errno == 0 && reference >= -(std::int64_t{1} << 40) && reference <= (std::int64_t{1} << 40);
    if (in_range && parsed != reference) fail("parse_decimal and strtoll disagree on the value", args);
    if (!in_range && parsed >= INT32_MIN && parsed <= INT32_MAX) fail("a huge number came out in 32-bit range", args);
}

bool has_control_byte(const std::string& text) {
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x20 || byte == 0x7f) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] != 0) {
            args.back() += static_cast<char>(data[i]);
        } else if (args.size() == max_arguments) {
            break;
        } else {
            args.emplace_back();
        }
    }
    if (size == 0) args.clear();

    for (std::size_t i = 0; i < args.size() && i < 2; ++i) check_decimal(args[i], args);
    // The paths are only looked at here (the check creates and truncates
    // nothing); runs below write to /dev/null alone.
    for (std::size_t i = 2; i < args.size() && i < 4; ++i) {
        if (erdos::check_output_path(args[i]) < 0) fail("negative error code for a path", args);
        if (has_control_byte(erdos::quote_for_message(args[i]))) fail("a control byte reaches a message", args);
    }

    const erdos::command_line parsed = erdos::parse_command_line(args);
    const erdos::run_config& config = parsed.config;
    std::vector<std::string> program_args = args;
    switch (parsed.action) {
        case erdos::command_action::fail:
            if (parsed.error.empty() || has_control_byte(parsed.error)) fail("unreadable error message", args);
            break;
        case erdos::command_action::help:
        case erdos::command_action::version:
            break;
        case erdos::command_action::run:
            if (config.p_max < 0 || config.p_max > erdos::max_p_max || config.c_max > erdos::max_c_max ||
                config.p_min < 0 || config.p_min > config.p_max) {
                fail("accepted bounds outside the limits", args);
            }
            if (args.empty() || config.p_max > max_run_p || config.c_max > max_run_c) return 0;
            // The same options and bounds, as parsed, and both outputs where
            // they cannot harm anything.
            program_args.clear();
            if (config.threads != 0) program_args.push_back("--threads=" + std::to_string(config.threads));
            if (config.has_p_min) program_args.push_back("--from=" + std::to_string(config.p_min));
            program_args.push_back(std::to_string(config.p_max));
            program_args.push_back(std::to_string(config.c_max));
            program_args.push_back("/dev/null");
            program_args.push_back("/dev/null");
            break;
    }

    const int status = erdos::erdos_main(program_args, null_stream(), null_stream());
    const int expected_low = parsed.action == erdos::command_action::fail ? 1 : 0;
    const int expected_high = parsed.action == erdos::command_action::run ? 2 : expected_low;
    if (status < expected_low || status > expected_high || (parsed.action == erdos::command_action::run && status == 1)) {
        fail("unexpected exit status", args);
    }
    return 0;
}
