#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <bit>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "output/crc32c.hpp"
#include "output/resume_rows.hpp"
#include "stats/results_rows.hpp"
#include "stats/run_stats.hpp"
#include "support/int128_text.hpp"

using erdos::prime_scan;

namespace {

const std::string row_73 = "73,7,1,1,3,0.026388888888888889,0.089057239057239057,37.89473684210526,11.228733459357278";
const std::string row_97 = "97,3,5,3,4,0.032638888888888891,0.18737373737373739,30.638297872340424,5.3369272237196759";
const std::string row_193 =
    "193,7,5,2,3,0.018055555555555554,0.051010101010101012,55.384615384615387,19.603960396039604";
// Far out: a first witness beyond 2^64.
const std::string row_far =
    "4611686018427008809,11,1856754602618519621538383,1,21,0.041463354889280817,0.046087268926775102,"
    "24.117681810125834,21.697966125717524";

std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

// A file holding text, open for reading, removed when the test ends.
struct temp_file {
    std::string path;
    int fd = -1;
    explicit temp_file(const std::string& text) {
        path = (std::filesystem::temp_directory_path() / ("erdos-rows-test-" + std::to_string(::getpid()))).string();
        std::ofstream(path, std::ios::binary) << text;
        fd = open(path.c_str(), O_RDONLY);
    }
    ~temp_file() {
        close(fd);
        std::filesystem::remove(path);
    }
};

}  // namespace

TEST(ResultsRowParse, RestoresEveryFieldExactly) {
    prime_scan scan;
    ASSERT_TRUE(erdos::parse_results_row(row_73, scan));
    EXPECT_EQ(scan.p, 73);
    EXPECT_EQ(scan.least_c, 7);
    EXPECT_TRUE(scan.first_d == 1);
    EXPECT_EQ(scan.first_m, 20);
    EXPECT_TRUE(scan.has_witness);
    EXPECT_EQ(scan.successful_shifts, 3);
    EXPECT_EQ(scan.uniform_mass, 0.026388888888888889);

    ASSERT_TRUE(erdos::parse_results_row(row_far, scan));
    EXPECT_EQ(erdos_test::decimal(scan.first_d), "1856754602618519621538383");
    EXPECT_EQ(scan.first_m, (std::int64_t{4611686018427008809} + 11) / 4);

    // No shift at all: masses 0/0, the negative NaN, with their bits.
    ASSERT_TRUE(erdos::parse_results_row("73,-1,-1,0,0,-nan,-nan,inf,inf", scan));
    EXPECT_FALSE(scan.has_witness);
    EXPECT_EQ(bits(scan.uniform_mass), 0xFFF8000000000000U);
    EXPECT_EQ(bits(scan.weighted_mass), 0xFFF8000000000000U);
    ASSERT_TRUE(erdos::parse_results_row("73,-1,-1,0,0,nan,0,inf,inf", scan));
    EXPECT_EQ(bits(scan.uniform_mass), 0x7FF8000000000000U);
    EXPECT_EQ(bits(scan.weighted_mass), 0U);
}

TEST(ResultsRowParse, RefusesAnyOtherText) {
    prime_scan scan;
    for (const std::string& bad : std::vector<std::string>{
             std::string(""), row_73 + ",", row_73.substr(0, row_73.size() - 1) + "x", "+" + row_73,
             "073" + row_73.substr(2), row_73 + "\r", "73,7,1,1,3,0.026388888888888889,0.089057239057239057",
             // expected trials that do not follow from the mass
             "73,7,1,1,3,0.026388888888888889,0.089057239057239057,37.89473684210527,11.228733459357278",
             "73,7,1,1,3,2.6388888888888889e-2,0.089057239057239057,37.89473684210526,11.228733459357278",
             "99999999999999999999,7,1,1,3,0,0,inf,inf",                         // p beyond 64 bits
             "73,7,999999999999999999999999999999999999999999,1,3,0,0,inf,inf",  // first_d beyond 128 bits
             "73,7,1,1,3,0,0,inf,inf,"}) {
        EXPECT_FALSE(erdos::parse_results_row(bad, scan)) << bad;
    }
    // Why: a row in the run's own spelling whose trials do not follow from
    // its masses says so; any other text does not parse.
    EXPECT_EQ(erdos::read_results_row(
                  "73,7,1,1,3,0.5,0.089057239057239057,37.89473684210526,11.228733459357278", scan),
              "its expected trials disagree with its masses");
    EXPECT_EQ(erdos::read_results_row("73,7,1,1,3,0.5,0.25,2,4", scan), "");
    EXPECT_EQ(erdos::read_results_row("073" + row_73.substr(2), scan), "it does not parse");
}

