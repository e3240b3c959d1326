// Runs the built program in temporary directories and compares its outputs
// byte for byte with known results.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <sstream>
#include <thread>

#include "support/crc32c_reference.hpp"
#include "support/process.hpp"

using erdos_test::read_file;
using erdos_test::run_process;
using erdos_test::run_process_in_terminal;
using erdos_test::write_file;

// Under AddressSanitizer no memory limit can be tested: its shadow memory needs far more
// address space than any useful RLIMIT_AS, and its operator new reports a
// failed allocation and exits instead of throwing bad_alloc, whatever
// ASAN_OPTIONS say (allocator_may_return_null covers malloc only).
#if defined(__SANITIZE_ADDRESS__)
#define ERDOS_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ERDOS_UNDER_ASAN 1
#endif
#endif

namespace {

const std::string header =
    "p,least_c,first_d,branch,successful_shifts,uniform_mass,weighted_mass,uniform_expected_trials,"
    "weighted_expected_trials\n";

// The end of the message of a run stopped by a signal that kept its rows.
const std::string resume_hint = "the same command with --resume continues the run";
// What such a run keeps beside the default results file.
const std::vector<std::string> kept_files = {"erdos_results.csv.erdos-partial", "erdos_results.csv.erdos-progress"};

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        dir = erdos_test::make_temp_dir();
        std::filesystem::create_directory(dir + "/results");
    }
    void TearDown() override { erdos_test::remove_tree(dir); }

    erdos_test::process_result run(const std::vector<std::string>& args, std::uint64_t memory_limit = 0) {
        return run_process(ERDOS_STRAUS_BINARY, args, dir, memory_limit);
    }
    void expect_threads_as_one(const std::vector<std::string>& interval, const std::string& setting,
                               std::initializer_list<const char*> thread_counts);
    std::string results() const { return read_file(dir + "/results/erdos_results.csv"); }
    std::string summary() const { return read_file(dir + "/results/erdos_summary.json"); }
    bool exists(const std::string& relative) const { return std::filesystem::exists(dir + "/" + relative); }
    // The names in a directory of the test, sorted: temporary files show here.
    std::vector<std::string> listing(const std::string& relative = "") const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir + "/" + relative)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    // A complete earlier pair in results/, to be kept by runs that fail.
    void write_previous_pair() {
        ASSERT_EQ(run({"200"}).exit_status, 0);
        previous_results = results();
        previous_summary = summary();
    }
    // The earlier pair, and beside it only the files named in `beside`.
    void expect_previous_pair(const std::string& context, const std::vector<std::string>& beside = {}) const {
        EXPECT_TRUE(results() == previous_results) << context;
        EXPECT_EQ(summary(), previous_summary) << context;
        std::vector<std::string> names = {"erdos_results.csv", "erdos_summary.json"};
        names.insert(names.end(), beside.begin(), beside.end());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(listing("results"), names) << context;
    }

    std::string dir;
    std::string previous_results;
    std::string previous_summary;
};

TEST_F(EndToEnd, ThreeExaminedPrimesGiveTheKnownFiles) {
    const auto r = run({"200"});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "processed=3 covered=3 verified=3 max_least_c=7 at p=73\n");
    EXPECT_EQ(results(), header +
                             "73,7,1,1,3,0.026388888888888889,0.089057239057239057,37.89473684210526,11.228733459357278\n"
                             "97,3,5,3,4,0.032638888888888891,0.18737373737373739,30.638297872340424,5.3369272237196759\n"
                             "193,7,5,2,3,0.018055555555555554,0.051010101010101012,55.384615384615387,19.603960396039604\n");
    EXPECT_EQ(summary(),
              "{\n"
              "  \"p_max\": 200,\n"
              "  \"c_max\": 127,\n"
              "  \"shift_count\": 32,\n"
              "  \"primes_1_mod_24\": 3,\n"
              "  \"covered\": 3,\n"
              "  \"all_first_witnesses_verified\": true,\n"
              "  \"max_least_shift\": 7,\n"
              "  \"max_least_shift_prime\": 73,\n"
              "  \"min_uniform_mass\": 0.018055555555555554,\n"
              "  \"min_uniform_mass_prime\": 193,\n"
              "  \"median_uniform_mass\": 0.026388888888888889,\n"
              "  \"p10_uniform_mass\": 0.019722222222222221,\n"
              "  \"p90_uniform_mass\": 0.03138888888888889,\n"
              "  \"min_weighted_mass\": 0.051010101010101012,\n"
              "  \"min_weighted_mass_prime\": 193,\n"
              "  \"median_weighted_mass\": 0.089057239057239057,\n"
              "  \"median_uniform_expected_trials\": 37.89473684210526,\n"
              "  \"median_weighted_expected_trials\": 11.228733459357278,\n"
              "  \"least_shift_histogram\": {\n"
              "    \"3\": 1,\n"
              "    \"7\": 2\n"
              "  }\n"
              "}\n");
}

TEST_F(EndToEnd, AnUncoveredPrimeGivesExitStatusTwo) {
    const auto r = run({"100", "3"});
    EXPECT_EQ(r.exit_status, 2);
    EXPECT_EQ(r.err, "processed=2 covered=1 verified=1 max_least_c=3 at p=97\n");
    EXPECT_EQ(results(), header +
                             "73,-1,-1,0,0,0,0,inf,inf\n"
                             "97,3,5,3,1,0.40000000000000002,0.40000000000000002,2.5,2.5\n");
    EXPECT_NE(summary().find("  \"all_first_witnesses_verified\": true,\n"), std::string::npos);
    EXPECT_NE(summary().find("  \"least_shift_histogram\": {\n    \"3\": 1\n  }\n}\n"), std::string::npos);
}

TEST_F(EndToEnd, NoExaminedPrimeGivesTheEmptySummary) {
    const auto r = run({"50"});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, "processed=0 covered=0 verified=0 max_least_c=0 at p=0\n");
    EXPECT_EQ(results(), header);
    EXPECT_EQ(summary(),
              "{\n"
              "  \"p_max\": 50,\n"
              "  \"c_max\": 127,\n"
              "  \"shift_count\": 32,\n"
              "  \"primes_1_mod_24\": 0,\n"
              "  \"covered\": 0,\n"
              "  \"all_first_witnesses_verified\": true,\n"
              "  \"max_least_shift\": 0,\n"
              "  \"max_least_shift_prime\": 0,\n"
              "  \"min_uniform_mass\": 1,\n"
              "  \"min_uniform_mass_prime\": 0,\n"
              "  \"median_uniform_mass\": nan,\n"
              "  \"p10_uniform_mass\": nan,\n"
              "  \"p90_uniform_mass\": nan,\n"
              "  \"min_weighted_mass\": 1,\n"
              "  \"min_weighted_mass_prime\": 0,\n"
              "  \"median_weighted_mass\": nan,\n"
              "  \"median_uniform_expected_trials\": nan,\n"
              "  \"median_weighted_expected_trials\": nan,\n"
              "  \"least_shift_histogram\": {  }\n"
              "}\n");
    for (const char* bound : {"0", "1"}) {
        const auto empty = run({bound});
        EXPECT_EQ(empty.exit_status, 0) << bound;
        EXPECT_EQ(empty.err, "processed=0 covered=0 verified=0 max_least_c=0 at p=0\n") << bound;
        EXPECT_EQ(results(), header) << bound;
    }
}

