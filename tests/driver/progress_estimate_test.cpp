// The plain progress lines of a logged run and the forecast of --estimate, as a user sees them.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "support/process.hpp"

namespace {

class Logged : public ::testing::Test {
protected:
    void SetUp() override { dir = erdos_test::make_temp_dir(); }
    void TearDown() override { erdos_test::remove_tree(dir); }
    std::vector<std::string> lines(const std::string& text) const {
        std::vector<std::string> result;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) result.push_back(line);
        return result;
    }
    std::string dir;
};

TEST_F(Logged, ProgressLinesComeEverySoOftenAndTheLastWordStaysLast) {
    // Standard error is a file here, as in a batch log. The run is stopped
    // once a line with a rate is out, long before it could end, so that its length
    // does not depend on the build or the machine.
    auto child = erdos_test::start_process(
        ERDOS_STRAUS_BINARY, {"--threads", "1", "--progress", "1", "2147483520", "127", "r.csv", "s.json"}, dir);
    const std::string err_path = child.capture_dir + "/err";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    // The first scanning line has no rate yet; wait for one that has.
    while (std::chrono::steady_clock::now() < deadline &&
           erdos_test::read_file(err_path).find(" left\n") == std::string::npos) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(child.pid, SIGTERM);
    const auto r = erdos_test::finish_process(child);
    EXPECT_EQ(r.exit_status, 128 + SIGTERM);
    const std::vector<std::string> got = lines(r.err);
    ASSERT_GE(got.size(), 3U) << r.err;
    for (std::size_t i = 0; i + 1 < got.size(); ++i) {
        // Plain lines: no carriage return or terminal escape, the program's name first.
        EXPECT_EQ(got[i].find_first_of("\r\x1b"), std::string::npos) << got[i];
        EXPECT_EQ(got[i].rfind("erdos-straus: ", 0), 0U) << got[i];
    }
    // Once the scan reports, a line says how far it is, how many primes, how fast, how long to go.
    std::string scan;
    for (const std::string& line : got) {
        if (line.find(" left") != std::string::npos) scan = line;
    }
    EXPECT_NE(scan.find("scanning primes "), std::string::npos) << scan;
    EXPECT_NE(scan.find("% "), std::string::npos) << scan;
    EXPECT_NE(scan.find(" primes  p="), std::string::npos) << scan;
    EXPECT_NE(scan.find(" primes/s  "), std::string::npos) << scan;
    EXPECT_NE(scan.find(" left"), std::string::npos) << scan;
    EXPECT_EQ(got.back().rfind("erdos-straus: interrupted; the outputs are not complete", 0), 0U) << r.err;

    // A finished run's closing line is the last, and without the option it is
    // alone (beside other files: the stopped run above kept its rows).
    auto done = erdos_test::run_process(ERDOS_STRAUS_BINARY, {"--progress", "1", "200", "127", "r2.csv", "s2.json"}, dir);
    EXPECT_EQ(done.exit_status, 0);
    EXPECT_EQ(done.err, "processed=3 covered=3 verified=3 max_least_c=7 at p=73\n");
}

TEST_F(Logged, AnEstimateWritesNoFileAndCountsASmallRunExactly) {
    erdos_test::write_file(dir + "/r.csv", "earlier results\n");
    const auto r = erdos_test::run_process(
        ERDOS_STRAUS_BINARY, {"--threads", "2", "--estimate", "--from", "1000", "200000", "127", "r.csv", "s.json"},
        dir);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, "");
    // Nothing but the earlier file, untouched: no partial file, record or summary.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
    EXPECT_EQ(names, std::vector<std::string>{"r.csv"});
    EXPECT_EQ(erdos_test::read_file(dir + "/r.csv"), "earlier results\n");

    // The sample of a run this small is the run: its count is the run's.
    const auto run = erdos_test::run_process(ERDOS_STRAUS_BINARY, {"--from", "1000", "200000", "127", "r.csv", "s.json"}, dir);
    ASSERT_EQ(run.exit_status, 0);
    const std::string processed = run.err.substr(10, run.err.find(' ') - 10);  // "processed=N ..."
    std::string grouped;
    for (std::size_t i = 0; i < processed.size(); ++i) {
        if (i > 0 && (processed.size() - i) % 3 == 0) grouped += ',';
        grouped += processed[i];
    }
    EXPECT_NE(r.out.find("examined primes  " + grouped + " (counted)\n"), std::string::npos) << r.out;
    const auto rows = static_cast<double>(std::filesystem::file_size(dir + "/r.csv"));
    for (const char* line : {"results file     about ", "temporary disk   none", "peak memory      about ",
                             "wall time        about "}) {
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    }
    // Its size within a few per cent of the file the run wrote (kB to three digits).
    const std::size_t at = r.out.find("results file     about ") + 23;
    EXPECT_NEAR(std::stod(r.out.substr(at)) * 1000.0, rows, rows * 0.02) << r.out;

    // The results to a device: nothing is written beside it.
    const auto device = erdos_test::run_process(ERDOS_STRAUS_BINARY, {"--estimate", "20000", "127", "/dev/null", "s.json"}, dir);
    EXPECT_EQ(device.exit_status, 0);
    EXPECT_NE(device.out.find("written directly to '/dev/null'"), std::string::npos) << device.out;
}

TEST_F(Logged, AnEstimateStaysShortWhereEachPrimeTakesLong) {
    // About a second a prime (C_MAX far above p): a sample of whole chunks,
    // 64 primes at least, would take minutes; a few primes must do.
    auto child = erdos_test::start_process(
        ERDOS_STRAUS_BINARY, {"--threads", "1", "--estimate", "200000", "600000000", "r.csv", "s.json"}, dir);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    while (std::chrono::steady_clock::now() < deadline && kill(child.pid, 0) == 0 &&
           erdos_test::read_file(child.capture_dir + "/out").find("from a sample") == std::string::npos) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const bool late = erdos_test::read_file(child.capture_dir + "/out").find("from a sample") == std::string::npos;
    if (late) kill(child.pid, SIGKILL);
    const auto r = erdos_test::finish_process(child);
    ASSERT_FALSE(late) << "the estimate took more than 90 s";
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_NE(r.out.find("wall time        about "), std::string::npos) << r.out;
}

}  // namespace