TEST(ResultsRowCheck, FieldsMustFitTheRun) {
    const erdos::row_limits limits{0, 1000, 127};
    prime_scan scan;
    auto why = [&](const std::string& row) {
        EXPECT_TRUE(erdos::parse_results_row(row, scan)) << row;
        return erdos::check_results_row(scan, limits);
    };
    EXPECT_EQ(why(row_73), "");
    EXPECT_EQ(why("73,-1,-1,0,0,0,0,inf,inf"), "");
    EXPECT_NE(why("89,7,1,1,3,0,0,inf,inf"), "");     // a prime, not 1 (mod 24)
    EXPECT_NE(why("1009,7,1,1,3,0,0,inf,inf"), "");   // beyond p_max
    EXPECT_NE(why("73,131,1,1,3,0,0,inf,inf"), "");   // beyond c_max
    EXPECT_NE(why("73,9,1,1,3,0,0,inf,inf"), "");     // not a shift
    EXPECT_NE(why("73,7,1,4,3,0,0,inf,inf"), "");     // no such branch
    EXPECT_NE(why("73,7,0,1,3,0,0,inf,inf"), "");     // no divisor
    EXPECT_NE(why("73,7,1,1,33,0,0,inf,inf"), "");    // more successful shifts than shifts
    EXPECT_NE(why("73,-1,5,0,0,0,0,inf,inf"), "");    // a witness without a shift
    EXPECT_NE(why("73,7,1,1,3,2,0,0.5,inf"), "");     // a mass above 1
    EXPECT_NE(why("73,-1,-1,0,0,-inf,-nan,inf,inf"), "");
}

TEST(KeptRows, RebuildTheStatisticsOfTheRunThatWroteThem) {
    const std::string rows = row_73 + "\n" + row_97 + "\n" + row_193 + "\n";
    temp_file file(erdos::results_header + rows);
    const erdos::row_limits limits{0, 200, 127};

    // As the run folded them.
    erdos::run_stats expected;
    for (const std::string& row : {row_73, row_97, row_193}) {
        prime_scan scan;
        ASSERT_TRUE(erdos::parse_results_row(row, scan));
        ++expected.processed;
        erdos::update_run_stats(expected, scan, true);
    }
    erdos::run_stats stats;
    const std::uint64_t end = std::strlen(erdos::results_header) + rows.size();
    const auto whole = erdos::fold_kept_results(file.fd, end, limits, stats);
    EXPECT_EQ(whole.error, 0);
    EXPECT_EQ(whole.problem, "");
    EXPECT_EQ(whole.rows, 3);
    EXPECT_EQ(whole.first_p, 73);
    EXPECT_EQ(whole.last_p, 193);
    EXPECT_EQ(whole.crc, erdos::crc32c_extend(0, erdos::results_header + rows));
    EXPECT_EQ(stats.processed, 3);
    EXPECT_EQ(stats.verified, 3);
    EXPECT_EQ(stats.least_shift_histogram, expected.least_shift_histogram);
    EXPECT_EQ(stats.min_uniform_mass_prime, 193);
    EXPECT_EQ(stats.masses.uniform, expected.masses.uniform);

    // Two byte ranges, as two processes would read their parts.
    const std::uint64_t header = std::strlen(erdos::results_header);
    const std::uint64_t cut = header + row_73.size() + 1;
    erdos::run_stats first;
    erdos::run_stats second;
    EXPECT_EQ(erdos::fold_kept_rows(file.fd, header, cut, limits, -1, first).rows, 1);
    const auto rest = erdos::fold_kept_rows(file.fd, cut, header + rows.size(), limits, 73, second);
    EXPECT_EQ(rest.rows, 2);
    EXPECT_EQ(rest.first_p, 97);
    EXPECT_EQ(rest.crc, erdos::crc32c_extend(0, row_97 + "\n" + row_193 + "\n"));
    EXPECT_EQ(first.processed + second.processed, 3);

    // A checkpoint before the header's end is nothing to read.
    erdos::run_stats none;
    EXPECT_EQ(erdos::fold_kept_results(file.fd, 0, limits, none).rows, 0);
    EXPECT_NE(erdos::fold_kept_results(file.fd, 10, limits, none).problem, "");
}