// With no examined prime the widest shift bound lists no shift and factors no
// m, on every walk: the 32-bit plain walk, the walk far out (p_max + c_max past
// 32 bits) and the reference. 64 MiB is far below what either would take.
TEST_F(EndToEnd, NoExaminedPrimeNeedsNoTablesAtTheWidestShiftBound) {
#ifdef ERDOS_UNDER_ASAN
    const std::uint64_t limit = 0;  // the sanitizer reserves far more address space
#else
    const std::uint64_t limit = std::uint64_t{64} << 20;
#endif
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"1", "2147483646"}, std::vector<std::string>{"50", "2147483646"},
          std::vector<std::string>{"--from", "74", "96", "2147483646"}}) {
        for (const char* binary : {ERDOS_STRAUS_BINARY, ERDOS_REFERENCE_BINARY}) {
            const auto r = run_process(binary, args, dir, limit);
            EXPECT_EQ(r.exit_status, 0) << binary << ' ' << args[1];
            EXPECT_EQ(r.err, "processed=0 covered=0 verified=0 max_least_c=0 at p=0\n") << binary << ' ' << args[1];
            EXPECT_EQ(results(), header) << binary << ' ' << args[1];
            EXPECT_NE(summary().find("  \"c_max\": 2147483646,\n  \"shift_count\": 536870911,\n"
                                     "  \"primes_1_mod_24\": 0,\n"),
                      std::string::npos)
                << binary << ' ' << args[1];
        }
    }
}

TEST_F(EndToEnd, NoShiftsGiveNegativeNansAndExitStatusTwo) {
    for (const char* c_max : {"2", "-5", "-2147483648"}) {
        const auto r = run({"200", c_max});
        EXPECT_EQ(r.exit_status, 2) << c_max;
        EXPECT_EQ(r.err, "processed=3 covered=0 verified=0 max_least_c=0 at p=0\n") << c_max;
        EXPECT_EQ(results(), header +
                                 "73,-1,-1,0,0,-nan,-nan,inf,inf\n"
                                 "97,-1,-1,0,0,-nan,-nan,inf,inf\n"
                                 "193,-1,-1,0,0,-nan,-nan,inf,inf\n")
            << c_max;
        const std::string s = summary();
        EXPECT_NE(s.find("  \"shift_count\": 0,\n  \"primes_1_mod_24\": 3,\n  \"covered\": 0,\n"
                         "  \"all_first_witnesses_verified\": true,\n"),
                  std::string::npos);
        EXPECT_NE(s.find("  \"min_uniform_mass\": 1,\n  \"min_uniform_mass_prime\": 0,\n"
                         "  \"median_uniform_mass\": -nan,\n  \"p10_uniform_mass\": -nan,\n"
                         "  \"p90_uniform_mass\": -nan,\n  \"min_weighted_mass\": 1,\n"
                         "  \"min_weighted_mass_prime\": 0,\n  \"median_weighted_mass\": -nan,\n"
                         "  \"median_uniform_expected_trials\": -nan,\n"
                         "  \"median_weighted_expected_trials\": -nan,\n"
                         "  \"least_shift_histogram\": {  }\n}\n"),
                  std::string::npos)
            << s;
    }
}

TEST_F(EndToEnd, DefaultRunMatchesTheReference) {
    const auto r = run({});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, read_file(ERDOS_TEST_DATA "/default_stderr.txt"));
    EXPECT_EQ(summary(), read_file(ERDOS_TEST_DATA "/default_summary.json"));

    std::istringstream lines(results());
    std::string line;
    std::vector<std::string> rows;
    std::getline(lines, line);
    EXPECT_EQ(line + "\n", header);
    while (std::getline(lines, line)) rows.push_back(line);
    ASSERT_EQ(rows.size(), 18507U);
    EXPECT_EQ(rows[0], "73,7,1,1,3,0.026388888888888889,0.089057239057239057,37.89473684210526,11.228733459357278");
    EXPECT_EQ(rows[3].substr(0, 4), "241,");
    EXPECT_EQ(rows[7].substr(0, 14), "433,7,121,1,7,");
    // 118801 is the first prime whose least shift is 59, with both minima.
    const std::string hardest = "\n118801,59,";
    EXPECT_NE(results().find(hardest), std::string::npos);
}

// Intervals past the 32-bit limit, as an independent implementation wrote
// them (across 2^31, near 5*10^12 with 255 shifts, near 10^18 and up to
// 2^62, with first witnesses beyond 2^63): the files, the closing line and
// the status, byte for byte, from both programs and from 1, 2, 3 and 16
// threads.
TEST_F(EndToEnd, IntervalsFarOutMatchTheirKnownRuns) {
    for (int i = 1; i <= 4; ++i) {
        const std::string base = std::string(ERDOS_TEST_DATA) + "/intervals/interval" + std::to_string(i);
        std::istringstream words(read_file(base + ".args"));
        std::vector<std::string> args;
        for (std::string word; words >> word;) args.push_back(word);
        args.push_back("r.csv");
        args.push_back("s.json");
        const int status = std::stoi(read_file(base + ".status"));
        std::vector<std::pair<std::string, std::vector<std::string>>> runs = {
            {ERDOS_STRAUS_BINARY, args}, {ERDOS_REFERENCE_BINARY, args}};
        // Each thread count cuts the interval into other stretches (sieved,
        // or with every m factored on its own where the interval is narrow).
        for (const char* threads : {"2", "3", "16"}) {
            std::vector<std::string> threaded = {"--threads", threads};
            threaded.insert(threaded.end(), args.begin(), args.end());
            runs.emplace_back(ERDOS_STRAUS_BINARY, threaded);
        }
        for (const auto& [program, run_args] : runs) {
            const auto r = run_process(program, run_args, dir);
            const std::string what = program + " on interval " + std::to_string(i);
            EXPECT_EQ(r.exit_status, status) << what;
            EXPECT_EQ(r.err, read_file(base + ".stderr")) << what;
            EXPECT_TRUE(read_file(dir + "/r.csv") == read_file(base + ".csv")) << what;
            EXPECT_EQ(read_file(dir + "/s.json"), read_file(base + ".json")) << what;
        }
    }
}

// Up to m = 2^42 the far walk factors the m in windows read as they stand:
// on every thread count, each stretch carrying its windows on from chunk to
// chunk, the bytes of the reference, near 10^11 and at the top of that
// range.
TEST_F(EndToEnd, WideWindowsMatchTheReferenceOnEveryThreadCount) {
    const std::vector<std::vector<std::string>> intervals = {
        {"--from", "100000000000", "100000300000", "127"},
        {"--from", "17592186000000", "17592186043000", "255"},
    };
    for (const auto& interval : intervals) {
        std::vector<std::string> args = interval;
        args.push_back("p.csv");
        args.push_back("p.json");
        const auto plain = run_process(ERDOS_REFERENCE_BINARY, args, dir);
        for (const char* threads : {"1", "2", "3", "16"}) {
            std::vector<std::string> threaded = {"--threads", threads};
            threaded.insert(threaded.end(), interval.begin(), interval.end());
            threaded.push_back("f.csv");
            threaded.push_back("f.json");
            const auto r = run(threaded);
            const std::string what = interval[1] + " on " + threads + " threads";
            EXPECT_EQ(r.exit_status, plain.exit_status) << what;
            EXPECT_EQ(r.err, plain.err) << what;
            EXPECT_TRUE(read_file(dir + "/f.csv") == read_file(dir + "/p.csv")) << what;
            EXPECT_EQ(read_file(dir + "/f.json"), read_file(dir + "/p.json")) << what;
        }
    }
}

// Far out, with a setting meant for tests (NAME=VALUE), the interval on
// each thread count gives the bytes of one thread without it.
void EndToEnd::expect_threads_as_one(const std::vector<std::string>& interval, const std::string& setting,
                                     std::initializer_list<const char*> thread_counts) {
    std::vector<std::string> args = interval;
    args.insert(args.end(), {"one.csv", "one.json"});
    const auto one = run(args);
    ASSERT_EQ(one.exit_status, 0);
    for (const char* threads : thread_counts) {
        std::vector<std::string> shell = {"-c", setting + " exec \"$0\" \"$@\"", ERDOS_STRAUS_BINARY, "--threads",
                                          threads};
        shell.insert(shell.end(), interval.begin(), interval.end());
        shell.insert(shell.end(), {"r.csv", "s.json"});
        const auto r = run_process("/bin/sh", shell, dir);
        EXPECT_EQ(r.exit_status, 0) << threads;
        EXPECT_EQ(r.err, one.err) << threads;
        EXPECT_TRUE(read_file(dir + "/r.csv") == read_file(dir + "/one.csv")) << threads << " threads";
        EXPECT_EQ(read_file(dir + "/s.json"), read_file(dir + "/one.json")) << threads << " threads";
    }
}

