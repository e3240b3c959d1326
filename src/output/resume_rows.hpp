// Reading back the rows of a kept results file: each parsed, checked and folded into the run's statistics again.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "stats/run_stats.hpp"

namespace erdos {

// The run whose rows are read back: a row must belong to it.
struct row_limits {
    std::int64_t p_min = 0;
    std::int64_t p_max = 0;
    std::int32_t c_max = 0;
    std::int64_t last_p = 0;  // the last kept row's p, as its record names it (0: p_max)
};

// Parses one results row, without its line feed, into scan (first_m and
// has_witness follow from least_c). Returns false, leaving scan unspecified,
// unless line is byte for byte what append_results_row writes for the scan it
// reads: so the masses come back with their exact bits (a NaN with its sign),
// and first_d in full 128 bits.
bool parse_results_row(std::string_view line, prime_scan& scan);

// The same, saying why a line is refused ("it does not parse", or that its
// expected trials disagree with its masses); an empty text when it is a row.
std::string read_results_row(std::string_view line, prime_scan& scan);

// Why a parsed row cannot come from a run with these limits (an empty text
// when it can): p not = 1 (mod 24) or outside [p_min, p_max]; a least shift
// that is not -1 or a shift up to c_max; a first witness, branch or count of
// successful shifts that does not fit it; a mass outside [0, 1] that is no NaN.
std::string check_results_row(const prime_scan& scan, const row_limits& limits);

// What fold_kept_rows found.
struct kept_rows {
    std::int64_t rows = 0;
    std::uint32_t crc = 0;     // the CRC-32C of the bytes read, when every row was taken
    std::int64_t first_p = 0;  // 0 when there is no row
    std::int64_t last_p = 0;
    int error = 0;         // an errno value when the file could not be read
    std::string problem;   // why a row was refused, with its place; empty when none was
};

// Reads the bytes [begin, end) of the file open at fd, which must be whole
// rows, each ending in a line feed, and folds them into stats in order
// exactly as the run that wrote them did: `processed` counted, then
// update_run_stats. Every row must parse, pass check_results_row, and hold
// the next examined prime after the row before it (the first: after after_p),
// up to limits.last_p: a composite p or a missing prime is refused. A covered
// row's first witness must pass the exact check again: one that fails was
// damaged, since the run that wrote it verified it. Stops at the first
// refused row or read error, with stats then holding the rows before it.
// fd's offset is not used. Throws run_stopped when a signal asks the run to
// stop.
kept_rows fold_kept_rows(int fd, std::uint64_t begin, std::uint64_t end, const row_limits& limits,
                         std::int64_t after_p, run_stats& stats);

// Where the first row at or after `offset` begins in the rows of the file at
// fd that end at `end`: the least start >= offset that is `end` or follows a
// line feed (0 for offset 0). For processes that share the rows of one file
// by bytes, each from the row its share begins in. Returns 0 or an errno
// value.
int next_row_start(int fd, std::uint64_t offset, std::uint64_t end, std::uint64_t& start);

// Checks that the first `end` bytes of the kept results file at fd begin with
// the results header. Returns 0 or the errno value of a failed read; sets
// problem when the header is not there.
int check_kept_header(int fd, std::uint64_t end, std::string& problem);

// Reads the bytes [0, end) of a kept results file: the header, then rows as
// fold_kept_rows reads them (after_p = p_min - 1). end 0 is an empty file.
kept_rows fold_kept_results(int fd, std::uint64_t end, const row_limits& limits, run_stats& stats);

}  // namespace erdos
