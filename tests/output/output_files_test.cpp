#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "stats/distributed_percentile.hpp"
#include "output/output_file.hpp"
#include "output/results_file.hpp"
#include "stats/summary_format.hpp"
#include "support/output_writers.hpp"

using erdos::prime_scan;

TEST(ResultsRow, SpecialValuesAndFarFields) {
    prime_scan none;
    none.p = 73;
    std::string out;
    erdos::append_results_row(out, none);
    EXPECT_EQ(out, "73,-1,-1,0,0,0,0,inf,inf\n");

    prime_scan shiftless = none;
    shiftless.uniform_mass = std::bit_cast<double>(std::uint64_t{0xFFF8000000000000});
    shiftless.weighted_mass = shiftless.uniform_mass;
    out.clear();
    erdos::append_results_row(out, shiftless);
    EXPECT_EQ(out, "73,-1,-1,0,0,-nan,-nan,inf,inf\n");

    prime_scan big;
    big.p = 2147483497;
    big.least_c = 127;
    big.first_d = 288230375077969921;  // beyond 32 bits, printed in full
    big.branch = 2;
    big.successful_shifts = 32;
    big.first_m = 536870906;
    big.has_witness = true;
    big.uniform_mass = 0.5;
    big.weighted_mass = 0.25;
    out.clear();
    erdos::append_results_row(out, big);
    EXPECT_EQ(out, "2147483497,127,288230375077969921,2,32,0.5,0.25,2,4\n");

    // Beyond 64 bits: a divisor of m^2 for m near 2^60, and the longest
    // fields any of the nine columns can hold.
    big.p = 4611686018427387847;
    big.least_c = 2147483643;
    big.first_d = (erdos::int128{1} << 120) + 12345;
    big.uniform_mass = -1.2345678901234567e-300;
    big.weighted_mass = -1.2345678901234567e-300;
    out.clear();
    erdos::append_results_row(out, big);
    EXPECT_EQ(out,
              "4611686018427387847,2147483643,1329227995784915872903807060280356921,2,32,"
              "-1.2345678901234568e-300,-1.2345678901234568e-300,inf,inf\n");
    big.first_d = -(erdos::int128{1} << 126) * 2;
    out.clear();
    erdos::append_results_row(out, big);
    EXPECT_EQ(out.substr(0, 72), "4611686018427387847,2147483643,-170141183460469231731687303715884105728,");
}

// Blocks of rows reach the file in the order given, whether they gather in
// the pending buffer (small ones) or go straight through (a worker's chunk).
TEST(ResultsFile, SmallAndLargeBlocksKeepTheirOrder) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("erdos-results-test-" + std::to_string(::getpid()));
    prime_scan scan;
    std::string small;
    std::string large;
    for (scan.p = 73; scan.p < 120; scan.p += 24) erdos::append_results_row(small, scan);
    for (scan.p = 1000; large.size() < (std::size_t{1} << 20); ++scan.p) erdos::append_results_row(large, scan);

    erdos::output_file file;
    ASSERT_EQ(erdos::open_results_file(file, path.string()), 0);
    for (const std::string* block : {&small, &large, &small, &small, &large, &small}) {
        ASSERT_EQ(erdos::write_results_rows(file, *block), 0);
    }
    ASSERT_EQ(erdos::close_output_file(file), 0);
    std::ostringstream written;
    written << std::ifstream(path).rdbuf();
    std::filesystem::remove(path);
    EXPECT_TRUE(written.str() == erdos::results_header + small + large + small + small + large + small);
}

namespace {

// Three primes, two covered, one of them verified, with these masses.
erdos::run_stats three_primes(const std::vector<double>& uniform, const std::vector<double>& weighted) {
    erdos::run_stats stats;
    stats.processed = 3;
    stats.covered = 2;
    stats.verified = 1;
    stats.max_least_shift = 11;
    stats.max_least_shift_prime = 97;
    stats.least_shift_histogram = {{3, 1}, {11, 1}};
    for (std::size_t i = 0; i < uniform.size(); ++i) erdos::add_masses(stats.masses, uniform[i], weighted[i]);
    return stats;
}

std::string summary_of(const erdos::summary_bounds& bounds, erdos::run_stats& stats) {
    erdos::summary_percentiles percentiles;
    EXPECT_EQ(erdos::find_summary_percentiles(stats.masses, percentiles), 0);
    return erdos::format_summary(bounds, stats, percentiles);
}

}  // namespace