// Far out, the chunks a worker makes ahead of the stretch being written wait
// on file once its memory allowance is used (here: at once); read back in
// their turn, they give the bytes of one thread.
TEST_F(EndToEnd, ChunksWaitingOnFileKeepTheBytes) {
    expect_threads_as_one({"--from", "1000000000000", "1000020000000", "127"}, "ERDOS_STRAUS_HELD_PRIMES=1",
                          {"2", "3", "16"});
}

// Far out, an interval cut into many stretches (here about 22 for want of
// primes, the last widths in stretches a quarter as wide) gives on every
// thread count the bytes of one thread.
TEST_F(EndToEnd, ManyStretchesKeepTheBytes) {
    expect_threads_as_one({"--from", "1000000000000", "1000060000000", "127"}, "ERDOS_STRAUS_STRETCH_PRIMES=12000",
                          {"2", "3"});
}

// A lower bound inside the 32-bit range gives the rows of a full run from
// that prime on; the summary names it before p_max.
TEST_F(EndToEnd, ALowerBoundKeepsTheRowsFromItOn) {
    auto r = run({"200", "127", "all.csv", "all.json"});
    ASSERT_EQ(r.exit_status, 0);
    r = run({"--from", "97", "200", "127", "part.csv", "part.json"});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, "processed=2 covered=2 verified=2 max_least_c=7 at p=193\n");
    const std::string all = read_file(dir + "/all.csv");
    EXPECT_EQ(read_file(dir + "/part.csv"), header + all.substr(all.find("\n97,") + 1));
    const std::string summary_part = read_file(dir + "/part.json");
    EXPECT_TRUE(summary_part.starts_with("{\n  \"p_min\": 97,\n  \"p_max\": 200,\n  \"c_max\": 127,\n")) << summary_part;
    // The plain walk of long shift lists filters the same way.
    r = run({"--from", "97", "200", "70001", "plain.csv", "plain.json"});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, "processed=2 covered=2 verified=2 max_least_c=7 at p=193\n");
    // An empty interval: no row, the empty summary with its p_min.
    r = run({"--from", "74", "96", "127", "none.csv", "none.json"});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, "processed=0 covered=0 verified=0 max_least_c=0 at p=0\n");
    EXPECT_EQ(read_file(dir + "/none.csv"), header);
}

// A run that the old joint limit on p_max + c_max refused now runs: its m
// pass 2^29, so it takes the far walk, and it agrees with the reference.
TEST_F(EndToEnd, BoundsPastTheOldJointLimitRun) {
    const auto fast = run({"--from", "2147483000", "2147483600", "100", "f.csv", "f.json"});
    const auto plain = run_process(ERDOS_REFERENCE_BINARY, {"--from", "2147483000", "2147483600", "100", "p.csv", "p.json"}, dir);
    EXPECT_EQ(fast.exit_status, 0);
    EXPECT_EQ(fast.err, plain.err);
    EXPECT_EQ(fast.err.rfind("processed=", 0), 0U);
    EXPECT_EQ(fast.err.find("processed=0"), std::string::npos);
    EXPECT_TRUE(read_file(dir + "/f.csv") == read_file(dir + "/p.csv"));
    EXPECT_EQ(read_file(dir + "/f.json").substr(read_file(dir + "/f.json").find("\"p_max\"")),
              read_file(dir + "/p.json").substr(read_file(dir + "/p.json").find("\"p_max\"")));
}

// Large shift bounds, on small ranges and near 10^12, agree with the reference
// byte for byte: in 32 bits the shifts up to 65535 are listed, those above
// taken window by window over m, by arithmetic above p (300007) and by
// residues below it (70003); far out every bound takes the walk of the
// factor sieve.
TEST_F(EndToEnd, LargeShiftBoundsMatchTheReference) {
    const std::vector<std::vector<std::string>> runs = {
        {"30000", "1023"},
        {"20000", "4095"},
        {"3000", "65537"},
        {"3000", "300007"},
        {"--from", "1000000", "1010000", "70003"},
        {"--from", "1000000000000", "1000000003000", "1023"},
        {"--from", "1000000000000", "1000000001000", "4095"},
        {"--from", "1000000000000", "1000000001200", "65537"},
    };
    for (std::vector<std::string> args : runs) {
        const std::string context = args[args.size() - 2] + ' ' + args.back();
        args.insert(args.end(), {"f.csv", "f.json"});
        const auto fast = run(args);
        args.resize(args.size() - 2);
        args.insert(args.end(), {"p.csv", "p.json"});
        const auto plain = run_process(ERDOS_REFERENCE_BINARY, args, dir);
        EXPECT_EQ(fast.exit_status, plain.exit_status) << context;
        EXPECT_EQ(fast.err, plain.err) << context;
        EXPECT_EQ(fast.err.find("processed=0"), std::string::npos) << context;
        EXPECT_TRUE(read_file(dir + "/f.csv") == read_file(dir + "/p.csv")) << context;
        EXPECT_EQ(read_file(dir + "/f.json"), read_file(dir + "/p.json")) << context;
    }
}

// Chunks are scanned by the workers in any order but folded and written in
// prime order: every thread count writes the same bytes.
TEST_F(EndToEnd, EveryThreadCountWritesTheSameBytes) {
    std::string first_results;
    std::string first_summary;
    for (const char* threads : {"1", "2", "3"}) {
        const auto r = run({"--threads", threads, "3000000", "131"});
        EXPECT_EQ(r.exit_status, 0) << threads;
        if (first_results.empty()) {
            first_results = results();
            first_summary = summary();
            continue;
        }
        EXPECT_TRUE(results() == first_results) << threads;
        EXPECT_EQ(summary(), first_summary) << threads;
    }
    EXPECT_EQ(std::count(first_results.begin(), first_results.end(), '\n'), 26983 + 1);  // header and rows
}

TEST_F(EndToEnd, ArgumentsBeyondTheFourthAreIgnoredAndPathsMayCoincide) {
    auto r = run({"200", "127", "out.csv", "out.csv", "extra", "more"});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(read_file(dir + "/out.csv").substr(0, 2), "{\n");  // the summary replaced the results
    EXPECT_EQ(listing(), (std::vector<std::string>{"out.csv", "results"}));  // and no temporary file is left
    r = run({"200", "127", "/dev/null", "/dev/null"});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, "processed=3 covered=3 verified=3 max_least_c=7 at p=73\n");
}

TEST_F(EndToEnd, BadArgumentsStopBeforeAnyFileIsTouched) {
    write_file(dir + "/results/erdos_results.csv", "earlier results\n");
    struct case_t {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<case_t> cases = {
        {{"abc"}, "erdos-straus: invalid p_max 'abc': expected a decimal integer\n"},
        {{""}, "erdos-straus: invalid p_max '': expected a decimal integer\n"},
        {{"-"}, "erdos-straus: invalid p_max '-': expected a decimal integer\n"},
        {{"12abc"}, "erdos-straus: invalid p_max '12abc': expected a decimal integer\n"},
        {{"1e6"}, "erdos-straus: invalid p_max '1e6': expected a decimal integer\n"},
        {{"200", "7.9"}, "erdos-straus: invalid c_max '7.9': expected a decimal integer\n"},
        {{"0x10"}, "erdos-straus: invalid p_max '0x10': expected a decimal integer\n"},
        {{"abc", "xyz"}, "erdos-straus: invalid p_max 'abc': expected a decimal integer\n"},
        {{"-1"}, "erdos-straus: invalid p_max '-1': must be from 0 to 4611686018427387904\n"},
        {{"4611686018427387905"}, "erdos-straus: invalid p_max '4611686018427387905': must be from 0 to 4611686018427387904\n"},
        {{"100", "2147483647"}, "erdos-straus: invalid c_max '2147483647': must be at most 2147483646\n"},
        {{"100", "-2147483649"}, "erdos-straus: invalid c_max '-2147483649': is below the 32-bit limit -2147483648\n"},
        {{"--from", "300", "200"}, "erdos-straus: invalid p_min '300': must be at most p_max (200)\n"},
        {{"--from", "-5", "200"}, "erdos-straus: invalid p_min '-5': must be from 0 to 4611686018427387904\n"},
        {{"--from"}, "erdos-straus: option '--from' needs a lower bound P_MIN\n"},
        {{"--frobnicate"}, "erdos-straus: unknown option '--frobnicate'\n"},
        {{"200", "127", "--summary", "s.json"}, "erdos-straus: unknown option '--summary'\n"},
        {{"1000", "--threads", "2"}, "erdos-straus: options go before P_MAX: '--threads'\n"},
        {{"--threads", "0", "200"}, "erdos-straus: invalid thread count '0': expected a whole number from 1 to 1024\n"},
    };
    for (const auto& c : cases) {
        const auto r = run(c.args);
        EXPECT_EQ(r.exit_status, 1) << c.message;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.message + "Try 'erdos-straus --help' for more information.\n");
    }
    EXPECT_EQ(results(), "earlier results\n");
    EXPECT_FALSE(exists("results/erdos_summary.json"));
}

