#include "driver/run_config.hpp"

#include <gtest/gtest.h>

using erdos::command_action;
using erdos::parse_command_line;
using erdos::parse_decimal;

TEST(ParseDecimal, OnlyWholeDecimalIntegers) {
    std::int64_t v = 0;
    EXPECT_TRUE(parse_decimal("40", v) && v == 40);
    EXPECT_TRUE(parse_decimal(" \t 40", v) && v == 40);
    EXPECT_TRUE(parse_decimal("+7", v) && v == 7);
    EXPECT_TRUE(parse_decimal("-0012", v) && v == -12);
    EXPECT_TRUE(parse_decimal("99999999999999999999999", v) && v > 2147483647);
    EXPECT_TRUE(parse_decimal("-99999999999999999999999", v) && v < -2147483648LL);
    for (const char* bad : {"", " ", "-", "+", "abc", "12abc", "1e6", "7.9", "0x10", "40 ", "--5", "+-5", "٣"}) {
        EXPECT_FALSE(parse_decimal(bad, v)) << bad;
    }
}

TEST(CommandLine, DefaultsPositionsAndLimits) {
    auto c = parse_command_line({});
    EXPECT_EQ(c.action, command_action::run);
    EXPECT_EQ(c.config.p_max, 2000000);
    EXPECT_EQ(c.config.c_max, 127);
    EXPECT_EQ(c.config.results_path, "results/erdos_results.csv");
    EXPECT_EQ(c.config.summary_path, "results/erdos_summary.json");

    c = parse_command_line({"500"});
    EXPECT_EQ(c.config.p_max, 500);
    EXPECT_EQ(c.config.c_max, 127);

    c = parse_command_line({"  40", "-2147483648", "", "s.json", "ignored"});
    EXPECT_EQ(c.action, command_action::run);
    EXPECT_EQ(c.config.p_max, 40);
    EXPECT_EQ(c.config.c_max, -2147483647 - 1);
    EXPECT_EQ(c.config.results_path, "");
    EXPECT_EQ(c.config.summary_path, "s.json");

    c = parse_command_line({"2147483646", "1"});
    EXPECT_EQ(c.action, command_action::run);
    c = parse_command_line({"0", "2147483646"});
    EXPECT_EQ(c.action, command_action::run);

    // Past the 32-bit limit: p_max up to 2^62, with any c_max.
    c = parse_command_line({"2147483600", "100"});
    EXPECT_EQ(c.action, command_action::run);
    EXPECT_EQ(c.config.p_max, 2147483600);
    c = parse_command_line({"4611686018427387904", "2147483646"});
    EXPECT_EQ(c.action, command_action::run);
    EXPECT_EQ(c.config.p_max, std::int64_t{1} << 62);
    c = parse_command_line({"4611686018427387905"});
    EXPECT_EQ(c.error, "invalid p_max '4611686018427387905': must be from 0 to 4611686018427387904");
    c = parse_command_line({"99999999999999999999"});
    EXPECT_EQ(c.error, "invalid p_max '99999999999999999999': must be from 0 to 4611686018427387904");
}