TEST(Summary, FlagsAndInfiniteMedians) {
    erdos::run_stats stats = three_primes({0.0, 0.0, 0.5}, {0.0, 0.25, 0.5});
    const std::string s = summary_of({0, false, 100, 11, 3}, stats);
    EXPECT_NE(s.find("\"all_first_witnesses_verified\": false,\n"), std::string::npos);
    EXPECT_NE(s.find("\"median_uniform_mass\": 0,\n"), std::string::npos);
    EXPECT_NE(s.find("\"median_uniform_expected_trials\": inf,\n"), std::string::npos);
    EXPECT_NE(s.find("\"median_weighted_expected_trials\": 4,\n"), std::string::npos);
    EXPECT_NE(s.find("\"least_shift_histogram\": {\n    \"3\": 1,\n    \"11\": 1\n  }\n}\n"), std::string::npos);

    // Far out: p_min named before p_max, counts and primes beyond 32 bits exact.
    erdos::run_stats far = three_primes({0.0, 0.0, 0.5}, {0.0, 0.25, 0.5});
    far.processed = 4700000000;
    far.covered = 4700000000;
    far.max_least_shift_prime = 4611686018427328369;
    const std::string f = summary_of({4611686018427287904, true, 4611686018427387904, 127, 32}, far);
    EXPECT_TRUE(f.starts_with("{\n  \"p_min\": 4611686018427287904,\n  \"p_max\": 4611686018427387904,\n"
                              "  \"c_max\": 127,\n  \"shift_count\": 32,\n  \"primes_1_mod_24\": 4700000000,\n"
                              "  \"covered\": 4700000000,\n"))
        << f;
    EXPECT_NE(f.find("\"max_least_shift_prime\": 4611686018427328369,\n"), std::string::npos);
    EXPECT_EQ(s.find("p_min"), std::string::npos);

    // Written to a file, the same text, with the percentiles selected in the
    // lists themselves: they keep their entries, if not their order.
    stats = three_primes({0.5, 0.0, 0.25, 0.0, 0.125}, {0.25, 0.75, 0.25, 0.5, 0.0});
    const std::string expected = summary_of({0, false, 100, 11, 3}, stats);
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("erdos-summary-test-" + std::to_string(::getpid()));
    ASSERT_EQ(erdos::write_summary(path.string(), {0, false, 100, 11, 3}, stats), 0);
    std::ostringstream written;
    written << std::ifstream(path).rdbuf();
    std::filesystem::remove(path);
    EXPECT_EQ(written.str(), expected);
    std::sort(stats.masses.uniform.begin(), stats.masses.uniform.end());
    std::sort(stats.masses.weighted.begin(), stats.masses.weighted.end());
    EXPECT_EQ(stats.masses.uniform, (std::vector<double>{0.0, 0.0, 0.125, 0.25, 0.5}));
    EXPECT_EQ(stats.masses.weighted, (std::vector<double>{0.0, 0.25, 0.25, 0.5, 0.75}));
}

TEST(OutputFile, FailuresAreReportedNotLost) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("erdos-output-test-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "plain") << "x";

    EXPECT_EQ(erdos::check_output_path((dir / "a.csv").string()), 0);
    EXPECT_EQ(erdos::check_output_path("plain-name-in-working-dir.csv"), 0);
    EXPECT_EQ(erdos::check_output_path(""), ENOENT);
    EXPECT_EQ(erdos::check_output_path((dir / "missing" / "a.csv").string()), ENOENT);
    EXPECT_EQ(erdos::check_output_path((dir / "plain" / "a.csv").string()), ENOTDIR);
    EXPECT_EQ(erdos::check_output_path((dir / "plain" / "sub" / "a.csv").string()), ENOTDIR);
    EXPECT_EQ(erdos::check_output_path(dir.string()), EISDIR);
    EXPECT_EQ(erdos::check_output_path("/dev/full"), 0);
    EXPECT_FALSE(fs::exists(dir / "a.csv"));

    erdos::output_file file;
    EXPECT_EQ(erdos::open_results_file(file, (dir / "missing" / "a.csv").string()), ENOENT);
    EXPECT_EQ(erdos::close_output_file(file), 0);

    ASSERT_EQ(erdos::open_results_file(file, "/dev/full"), 0);
    EXPECT_EQ(erdos::close_output_file(file), ENOSPC);
    erdos::run_stats empty;
    EXPECT_EQ(erdos::write_summary("/dev/full", {0, false, 1, 1, 0}, empty), ENOSPC);
    EXPECT_EQ(erdos::write_summary((dir / "plain").string(), {0, false, 50, 127, 32}, empty), 0);
    EXPECT_EQ(std::ifstream(dir / "plain").get(), '{');
    fs::remove_all(dir);
}