TEST_F(EndToEnd, HelpAndVersionGoToStandardOutput) {
    for (const char* flag : {"-h", "--help"}) {
        const auto r = run({flag, "junk"});
        EXPECT_EQ(r.exit_status, 0);
        EXPECT_EQ(r.err, "");
        for (const char* needle : {"P_MAX", "C_MAX", "RESULTS_CSV", "SUMMARY_JSON", "2000000", "127",
                                   "results/erdos_results.csv", "results/erdos_summary.json", "  0  ", "  1  ",
                                   "  2  "}) {
            EXPECT_NE(r.out.find(needle), std::string::npos) << needle;
        }
    }
    const auto full = run_process("/bin/sh", {"-c", "exec \"$0\" --help >/dev/full", ERDOS_STRAUS_BINARY}, dir);
    EXPECT_EQ(full.exit_status, 1);
    EXPECT_EQ(full.err, "erdos-straus: cannot write standard output: No space left on device\n");
    const auto v = run({"--version"});
    EXPECT_EQ(v.exit_status, 0);
    EXPECT_EQ(v.out.rfind("erdos-straus ", 0), 0U);
    EXPECT_FALSE(exists("results/erdos_results.csv"));
}

TEST_F(EndToEnd, UnwritableOutputsAreReportedWithStatusOne) {
    // A missing directory for either file stops the run before anything is written.
    write_file(dir + "/results/erdos_results.csv", "earlier results\n");
    auto r = run({"200", "127", "missing/r.csv"});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "erdos-straus: cannot write results file 'missing/r.csv': No such file or directory\n");
    r = run({"200", "127", "results/erdos_results.csv", "missing/s.json"});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "erdos-straus: cannot write summary file 'missing/s.json': No such file or directory\n");
    EXPECT_EQ(results(), "earlier results\n");
    EXPECT_FALSE(exists("missing"));

    // A directory given as a file, for either file, and a file given as a directory.
    r = run({"200", "127", "results"});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "erdos-straus: cannot write results file 'results': Is a directory\n");
    r = run({"200", "127", "r.csv", "results"});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "erdos-straus: cannot write summary file 'results': Is a directory\n");
    EXPECT_FALSE(exists("r.csv"));
    r = run({"200", "127", "results/erdos_results.csv/r.csv"});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "erdos-straus: cannot write results file 'results/erdos_results.csv/r.csv': Not a directory\n");
    EXPECT_EQ(results(), "earlier results\n");

    // A full device under the results file: the write error stops the run.
    r = run({"200", "127", "/dev/full", "s.json"});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "erdos-straus: cannot write results file '/dev/full': No space left on device\n");
    EXPECT_FALSE(exists("s.json"));
    r = run({"300000", "127", "/dev/full", "s.json"});  // more rows than one write batch
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "erdos-straus: cannot write results file '/dev/full': No space left on device\n");
    EXPECT_FALSE(exists("s.json"));

    // A path that passes the early check but cannot be opened: a link to nowhere.
    std::filesystem::create_symlink("missing/x.csv", dir + "/dangling");
    r = run({"200", "127", "dangling", "s.json"});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "erdos-straus: cannot write results file 'dangling': No such file or directory\n");
    EXPECT_FALSE(exists("s.json"));
    r = run({"200", "127", "r.csv", "dangling"});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "erdos-straus: cannot write summary file 'dangling': No such file or directory\n");
    EXPECT_FALSE(exists("r.csv"));
}

TEST_F(EndToEnd, MemoryExhaustionIsAMessageNotACrash) {
#ifdef ERDOS_UNDER_ASAN
    GTEST_SKIP() << "AddressSanitizer's operator new exits instead of throwing bad_alloc";
#endif
    write_previous_pair();
    // The fast walk's prime list fails once the results are already being
    // written.
    const auto r = run({"2147483520", "127"}, std::uint64_t{64} << 20);
    EXPECT_EQ(r.exit_status, 1);  // an exit, not a signal: no abort, no core
    EXPECT_EQ(r.err, "erdos-straus: out of memory; the outputs are not complete\n");
    expect_previous_pair("2147483520");
}

// A large shift bound needs no table over every m nor a list of every shift
// (at 2*10^8, 200 MB each): its windows over m fit in the same 64 MiB.
TEST_F(EndToEnd, LargeShiftBoundsNeedLittleMemory) {
#ifdef ERDOS_UNDER_ASAN
    GTEST_SKIP() << "AddressSanitizer reserves its shadow memory beyond any such limit";
#endif
    const auto r = run({"100", "200000000"}, std::uint64_t{64} << 20);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, "processed=2 covered=2 verified=2 max_least_c=7 at p=73\n");
}

// Rows go to a temporary file beside the target, and a run that does not
// finish leaves the earlier pair as it was.
TEST_F(EndToEnd, FailedRunsLeaveThePreviousPair) {
    write_previous_pair();
    // The results on a full device; the summary's temporary file goes too.
    auto r = run({"300000", "127", "/dev/full", "results/erdos_summary.json"});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "erdos-straus: cannot write results file '/dev/full': No space left on device\n");
    expect_previous_pair("results on /dev/full");
    // The summary on a full device: the finished results are not put in place
    // either, but kept with their checkpoint record for --resume, which then
    // only has the summary left to write.
    r = run({"300000", "127", "results/erdos_results.csv", "/dev/full"});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err,
              "erdos-straus: cannot write summary file '/dev/full': No space left on device; the rows up to "
              "p = 299977 are kept: free space and run the same command with --resume\n"
              "processed=3202 covered=3202 verified=3202 max_least_c=59 at p=118801\n");
    expect_previous_pair("summary on /dev/full",
                         {"erdos_results.csv.erdos-partial", "erdos_results.csv.erdos-progress"});
    r = run({"--resume", "300000", "127", "results/erdos_results.csv", "s.json"});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, "processed=3202 covered=3202 verified=3202 max_least_c=59 at p=118801\n");
    EXPECT_EQ(listing("results"), (std::vector<std::string>{"erdos_results.csv", "erdos_summary.json"}));
    write_previous_pair();

    // Devices are written directly, and the file beside them is a normal one.
    r = run({"200", "127", "/dev/null", "results/erdos_summary.json"});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(summary(), previous_summary);  // the same run, the same bytes
    expect_previous_pair("results to /dev/null");

    // A file left over from a run that was killed outright is taken over.
    write_file(dir + "/results/erdos_results.csv.erdos-partial", "rows of a run that died\n");
    r = run({"200"});
    EXPECT_EQ(r.exit_status, 0);
    expect_previous_pair("a leftover partial file");
}

TEST_F(EndToEnd, ReplacedFilesKeepLinksAndPermissions) {
    std::filesystem::create_directory(dir + "/store");
    std::filesystem::create_symlink("../store/r.csv", dir + "/results/link.csv");
    write_file(dir + "/store/r.csv", "old\n");
    std::filesystem::permissions(dir + "/store/r.csv", std::filesystem::perms(0640));
    auto r = run({"200", "127", "results/link.csv", "s.json"});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(dir + "/results/link.csv"));
    EXPECT_EQ(read_file(dir + "/store/r.csv").substr(0, header.size()), header);
    EXPECT_EQ(std::filesystem::status(dir + "/store/r.csv").permissions(), std::filesystem::perms(0640));
    EXPECT_EQ(listing("store"), std::vector<std::string>{"r.csv"});
}