// A row the run wrote has its examined prime, after the one before it, and a
// first witness that passed the exact check; anything else was damaged since.
TEST(KeptRows, TheFirstBadRowStopsTheReadingAndSaysWhere) {
    const erdos::row_limits limits{0, 200, 127};
    const std::string second = "the row at byte " + std::to_string(row_73.size() + 1);
    const std::string third = "the row at byte " + std::to_string(row_73.size() + row_97.size() + 2);
    // 97's first witness at shift 3 is 5; 2 does not divide m^2 = 25^2.
    const std::string wrong_witness =
        "97,3,2,3,4,0.032638888888888891,0.18737373737373739,30.638297872340424,5.3369272237196759";
    // 145 = 5 * 29, with 97's fields.
    const std::string composite = "145" + row_97.substr(2);
    for (const auto& [rows, problem] : std::vector<std::pair<std::string, std::string>>{
             {row_73 + "\n" + row_97 + "\n" + row_73 + "\n", third + " (p = 73): its p is not above the one before it"},
             {row_73 + "\n" + row_73 + "\n", second + " (p = 73): its p is not above the one before it"},
             {row_73 + "\n97,3,5\n", second + ": it does not parse"},
             {row_73 + "\n" + row_97, second + ": it has no line feed"},
             {row_73 + "\n" + wrong_witness + "\n", second + " (p = 97): its first witness fails the exact check"},
             {"73,3" + row_73.substr(4) + "\n", "the row at byte 0 (p = 73): its first witness fails the exact check"},
             {row_73 + "\n" + row_97 + "\n" + composite + "\n", third + " (p = 145): its p is not prime"},
             {row_73 + "\n" + row_193 + "\n", second + " (p = 193): the row of the prime 97 before it is missing"},
         }) {
        temp_file file(rows);
        erdos::run_stats stats;
        const auto kept = erdos::fold_kept_rows(file.fd, 0, rows.size(), limits, -1, stats);
        EXPECT_EQ(kept.problem, problem) << rows;
    }
    // A range past the end of the file.
    temp_file file(row_73 + "\n");
    erdos::run_stats stats;
    EXPECT_EQ(erdos::fold_kept_rows(file.fd, 0, 200, limits, -1, stats).problem,
              second + ": the file ends before the durable point");
    // A first p not above after_p.
    EXPECT_NE(erdos::fold_kept_rows(file.fd, 0, row_73.size() + 1, limits, 73, stats).problem, "");
    // A row beyond the last one its record names.
    EXPECT_EQ(erdos::fold_kept_rows(file.fd, 0, row_73.size() + 1, {0, 200, 127, 71}, -1, stats).problem,
              "the row at byte 0 (p = 73): it follows the last row its progress record names");
}

TEST(KeptRows, SharesByBytesBeginAtTheNextRow) {
    const std::string rows = row_73 + "\n" + row_97 + "\n" + row_193 + "\n";
    temp_file file(rows);
    const std::uint64_t second = row_73.size() + 1;
    const std::uint64_t third = second + row_97.size() + 1;
    const std::uint64_t end = rows.size();
    for (const auto& [offset, expected] : std::vector<std::pair<std::uint64_t, std::uint64_t>>{
             {0, 0}, {1, second}, {second - 1, second}, {second, second}, {second + 1, third}, {third, third},
             {end - 1, end}, {end, end}, {end + 5, end}}) {
        std::uint64_t start = 99;
        EXPECT_EQ(erdos::next_row_start(file.fd, offset, end, start), 0) << offset;
        EXPECT_EQ(start, expected) << offset;
    }
    // Shares cut anywhere fold to the whole.
    erdos::run_stats stats;
    std::uint64_t from = 0;
    std::int64_t after = -1;
    for (const std::uint64_t cut : {std::uint64_t{40}, std::uint64_t{150}, end}) {
        std::uint64_t to = 0;
        ASSERT_EQ(erdos::next_row_start(file.fd, cut, end, to), 0);
        const auto part = erdos::fold_kept_rows(file.fd, from, to, {0, 200, 127}, after, stats);
        EXPECT_EQ(part.problem, "");
        if (part.rows > 0) after = part.last_p;
        from = to;
    }
    EXPECT_EQ(stats.processed, 3);
}
