// Parsing results rows back into scans and rebuilding the statistics from them.
#include "output/resume_rows.hpp"

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

#include "numtheory/examined_cursor.hpp"
#include "output/crc32c.hpp"
#include "search/shift_list.hpp"
#include "search/verify_witness.hpp"
#include "stats/results_rows.hpp"
#include "stats/run_stats.hpp"
#include "stop_request.hpp"

namespace erdos {

namespace {

// The NaNs a run writes: a mass of no shift is 0/0, whose bits on x86-64 are
// the negative quiet NaN; "nan" reads as the positive one.
constexpr std::uint64_t negative_nan_bits = 0xFFF8000000000000;
constexpr std::uint64_t positive_nan_bits = 0x7FF8000000000000;
constexpr std::size_t read_block_bytes = std::size_t{1} << 20;
constexpr std::size_t row_fields = 9;

// Splits the line at its commas into exactly row_fields fields.
bool split_fields(std::string_view line, std::string_view (&fields)[row_fields]) {
    std::size_t count = 0;
    while (true) {
        const std::size_t comma = line.find(',');
        if (count == row_fields) return false;
        fields[count++] = line.substr(0, comma);
        if (comma == std::string_view::npos) break;
        line.remove_prefix(comma + 1);
    }
    return count == row_fields;
}

template <typename Integer>
bool read_integer(std::string_view text, Integer& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size() && !text.empty();
}

// A decimal integer of up to 128 bits, with an optional '-'; false on overflow.
bool read_int128(std::string_view text, int128& value) {
    const bool negative = text.starts_with('-');
    if (negative) text.remove_prefix(1);
    if (text.empty()) return false;
    constexpr uint128 limit = ~uint128{0} >> 1;  // 2^127 - 1; -2^127 is never written
    uint128 magnitude = 0;
    for (const char ch : text) {
        if (ch < '0' || ch > '9') return false;
        const auto digit = static_cast<unsigned>(ch - '0');
        if (magnitude > (limit - digit) / 10) return false;
        magnitude = magnitude * 10 + digit;
    }
    value = negative ? -static_cast<int128>(magnitude) : static_cast<int128>(magnitude);
    return true;
}

bool read_double(std::string_view text, double& value) {
    if (text == "nan" || text == "-nan") {
        value = std::bit_cast<double>(text[0] == '-' ? negative_nan_bits : positive_nan_bits);
        return true;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size() && !text.empty();
}

bool is_mass(double value) { return std::isnan(value) || (value >= 0.0 && value <= 1.0); }

// Parses, checks and folds one row (without its line feed); previous_p
// becomes its p (0 while it does not parse). primes walks the examined primes
// after the row before. Returns the refusal, or an empty text.
std::string fold_row(std::string_view line, const row_limits& limits, examined_cursor& primes,
                     std::int64_t& previous_p, run_stats& stats) {
    prime_scan scan;
    const std::int64_t before = previous_p;
    previous_p = 0;
    if (std::string why = read_results_row(line, scan); !why.empty()) return why;
    previous_p = scan.p;
    if (scan.p <= before) return "its p is not above the one before it";
    if (std::string why = check_results_row(scan, limits); !why.empty()) return why;
    std::int64_t expected = next_examined_prime(primes);
    if (expected == 0) return "it follows the last row its progress record names";
    if (scan.p != expected) {
        // Either p is no prime, or the rows of the primes before it are gone.
        const std::int64_t missing = expected;
        while (expected != 0 && expected < scan.p) expected = next_examined_prime(primes);
        if (expected != scan.p) return "its p is not prime";
        return "the row of the prime " + std::to_string(missing) + " before it is missing";
    }
    if (scan.has_witness && !verify_first_witness(scan.p, scan.least_c, scan.first_m, scan.first_d, scan.branch)) {
        return "its first witness fails the exact check";
    }
    ++stats.processed;
    update_run_stats(stats, scan, true);
    return {};
}

std::string row_place(std::uint64_t offset, std::int64_t p) {
    std::string place = "the row at byte " + std::to_string(offset);
    if (p != 0) place += " (p = " + std::to_string(p) + ")";
    return place;
}

}  // namespace

bool parse_results_row(std::string_view line, prime_scan& scan) { return read_results_row(line, scan).empty(); }

std::string read_results_row(std::string_view line, prime_scan& scan) {
    constexpr const char* unparsed = "it does not parse";
    std::string_view fields[row_fields];
    if (!split_fields(line, fields)) return unparsed;
    double trials[2] = {};
    if (!read_integer(fields[0], scan.p) || !read_integer(fields[1], scan.least_c) ||
        !read_int128(fields[2], scan.first_d) || !read_integer(fields[3], scan.branch) ||
        !read_integer(fields[4], scan.successful_shifts) || !read_double(fields[5], scan.uniform_mass) ||
        !read_double(fields[6], scan.weighted_mass) || !read_double(fields[7], trials[0]) ||
        !read_double(fields[8], trials[1])) {
        return unparsed;
    }
    scan.has_witness = scan.least_c != -1;
    // (p + least_c) / 4 in 64 bits: p is at most 2^63 - 1 here, least_c below 2^31.
    scan.first_m = scan.has_witness ? static_cast<std::int64_t>((int128{scan.p} + scan.least_c) / 4) : 0;
    // The expected trials follow from the masses; the whole row must be
    // the text the run writes, which rejects any other spelling of a number.
    std::string again;
    append_results_row(again, scan);
    if (again.size() == line.size() + 1 && std::string_view(again).substr(0, line.size()) == line) return {};
    // The fields up to the masses as the run writes them, the trials not:
    // the masses or the trials were changed.
    const std::size_t before_trials = static_cast<std::size_t>(fields[7].data() - line.data());
    if (std::string_view(again).substr(0, before_trials) == line.substr(0, before_trials)) {
        return "its expected trials disagree with its masses";
    }
    return unparsed;
}

std::string check_results_row(const prime_scan& scan, const row_limits& limits) {
    if (scan.p < limits.p_min || scan.p > limits.p_max) return "its p is outside [p_min, p_max]";
    // Primality is left to fold_kept_rows, which sieves the kept interval once.
    if (scan.p % 24 != 1) return "its p is not 1 (mod 24)";
    const std::uint64_t shifts = count_shifts(limits.c_max);
    if (scan.successful_shifts < 0 || static_cast<std::uint64_t>(scan.successful_shifts) > shifts) {
        return "its count of successful shifts is out of range";
    }
    if (!scan.has_witness) {
        if (scan.first_d != -1 || scan.branch != 0 || scan.successful_shifts != 0) {
            return "it has a witness but no least shift";
        }
    } else {
        if (scan.least_c < 3 || scan.least_c > limits.c_max || scan.least_c % 4 != 3) {
            return "its least shift is out of range";
        }
        if (scan.first_d < 1 || scan.branch < 1 || scan.branch > 3 || scan.successful_shifts < 1) {
            return "its witness is out of range";
        }
    }
    if (!is_mass(scan.uniform_mass) || !is_mass(scan.weighted_mass)) return "its masses are out of range";
    return {};
}

kept_rows fold_kept_rows(int fd, std::uint64_t begin, std::uint64_t end, const row_limits& limits,
                         std::int64_t after_p, run_stats& stats) {
    kept_rows kept;
    std::string block;
    std::size_t used = 0;  // bytes of block already folded
    std::uint64_t offset = begin;  // the file offset of block[used]
    std::uint64_t next_read = begin;
    std::int64_t previous_p = after_p;
    examined_cursor primes = start_examined_cursor(after_p + 1, limits.last_p != 0 ? limits.last_p : limits.p_max);
    std::uint32_t crc = 0;
    while (true) {
        // Whole rows in the block are folded; a row cut by the block's end waits for the next read.
        std::size_t line_end;
        while ((line_end = block.find('\n', used)) != std::string::npos) {
            const std::string_view line(block.data() + used, line_end - used);
            if (std::string why = fold_row(line, limits, primes, previous_p, stats); !why.empty()) {
                kept.problem = row_place(offset, previous_p) + ": " + why;
                return kept;
            }
            if (kept.rows++ == 0) kept.first_p = previous_p;
            kept.last_p = previous_p;
            offset += line.size() + 1;
            used = line_end + 1;
        }
        if (next_read >= end) break;
        stop_if_requested();
        block.erase(0, used);
        used = 0;
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(read_block_bytes, end - next_read));
        const std::size_t kept_bytes = block.size();
        block.resize(kept_bytes + want);
        const ssize_t got = pread(fd, block.data() + kept_bytes, want, static_cast<off_t>(next_read));
        if (got < 0) {
            if (errno == EINTR) {
                block.resize(kept_bytes);
                continue;
            }
            kept.error = errno;
            return kept;
        }
        if (got == 0) {  // the file ends before `end`
            kept.problem = row_place(offset, 0) + ": the file ends before the durable point";
            return kept;
        }
        block.resize(kept_bytes + static_cast<std::size_t>(got));
        crc = crc32c_extend(crc, std::string_view(block).substr(kept_bytes));
        next_read += static_cast<std::uint64_t>(got);
    }
    if (used != block.size()) kept.problem = row_place(offset, 0) + ": it has no line feed";
    kept.crc = crc;
    return kept;
}

int next_row_start(int fd, std::uint64_t offset, std::uint64_t end, std::uint64_t& start) {
    if (offset == 0 || offset >= end) {
        start = std::min(offset, end);
        return 0;
    }
    // From the byte before offset: a line feed there makes offset a start.
    char block[4096];
    std::uint64_t at = offset - 1;
    while (at < end) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof block, end - at));
        const ssize_t got = pread(fd, block, want, static_cast<off_t>(at));
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (got == 0) break;
        if (const void* feed = std::memchr(block, '\n', static_cast<std::size_t>(got)); feed != nullptr) {
            start = at + static_cast<std::uint64_t>(static_cast<const char*>(feed) - block) + 1;
            return 0;
        }
        at += static_cast<std::uint64_t>(got);
    }
    start = end;
    return 0;
}

int check_kept_header(int fd, std::uint64_t end, std::string& problem) {
    const std::size_t header_size = std::strlen(results_header);
    std::string header(header_size, '\0');
    ssize_t got = -1;
    if (end >= header_size) {
        do {
            got = pread(fd, header.data(), header_size, 0);
        } while (got < 0 && errno == EINTR);
        if (got < 0) return errno;
    }
    if (got != static_cast<ssize_t>(header_size) || header != results_header) {
        problem = "the header is not the results header";
    }
    return 0;
}

kept_rows fold_kept_results(int fd, std::uint64_t end, const row_limits& limits, run_stats& stats) {
    if (end == 0) return {};
    kept_rows kept;
    kept.error = check_kept_header(fd, end, kept.problem);
    if (kept.error != 0 || !kept.problem.empty()) return kept;
    const std::string_view header(results_header);
    kept = fold_kept_rows(fd, header.size(), end, limits, limits.p_min - 1, stats);
    kept.crc = crc32c_combine(crc32c_extend(0, header), kept.crc, end - header.size());
    return kept;
}

}  // namespace erdos