// A run of a few seconds, stopped by a signal in the middle of its scan.
TEST_F(EndToEnd, ASignalStopsTheRunAndKeepsThePreviousPair) {
    write_previous_pair();
    const std::string partial = dir + "/results/erdos_results.csv.erdos-partial";
    auto child = erdos_test::start_process(ERDOS_STRAUS_BINARY, {"--threads", "1", "400000000"}, dir);
    // Wait until rows are being written: the scan has begun.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline &&
           !(std::filesystem::exists(partial) && std::filesystem::file_size(partial) > (1U << 20))) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // Meanwhile a second run for the same results file is refused.
    auto second = run({"200"});
    EXPECT_EQ(second.exit_status, 1);
    EXPECT_EQ(second.err,
              "erdos-straus: cannot write results file 'results/erdos_results.csv': another run is writing it "
              "('results/erdos_results.csv.erdos-partial')\n");

    const auto signalled = std::chrono::steady_clock::now();
    kill(child.pid, SIGINT);
    auto r = erdos_test::finish_process(child);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - signalled).count();
    EXPECT_EQ(r.exit_status, 130);
    EXPECT_EQ(r.err, "erdos-straus: interrupted; the outputs are not complete; " + resume_hint + "\n");
    EXPECT_LT(seconds, 1.5);
    expect_previous_pair("SIGINT", kept_files);

    // SIGTERM and SIGHUP the same, here while the tables of a large shift
    // bound are built (or already while sieving); 73 and 97 are examined, so
    // the tables are needed.
    for (const int signal : {SIGTERM, SIGHUP}) {
        // The rows kept above would be refused by another command: start afresh.
        for (const std::string& name : kept_files) std::filesystem::remove(dir + "/results/" + name);
        child = erdos_test::start_process(ERDOS_STRAUS_BINARY, {"100", "400000000"}, dir);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        kill(child.pid, signal);
        r = erdos_test::finish_process(child);
        EXPECT_EQ(r.exit_status, 128 + signal);
        EXPECT_EQ(r.err, "erdos-straus: interrupted; the outputs are not complete; " + resume_hint + "\n");
        expect_previous_pair(strsignal(signal), kept_files);
    }
}

// A run of a few seconds on one thread, long enough for the status line to be
// drawn many times and to show a rate (from one second of scanning on).
const std::vector<std::string> watched_run = {"--threads", "1", "400000000"};

TEST_F(EndToEnd, OnlyATerminalSeesTheStatusLine) {
    // A run that is over at once draws nothing, even on a terminal.
    auto r = run_process_in_terminal(ERDOS_STRAUS_BINARY, {"200"}, dir);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out, "processed=3 covered=3 verified=3 max_least_c=7 at p=73\r\n");

    // Through a pipe, a long run prints its one line and nothing else.
    std::vector<std::string> piped = {"-c", "{ \"$0\" \"$@\" 2>&1 >/dev/null; echo $? >&2; } | cat",
                                      ERDOS_STRAUS_BINARY};
    piped.insert(piped.end(), watched_run.begin(), watched_run.end());
    r = run_process("/bin/sh", piped, dir);
    EXPECT_EQ(r.err, "0\n");
    const std::string line = r.out;
    EXPECT_EQ(line, "processed=2665703 covered=2665703 verified=2665703 max_least_c=107 at p=8803369\n");
    const std::string piped_results = results();

    // On a narrow terminal the same run shows its progress, erases it and
    // ends with the same line, alone; the files do not change.
    constexpr unsigned short columns = 50;
    r = run_process_in_terminal(ERDOS_STRAUS_BINARY, watched_run, dir, columns);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_NE(r.out.find("scanning primes "), std::string::npos) << r.out;
    // The rate: a number of primes, as opposed to the phase "scanning primes"
    // (the narrow terminal may cut "primes/s" short).
    bool rate_shown = false;
    for (std::size_t at = r.out.find(" prime"); at != std::string::npos; at = r.out.find(" prime", at + 1)) {
        rate_shown = rate_shown || (at > 0 && r.out[at - 1] >= '0' && r.out[at - 1] <= '9');
    }
    EXPECT_TRUE(rate_shown) << r.out;
    const std::string erase = "\r\x1b[K";
    const std::size_t last_erase = r.out.rfind(erase);
    ASSERT_NE(last_erase, std::string::npos);
    EXPECT_EQ(r.out.substr(last_erase + erase.size()), line.substr(0, line.size() - 1) + "\r\n");
    // Every drawing is "\r", text, erase, and leaves the last column free so
    // that the line never wraps.
    std::istringstream drawings(r.out.substr(0, last_erase));
    std::string drawing;
    std::getline(drawings, drawing, '\r');
    EXPECT_EQ(drawing, "");
    while (std::getline(drawings, drawing, '\r')) {
        ASSERT_TRUE(drawing.ends_with("\x1b[K")) << drawing;
        EXPECT_LT(drawing.size() - 3, columns) << drawing;
    }
    EXPECT_TRUE(results() == piped_results);
}

// A phase that has no position to report yet, here the first chunk of a large
// shift bound, shows its name and time; a stopped run erases the line for
// its message, and the status line never stays behind.
TEST_F(EndToEnd, EveryLongPhaseShowsOnATerminal) {
    // SIGTERM, as a background job of a shell cannot get SIGINT. The one
    // chunk of these bounds (which examine 73 and 97) takes seconds, and
    // stops between its windows over m.
    const std::vector<std::string> stopped = {
        "-c", "\"$0\" 100 2000000000 & sleep 1.2; kill -TERM $!; wait $!; echo status $?", ERDOS_STRAUS_BINARY};
    const auto r = run_process_in_terminal("/bin/sh", stopped, dir);
    EXPECT_TRUE(r.out.starts_with("\rscanning primes  0s\x1b[K")) << r.out;
    EXPECT_TRUE(r.out.ends_with("\r\x1b[Kerdos-straus: interrupted; the outputs are not complete; " + resume_hint +
                                "\r\nstatus 143\r\n"))
        << r.out;
    EXPECT_EQ(listing("results"), kept_files);
}

}  // namespace

// --- Continuing a stopped run with --resume ---------------------------------