TEST(CommandLine, LowerBound) {
    auto c = parse_command_line({"--from", "1000000000000", "1000000100000", "255"});
    EXPECT_EQ(c.action, command_action::run);
    EXPECT_TRUE(c.config.has_p_min);
    EXPECT_EQ(c.config.p_min, 1000000000000);
    EXPECT_EQ(c.config.p_max, 1000000100000);
    EXPECT_EQ(c.config.c_max, 255);
    // Either order with --threads, and the "=" form.
    c = parse_command_line({"--from=5", "--threads", "2", "100"});
    EXPECT_EQ(c.action, command_action::run);
    EXPECT_EQ(c.config.p_min, 5);
    EXPECT_EQ(c.config.threads, 2U);
    EXPECT_EQ(parse_command_line({"100"}).config.has_p_min, false);
    EXPECT_EQ(parse_command_line({"--from", "0", "0"}).action, command_action::run);
    EXPECT_EQ(parse_command_line({"--from", "73", "73"}).action, command_action::run);

    EXPECT_EQ(parse_command_line({"--from"}).error, "option '--from' needs a lower bound P_MIN");
    EXPECT_EQ(parse_command_line({"--from", "-1", "100"}).error, "invalid p_min '-1': must be from 0 to 4611686018427387904");
    EXPECT_EQ(parse_command_line({"--from", "1e6", "100"}).error, "invalid p_min '1e6': expected a decimal integer");
    EXPECT_EQ(parse_command_line({"--from", "", "100"}).error, "invalid p_min '': expected a decimal integer");
    EXPECT_EQ(parse_command_line({"--from", "4611686018427387905"}).error,
              "invalid p_min '4611686018427387905': must be from 0 to 4611686018427387904");
    EXPECT_EQ(parse_command_line({"--from", "201", "200"}).error, "invalid p_min '201': must be at most p_max (200)");
    // The default p_max is a bound like any other.
    EXPECT_EQ(parse_command_line({"--from", "3000000"}).error, "invalid p_min '3000000': must be at most p_max (2000000)");
    EXPECT_EQ(parse_command_line({"--from", "1", "--from", "2", "3"}).error, "option '--from' is given twice");
    EXPECT_EQ(parse_command_line({"100", "--from", "2"}).error, "options go before P_MAX: '--from'");
}

TEST(CommandLine, ResumeIsAFlagAmongTheOptions) {
    EXPECT_FALSE(parse_command_line({"100"}).config.resume);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--resume", "100"},
                                                 {"--threads", "2", "--resume", "--from", "7", "100"},
                                                 {"--from=7", "--resume"}}) {
        const auto c = parse_command_line(args);
        EXPECT_EQ(c.action, command_action::run) << args[0];
        EXPECT_TRUE(c.config.resume) << args[0];
    }
    EXPECT_EQ(parse_command_line({"--resume", "--resume", "100"}).error, "option '--resume' is given twice");
    EXPECT_EQ(parse_command_line({"100", "--resume"}).error, "options go before P_MAX: '--resume'");
    EXPECT_EQ(parse_command_line({"--resume=1", "100"}).error, "unknown option '--resume=1'");
}

TEST(CommandLine, ProgressIntervalAndEstimate) {
    auto c = parse_command_line({"--progress", "60", "--estimate", "--threads=2", "100"});
    EXPECT_EQ(c.action, command_action::run);
    EXPECT_EQ(c.config.progress_seconds, 60);
    EXPECT_TRUE(c.config.estimate);
    EXPECT_EQ(c.config.p_max, 100);
    c = parse_command_line({"100"});
    EXPECT_EQ(c.config.progress_seconds, 0);
    EXPECT_FALSE(c.config.estimate);
    EXPECT_EQ(parse_command_line({"--progress=86400"}).config.progress_seconds, 86400);
    for (const char* bad : {"0", "86401", "-1", "1.5", "x", ""}) {
        EXPECT_EQ(parse_command_line({"--progress", bad}).error,
                  "invalid progress interval '" + std::string(bad) +
                      "': expected a whole number of seconds from 1 to 86400");
    }
    EXPECT_EQ(parse_command_line({"--progress"}).error, "option '--progress' needs an interval in seconds");
    EXPECT_EQ(parse_command_line({"--estimate", "--estimate"}).error, "option '--estimate' is given twice");
    EXPECT_EQ(parse_command_line({"100", "--estimate"}).error, "options go before P_MAX: '--estimate'");
    EXPECT_EQ(parse_command_line({"100", "--progress=5"}).error, "options go before P_MAX: '--progress=5'");
}

