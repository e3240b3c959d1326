#include "mpi/kept_split.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "stats/results_rows.hpp"

using namespace erdos;

namespace {

// A file of the given bytes, removed with the fixture.
struct temporary_file {
    std::string path;
    int fd = -1;
    explicit temporary_file(const std::string& bytes) {
        char name[] = "/tmp/kept_split_test.XXXXXX";
        fd = mkstemp(name);
        path = name;
        EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    ~temporary_file() {
        close(fd);
        unlink(path.c_str());
    }
};

std::string row_of(std::int64_t p) {
    prime_scan scan;
    scan.p = p;
    scan.least_c = 3;
    scan.first_d = 1;
    scan.branch = 1;
    scan.successful_shifts = 1;
    scan.has_witness = true;
    scan.uniform_mass = 0.5;
    scan.weighted_mass = 0.25;
    std::string row;
    append_results_row(row, scan);
    return row;
}

}  // namespace

// Every cut falls on a line start, the parts cover the rows once, and each
// part knows the prime of the row before it, for every number of parts,
// more parts than rows included.
TEST(KeptSplit, CutsAtLineStartsWithThePrimeBefore) {
    std::string bytes = results_header;
    const std::uint64_t begin = bytes.size();
    for (std::int64_t i = 0; i < 20; ++i) bytes += row_of(73 + 24 * i);
    const temporary_file file(bytes);
    for (const unsigned parts : {1U, 2U, 3U, 7U, 40U}) {
        std::vector<kept_part> cuts;
        ASSERT_EQ(split_kept_rows(file.fd, begin, bytes.size(), parts, -1, cuts), 0);
        ASSERT_EQ(cuts.size(), parts);
        EXPECT_EQ(cuts.front().begin, begin);
        EXPECT_EQ(cuts.back().end, bytes.size());
        for (unsigned i = 0; i < parts; ++i) {
            if (i > 0) {
                EXPECT_EQ(cuts[i].begin, cuts[i - 1].end);
            }
            EXPECT_EQ(bytes[cuts[i].begin - 1], '\n') << parts << ' ' << i;
            if (i == 0) {
                EXPECT_EQ(cuts[i].after_p, -1);
            } else if (cuts[i].begin > begin) {
                const std::size_t line = bytes.rfind('\n', cuts[i].begin - 2) + 1;
                EXPECT_EQ(cuts[i].after_p, std::stoll(bytes.substr(line))) << parts << ' ' << i;
            }
        }
    }
}

// A line before a cut that is no row leaves the part with the first part's
// bound: the part before refuses that line anyway.
TEST(KeptSplit, ALineThatIsNoRowGivesTheFallback) {
    const std::string bytes = std::string(results_header) + std::string(200, 'x') + "\n" + row_of(97);
    const temporary_file file(bytes);
    std::vector<kept_part> cuts;
    ASSERT_EQ(split_kept_rows(file.fd, std::string(results_header).size(), bytes.size(), 2, 5, cuts), 0);
    EXPECT_EQ(cuts[1].begin, bytes.size() - row_of(97).size());
    EXPECT_EQ(cuts[1].after_p, 5);
}