namespace {

const std::string partial_name = "results/erdos_results.csv.erdos-partial";
const std::string record_name = "results/erdos_results.csv.erdos-progress";

// The rows kept after a signal or a kill, and the run that follows them.
class Resume : public EndToEnd {
protected:
    // The program started with a short interval between checkpoints, so
    // that a run of a second records many.
    erdos_test::running_process start_with_short_checkpoints(const std::vector<std::string>& args) {
        std::vector<std::string> shell = {"-c", "ERDOS_STRAUS_CHECKPOINT_MS=20 exec \"$0\" \"$@\"", ERDOS_STRAUS_BINARY};
        shell.insert(shell.end(), args.begin(), args.end());
        return erdos_test::start_process("/bin/sh", shell, dir);
    }
    // Waits until the checkpoint record names some rows; false after a minute.
    bool wait_for_kept_rows() const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline) {
            if (exists(record_name)) {
                const std::string record = read_file(dir + "/" + record_name);
                if (record.find("\nrows ") != std::string::npos && record.find("\nrows 0\n") == std::string::npos) {
                    return true;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    // A finished run of args (with C_MAX) into ref.csv and ref.json, for comparison.
    erdos_test::process_result reference_run(std::vector<std::string> args) {
        args.insert(args.end(), {"ref.csv", "ref.json"});
        return run(args);
    }
    std::string kept(const std::string& relative) const { return read_file(dir + "/" + relative); }
};

// About a second on one thread: long enough to stop in the middle of the scan.
const std::vector<std::string> stopped_run = {"100000000", "127"};

TEST_F(Resume, AKilledOrStoppedRunContinuesToTheSameBytes) {
    const auto reference = reference_run(stopped_run);
    ASSERT_EQ(reference.exit_status, 0);
    write_previous_pair();

    for (const int signal : {SIGKILL, SIGTERM}) {
        std::vector<std::string> args = {"--threads", "1"};
        args.insert(args.end(), stopped_run.begin(), stopped_run.end());
        auto child = start_with_short_checkpoints(args);
        ASSERT_TRUE(wait_for_kept_rows()) << strsignal(signal);
        kill(child.pid, signal);
        const auto stopped = erdos_test::finish_process(child);
        if (signal == SIGKILL) {
            EXPECT_EQ(stopped.exit_status, -SIGKILL);
            // The kill may fall between the writing of the next record and
            // its rename: the temporary record may stay, and means nothing.
            std::filesystem::remove(dir + "/" + record_name + ".new");
        } else {
            EXPECT_EQ(stopped.exit_status, 128 + SIGTERM);
            EXPECT_EQ(stopped.err, "erdos-straus: interrupted; the outputs are not complete; " + resume_hint + "\n");
        }
        // The earlier pair waits untouched beside the kept rows.
        expect_previous_pair(strsignal(signal), kept_files);

        // Continued with another thread count, to the bytes of the uninterrupted run.
        args = {"--resume", "--threads", "2"};
        args.insert(args.end(), stopped_run.begin(), stopped_run.end());
        const auto resumed = run(args);
        EXPECT_EQ(resumed.exit_status, 0) << strsignal(signal);
        EXPECT_EQ(resumed.err, reference.err) << strsignal(signal);
        EXPECT_TRUE(results() == kept("ref.csv")) << strsignal(signal);
        EXPECT_EQ(summary(), kept("ref.json")) << strsignal(signal);
        EXPECT_EQ(listing("results"), (std::vector<std::string>{"erdos_results.csv", "erdos_summary.json"}));
        write_previous_pair();
    }
}

// The rows are synced before the record that vouches for them is written: a
// disk that cannot sync them fails the run, and no record names rows that
// may not be on the disk.
TEST_F(Resume, ASyncThatFailsFailsTheRun) {
    write_previous_pair();
    std::vector<std::string> shell = {
        "-c",
        "ERDOS_STRAUS_CHECKPOINT_MS=20 LD_PRELOAD=\"$0\" ASAN_OPTIONS=\"$ASAN_OPTIONS:verify_asan_link_order=0\" "
        "exec \"$@\"",
        ERDOS_FAILING_FDATASYNC, ERDOS_STRAUS_BINARY, "--threads", "1"};
    shell.insert(shell.end(), stopped_run.begin(), stopped_run.end());
    const auto r = run_process("/bin/sh", shell, dir);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "erdos-straus: cannot write results file 'results/erdos_results.csv': Input/output error\n");
    expect_previous_pair("fdatasync fails");
}

// A signal ignored when the program started, as nohup ignores SIGHUP, stays
// ignored: the run goes on to its end.
TEST_F(Resume, ASignalIgnoredAtTheStartStaysIgnored) {
    const auto reference = reference_run(stopped_run);
    std::vector<std::string> shell = {"-c", "trap '' HUP; exec \"$0\" \"$@\"", ERDOS_STRAUS_BINARY, "--threads", "1"};
    shell.insert(shell.end(), stopped_run.begin(), stopped_run.end());
    auto child = erdos_test::start_process("/bin/sh", shell, dir);
    const std::string partial = dir + "/" + partial_name;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline &&
           !(std::filesystem::exists(partial) && std::filesystem::file_size(partial) > (1U << 20))) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(child.pid, SIGHUP);
    const auto r = erdos_test::finish_process(child);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, reference.err);
    EXPECT_TRUE(results() == kept("ref.csv"));
}

// Kept rows made by hand from a finished run: the first `rows` rows of ref.csv
// as the kept file, and the record that names them with their checksum (or,
// with with_checksum false, a record of the format before the checksum).
struct kept_prefix {
    std::string rows_text;
    std::string record;
};

kept_prefix prefix_of(const std::string& results, std::size_t rows, const std::string& configuration,
                      bool with_checksum = true) {
    std::size_t end = results.find('\n') + 1;
    std::string last_p = "0";
    for (std::size_t i = 0; i < rows; ++i) {
        last_p = results.substr(end, results.find(',', end) - end);
        end = results.find('\n', end) + 1;
    }
    const std::string text = results.substr(0, end);
    return {text, std::string("erdos-straus progress ") + (with_checksum ? "2" : "1") + "\n" + configuration +
                      "durable_bytes " + std::to_string(end) + "\nrows " + std::to_string(rows) + "\nlast_p " +
                      last_p + "\n" +
                      (with_checksum ? "crc32c " + std::to_string(erdos_test::crc32c_bitwise(text)) + "\n" : "") +
                      "end\n"};
}

// text with the first occurrence of from replaced by to.
std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

// The results of a run with the masses and trials of p's row replaced.
std::string with_masses(const std::string& results, const std::string& p, const std::string& masses) {
    const std::size_t row = results.find("\n" + p + ",") + 1;
    std::size_t fifth_comma = row;
    for (int i = 0; i < 5; ++i) fifth_comma = results.find(',', fifth_comma) + 1;
    std::string out = results;
    out.replace(fifth_comma, results.find('\n', row) - fifth_comma, masses);
    return out;
}

const std::string afresh =
    "delete 'results/erdos_results.csv.erdos-partial' and 'results/erdos_results.csv.erdos-progress' to start "
    "afresh";