TEST(CommandLine, RecordsAndProfileFiles) {
    auto c = parse_command_line({"--records", "r.csv", "--threads", "2", "--profile=p.csv", "100"});
    EXPECT_EQ(c.action, command_action::run);
    EXPECT_EQ(c.config.records_path, "r.csv");
    EXPECT_EQ(c.config.profile_path, "p.csv");
    EXPECT_EQ(c.config.p_max, 100);
    EXPECT_EQ(parse_command_line({"100"}).config.records_path, "");
    EXPECT_EQ(parse_command_line({"--records"}).error, "option '--records' needs a file name");
    EXPECT_EQ(parse_command_line({"--profile", "a", "--profile", "b", "100"}).error, "option '--profile' is given twice");
    EXPECT_EQ(parse_command_line({"--records=a", "--records=b"}).error, "option '--records' is given twice");
    EXPECT_EQ(parse_command_line({"100", "--records", "r.csv"}).error, "options go before P_MAX: '--records'");
}

TEST(CommandLine, OptionsAndQuoting) {
    EXPECT_EQ(parse_command_line({"-h"}).action, command_action::help);
    EXPECT_EQ(parse_command_line({"--help", "x"}).action, command_action::help);
    EXPECT_EQ(parse_command_line({"--version"}).action, command_action::version);
    // Known options out of place are named as such; unknown ones as unknown.
    EXPECT_EQ(parse_command_line({"200", "--help"}).error, "options go before P_MAX: '--help'");
    EXPECT_EQ(parse_command_line({"200", "127", "-h"}).error, "options go before P_MAX: '-h'");
    EXPECT_EQ(parse_command_line({"200", "127", "a", "--threads=2"}).error, "options go before P_MAX: '--threads=2'");
    EXPECT_EQ(parse_command_line({"--threads", "2", "--version"}).error, "'--version' must be the first argument");
    EXPECT_EQ(parse_command_line({"--threads", "2", "--threads=3"}).error, "option '--threads' is given twice");
    EXPECT_EQ(parse_command_line({"200", "--threadsafe"}).error, "unknown option '--threadsafe'");
    EXPECT_EQ(parse_command_line({"200", "-5"}).action, command_action::run);  // a number, not an option
    // After the fourth, other words are ignored but an option is refused:
    // ignoring a late --resume would throw the kept rows away.
    EXPECT_EQ(parse_command_line({"200", "127", "a", "b", "late"}).action, command_action::run);
    EXPECT_EQ(parse_command_line({"200", "127", "a", "b", "x", "--resume"}).error,
              "options go before P_MAX: '--resume'");
    EXPECT_EQ(parse_command_line({"200", "127", "a", "b", "--bogus"}).error, "options go before P_MAX: '--bogus'");

    auto c = parse_command_line({"--threads", "3", "500", "7"});
    EXPECT_EQ(c.action, command_action::run);
    EXPECT_EQ(c.config.threads, 3U);
    EXPECT_EQ(c.config.p_max, 500);
    EXPECT_EQ(c.config.c_max, 7);
    EXPECT_EQ(parse_command_line({"--threads=2"}).config.threads, 2U);
    EXPECT_EQ(parse_command_line({}).config.threads, 0U);  // every core
    EXPECT_EQ(parse_command_line({"--threads"}).error, "option '--threads' needs a thread count");
    EXPECT_EQ(parse_command_line({"--threads", "x"}).error,
              "invalid thread count 'x': expected a whole number from 1 to 1024");
    EXPECT_EQ(parse_command_line({"--threads=1025"}).action, command_action::fail);
    EXPECT_EQ(parse_command_line({"500", "--threads", "2"}).error, "options go before P_MAX: '--threads'");
    EXPECT_EQ(parse_command_line({"--"}).error, "unknown option '--'");
    EXPECT_EQ(parse_command_line({"1\n2\x1b[31m"}).error, "invalid p_max '1\\x0a2\\x1b[31m': expected a decimal integer");
}