TEST_F(Resume, KeptRowsFarOutAndAtTheEndContinueToTheSameBytes) {
    struct case_t {
        std::vector<std::string> args;
        std::string configuration;  // its lines in the record
        std::size_t rows;           // kept
        std::string tail;           // bytes after the checkpoint, cut away
    };
    const std::vector<case_t> cases = {
        // Far out: the walk of the interval beyond 32 bits goes on after the kept rows.
        {{"--from", "1000000000000", "1000000100000", "255"},
         "p_min 1000000000000\nhas_p_min 1\np_max 1000000100000\nc_max 255\n", 200, "1000000050"},
        // Every row kept, p_max itself the last: only the summary is left.
        {{"193", "127"}, "p_min 0\nhas_p_min 0\np_max 193\nc_max 127\n", 3, ""},
        // Every row kept below p_max; no shift at all, so the masses are -nan.
        {{"200", "2"}, "p_min 0\nhas_p_min 0\np_max 200\nc_max 2\n", 3, ""},
        // Only the header durable.
        {{"2000", "127"}, "p_min 0\nhas_p_min 0\np_max 2000\nc_max 127\n", 0, "73,7,1"},
        // Least shifts equal to C_MAX (73's is 7), and primes no shift covers.
        {{"2000", "7"}, "p_min 0\nhas_p_min 0\np_max 2000\nc_max 7\n", 5, ""},
    };
    for (const case_t& c : cases) {
        const auto reference = reference_run(c.args);
        const kept_prefix prefix = prefix_of(kept("ref.csv"), c.rows, c.configuration);
        write_file(dir + "/" + partial_name, prefix.rows_text + c.tail);
        write_file(dir + "/" + record_name, prefix.record);
        std::vector<std::string> args = {"--resume"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto resumed = run(args);
        EXPECT_EQ(resumed.exit_status, reference.exit_status) << c.args[0];
        EXPECT_EQ(resumed.err, reference.err) << c.args[0];
        EXPECT_TRUE(results() == kept("ref.csv")) << c.args[0];
        EXPECT_EQ(summary(), kept("ref.json")) << c.args[0];
        EXPECT_EQ(listing("results"), (std::vector<std::string>{"erdos_results.csv", "erdos_summary.json"}));
    }
    // A record written before the checksum still continues its rows.
    const auto reference = reference_run({"2000", "127"});
    const kept_prefix prefix = prefix_of(kept("ref.csv"), 5, "p_min 0\nhas_p_min 0\np_max 2000\nc_max 127\n", false);
    write_file(dir + "/" + partial_name, prefix.rows_text);
    write_file(dir + "/" + record_name, prefix.record);
    const auto resumed = run({"--resume", "2000", "127"});
    EXPECT_EQ(resumed.exit_status, 0);
    EXPECT_EQ(resumed.err, reference.err);
    EXPECT_TRUE(results() == kept("ref.csv"));
}

// The kept rows are read back, not scanned again: a kept row whose masses
// differ from what a scan gives (its record vouching for them) stays in the
// results and counts in the summary.
TEST_F(Resume, AResumeTakesItsKeptRowsAsTheyAre) {
    reference_run({"2000", "127"});
    const std::string changed = with_masses(kept("ref.csv"), "97", "0.5,0.25,2,4");
    const kept_prefix prefix = prefix_of(changed, 5, "p_min 0\nhas_p_min 0\np_max 2000\nc_max 127\n");
    write_file(dir + "/" + partial_name, prefix.rows_text);
    write_file(dir + "/" + record_name, prefix.record);
    const auto resumed = run({"--resume", "2000", "127"});
    EXPECT_EQ(resumed.exit_status, 0);
    EXPECT_TRUE(results() == changed);
    EXPECT_NE(summary(), kept("ref.json"));
}

TEST_F(Resume, WithNothingKeptItIsAPlainRun) {
    const auto plain = reference_run({"200", "127"});
    const auto resumed = run({"--resume", "200"});
    EXPECT_EQ(resumed.exit_status, 0);
    EXPECT_EQ(resumed.err, plain.err);
    EXPECT_EQ(results(), kept("ref.csv"));
    EXPECT_EQ(summary(), kept("ref.json"));
    EXPECT_EQ(listing("results"), (std::vector<std::string>{"erdos_results.csv", "erdos_summary.json"}));

    // A run without --resume takes over a leftover that vouches for no row
    // (only the header durable, or no record at all) and starts afresh,
    // saying nothing more.
    for (const bool with_record : {true, false}) {
        const kept_prefix prefix = prefix_of(kept("ref.csv"), 0, "p_min 0\nhas_p_min 0\np_max 300\nc_max 127\n");
        write_file(dir + "/" + partial_name, prefix.rows_text + "73,7,1");
        if (with_record) write_file(dir + "/" + record_name, prefix.record);
        const auto fresh = run({"200"});
        EXPECT_EQ(fresh.exit_status, 0);
        EXPECT_EQ(fresh.err, plain.err);
        EXPECT_EQ(results(), kept("ref.csv"));
        EXPECT_EQ(listing("results"), (std::vector<std::string>{"erdos_results.csv", "erdos_summary.json"}));
    }
}

// A slip at the command line changes nothing that was kept: an option after
// the positional arguments is refused rather than ignored, and a run without
// --resume does not throw durable kept rows away; it says how to go on.
TEST_F(Resume, ASlipLeavesTheKeptRowsAsTheyWere) {
    reference_run({"2000", "127"});
    write_previous_pair();
    const kept_prefix prefix = prefix_of(kept("ref.csv"), 5, "p_min 0\nhas_p_min 0\np_max 2000\nc_max 127\n");
    write_file(dir + "/" + partial_name, prefix.rows_text);
    write_file(dir + "/" + record_name, prefix.record);
    const std::string holds = "erdos-straus: 'results/erdos_results.csv.erdos-partial' holds 5 rows of an "
                              "interrupted run of ";
    const std::vector<std::pair<std::vector<std::string>, std::string>> slips = {
        {{"2000", "127", "results/erdos_results.csv", "results/erdos_summary.json", "--resume"},
         "erdos-straus: options go before P_MAX: '--resume'\nTry 'erdos-straus --help' for more information.\n"},
        {{"2000", "127", "results/erdos_results.csv", "results/erdos_summary.json", "x", "--bogus"},
         "erdos-straus: options go before P_MAX: '--bogus'\nTry 'erdos-straus --help' for more information.\n"},
        {{"2000"}, holds + "this command: continue it with --resume, or " + afresh + "\n"},
        {{"--from", "5", "2000"},
         holds + "another command (2000 127): continue it with that command and --resume, or " + afresh + "\n"},
    };
    for (const auto& [args, message] : slips) {
        const auto r = run(args);
        EXPECT_EQ(r.exit_status, 1) << args.back();
        EXPECT_EQ(r.err, message) << args.back();
        EXPECT_EQ(kept(partial_name), prefix.rows_text) << args.back();
        EXPECT_EQ(kept(record_name), prefix.record) << args.back();
        expect_previous_pair(args.back(), kept_files);
    }
    const auto resumed = run({"--resume", "2000"});
    EXPECT_EQ(resumed.exit_status, 0);
    EXPECT_TRUE(results() == kept("ref.csv"));
}

// A --resume of another configuration is told so before the run sets up
// anything the size of its interval (here from 0 to 10^12).
TEST_F(Resume, AnotherRunsRowsAreNamedBeforeAnyLargeAllocation) {
#ifdef ERDOS_UNDER_ASAN
    GTEST_SKIP() << "AddressSanitizer needs more address space than the limit";
#endif
    reference_run({"--from", "1000000000000", "1000000002000", "127"});
    const std::string configuration = "p_min 1000000000000\nhas_p_min 1\np_max 1000000002000\nc_max 127\n";
    const kept_prefix prefix = prefix_of(kept("ref.csv"), 3, configuration);
    write_file(dir + "/" + partial_name, prefix.rows_text);
    write_file(dir + "/" + record_name, prefix.record);
    const auto r = run({"--resume", "1000000002000", "127"}, std::uint64_t{64} << 20);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "erdos-straus: cannot resume results file 'results/erdos_results.csv': the kept rows "
                     "'results/erdos_results.csv.erdos-partial' are of another run (--from 1000000000000 "
                     "1000000002000 127): continue them with that command and --resume, or " + afresh + "\n");
    EXPECT_EQ(kept(partial_name), prefix.rows_text);
}

TEST_F(Resume, RefusalsLeaveEveryFileAsItWas) {
    reference_run({"2000", "127"});
    write_previous_pair();
    const std::string configuration = "p_min 0\nhas_p_min 0\np_max 2000\nc_max 127\n";
    const kept_prefix good = prefix_of(kept("ref.csv"), 5, configuration);
    std::string garbled = good.rows_text;
    garbled[garbled.rfind(',') - 3] = 'x';  // in the last row's masses
    const std::size_t header_end = good.rows_text.find('\n') + 1;
    const std::string row_241 = std::to_string(good.rows_text.find("\n241,") + 1);
    // Well-formed rows that the run cannot have written: a composite p
    // (217 = 7 * 31), a least shift changed from 7 to 3.
    const std::string composite = replaced(good.rows_text, "\n241,", "\n217,");
    const std::string shift_changed = replaced(good.rows_text, "\n73,7,", "\n73,3,");
    // Masses edited as the run would write them and the record's length set
    // to match: only the checksum tells.
    const std::string masses_changed = with_masses(good.rows_text, "97", "0.5,0.25,2,4");
    const std::string masses_record = replaced(good.record, "durable_bytes " + std::to_string(good.rows_text.size()),
                                               "durable_bytes " + std::to_string(masses_changed.size()));
    const std::string partial = "'results/erdos_results.csv.erdos-partial'";
    struct case_t {
        std::string name;
        std::vector<std::string> args;
        std::string partial;
        std::string record;  // empty: none
        std::string message;
    };
    const std::string cannot = "erdos-straus: cannot resume results file 'results/erdos_results.csv': ";
    const std::vector<case_t> cases = {
        {"missing record", {"2000"}, good.rows_text, "",
         cannot + "'results/erdos_results.csv.erdos-partial' has no progress record "
                  "'results/erdos_results.csv.erdos-progress', so its rows cannot be checked; " + afresh + "\n"},
        {"damaged record", {"2000"}, good.rows_text, good.record.substr(0, 40),
         cannot + "the progress record 'results/erdos_results.csv.erdos-progress' is damaged, so the kept rows "
                  "cannot be checked; " + afresh + "\n"},
        {"another configuration", {"--from", "0", "2000"}, good.rows_text, good.record,
         cannot + "the kept rows " + partial + " are of another run (2000 127): continue them with that command "
                  "and --resume, or " + afresh + "\n"},
        {"another shift bound", {"2000", "131"}, good.rows_text, good.record,
         cannot + "the kept rows " + partial + " are of another run (2000 127): continue them with that command "
                  "and --resume, or " + afresh + "\n"},
        {"garbled row", {"2000"}, garbled, good.record,
         cannot + "in " + partial + ", the row at byte " +
             std::to_string(garbled.rfind('\n', garbled.size() - 2) + 1) + ": it does not parse; " + afresh + "\n"},
        {"composite p", {"2000"}, composite, good.record,
         cannot + "in " + partial + ", the row at byte " + row_241 + " (p = 217): its p is not prime; " + afresh +
             "\n"},
        {"changed least shift", {"2000"}, shift_changed, good.record,
         cannot + "in " + partial + ", the row at byte " + std::to_string(header_end) +
             " (p = 73): its first witness fails the exact check; " + afresh + "\n"},
        {"changed masses", {"2000"}, masses_changed, masses_record,
         cannot + "the kept rows " + partial + " do not have the checksum of their progress record "
                  "'results/erdos_results.csv.erdos-progress': they were changed or damaged; " + afresh + "\n"},
        {"rows miscounted", {"2000"}, good.rows_text, replaced(good.record, "\nrows 5\n", "\nrows 4\n"),
         cannot + "the kept rows " + partial + " do not match their progress record; " + afresh + "\n"},
        {"cut short", {"2000"}, good.rows_text.substr(0, good.rows_text.size() - 1), good.record,
         cannot + "'results/erdos_results.csv.erdos-partial' ends before the durable point its progress record "
                  "names\n"},
        {"not a regular file", {"2000", "127", "/dev/null", "results/erdos_summary.json"}, good.rows_text,
         good.record, "erdos-straus: cannot resume results file '/dev/null': it is not a regular file\n"},
    };
    for (const case_t& c : cases) {
        write_file(dir + "/" + partial_name, c.partial);
        std::filesystem::remove(dir + "/" + record_name);
        if (!c.record.empty()) write_file(dir + "/" + record_name, c.record);
        std::vector<std::string> args = {"--resume"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto r = run(args);
        EXPECT_EQ(r.exit_status, 1) << c.name;
        EXPECT_EQ(r.err, c.message) << c.name;
        EXPECT_EQ(kept(partial_name), c.partial) << c.name;
        if (c.record.empty()) {
            expect_previous_pair(c.name, {"erdos_results.csv.erdos-partial"});
        } else {
            EXPECT_EQ(kept(record_name), c.record) << c.name;
            expect_previous_pair(c.name, kept_files);
        }
    }
}


// Beyond a small memory budget the masses go to a file without a name: the
// same bytes as a run that keeps them all in memory, also when kept rows are
// folded back in, and nothing left beside the outputs. A file that cannot
// grow fails the run with its own message.
// A disk that fills up in the middle of a run: the run ends with status 1
// but keeps the rows up to its last checkpoint, and once there is room again
// the same command with --resume gives the bytes of a run never stopped. A
// real small file system where the suite may mount one (as root, as in CI);
// elsewhere a limit on the size of files.
TEST_F(Resume, AFullDiskKeepsTheRowsForResume) {
    const auto reference = reference_run(stopped_run);
    ASSERT_EQ(reference.exit_status, 0);
    const std::string small = dir + "/small";
    std::filesystem::create_directory(small);
    const bool mounted = geteuid() == 0 && mount("tmpfs", small.c_str(), "tmpfs", 0, "size=16m") == 0;
    std::vector<std::string> args = {"--threads", "1"};
    args.insert(args.end(), stopped_run.begin(), stopped_run.end());
    args.insert(args.end(), {"small/r.csv", "small/s.json"});
    std::vector<std::string> shell = {"-c",
                                      std::string(mounted ? "" : "trap '' XFSZ; ulimit -f 32768; ") +
                                          "ERDOS_STRAUS_CHECKPOINT_MS=20 exec \"$0\" \"$@\"",
                                      ERDOS_STRAUS_BINARY};
    shell.insert(shell.end(), args.begin(), args.end());
    const auto failed = erdos_test::run_process("/bin/sh", shell, dir);
    EXPECT_EQ(failed.exit_status, 1);
    const std::string opening = std::string("erdos-straus: cannot write results file 'small/r.csv': ") +
                                (mounted ? "No space left on device" : "File too large") + "; the rows up to p = ";
    const std::string advice = " are kept: free space and run the same command with --resume\n";
    EXPECT_EQ(failed.err.substr(0, opening.size()), opening) << failed.err;
    ASSERT_GT(failed.err.size(), opening.size() + advice.size());
    EXPECT_EQ(failed.err.substr(failed.err.size() - advice.size()), advice);
    EXPECT_EQ(listing("small"), (std::vector<std::string>{"r.csv.erdos-partial", "r.csv.erdos-progress"}));

    if (mounted) {
        EXPECT_EQ(mount("tmpfs", small.c_str(), "tmpfs", MS_REMOUNT, "size=256m"), 0);
    }
    args.insert(args.begin(), "--resume");
    const auto resumed = run(args);
    EXPECT_EQ(resumed.exit_status, 0);
    EXPECT_EQ(resumed.err, reference.err);
    EXPECT_TRUE(read_file(small + "/r.csv") == kept("ref.csv"));
    EXPECT_EQ(read_file(small + "/s.json"), kept("ref.json"));
    EXPECT_EQ(listing("small"), (std::vector<std::string>{"r.csv", "s.json"}));
    if (mounted) umount(small.c_str());
}

TEST_F(Resume, MassesBeyondTheBudgetGiveTheSameBytes) {
    const std::vector<std::string> args = {"200000", "127"};
    const auto reference = reference_run(args);
    ASSERT_EQ(reference.exit_status, 0);
    const auto with_budget = [&](const std::string& shell_prefix, const std::vector<std::string>& run_args) {
        std::vector<std::string> shell = {"-c", shell_prefix + "ERDOS_STRAUS_MASS_BUDGET=100 exec \"$0\" \"$@\"",
                                          ERDOS_STRAUS_BINARY};
        shell.insert(shell.end(), run_args.begin(), run_args.end());
        return run_process("/bin/sh", shell, dir);
    };
    const std::vector<std::string> pair = {"erdos_results.csv", "erdos_summary.json"};

    const auto plain = with_budget("", args);
    EXPECT_EQ(plain.exit_status, 0);
    EXPECT_EQ(plain.err, reference.err);
    EXPECT_TRUE(results() == kept("ref.csv"));
    EXPECT_EQ(summary(), kept("ref.json"));
    EXPECT_EQ(listing("results"), pair);

    // More kept rows than the budget, read back into the masses.
    const kept_prefix prefix = prefix_of(kept("ref.csv"), 1000, "p_min 0\nhas_p_min 0\np_max 200000\nc_max 127\n");
    write_file(dir + "/" + partial_name, prefix.rows_text);
    write_file(dir + "/" + record_name, prefix.record);
    std::vector<std::string> resume_args = {"--resume"};
    resume_args.insert(resume_args.end(), args.begin(), args.end());
    const auto resumed = with_budget("", resume_args);
    EXPECT_EQ(resumed.exit_status, 0);
    EXPECT_EQ(resumed.err, reference.err);
    EXPECT_TRUE(results() == kept("ref.csv"));
    EXPECT_EQ(summary(), kept("ref.json"));
    EXPECT_EQ(listing("results"), pair);

    // Files limited to 8 KiB (the results go to /dev/null, which has no
    // size): the masses file, beside the summary, cannot take them all.
    write_previous_pair();
    const auto failed = with_budget("trap '' XFSZ; ulimit -f 16; ", {"200000", "127", "/dev/null",
                                                                      "results/erdos_summary.json"});
    EXPECT_EQ(failed.exit_status, 1);
    EXPECT_EQ(failed.err, "erdos-straus: cannot write temporary masses file '" +
                              std::filesystem::canonical(dir).string() + "/results/...': File too large\n");
    expect_previous_pair("a masses file that cannot grow");
}

}  // namespace
