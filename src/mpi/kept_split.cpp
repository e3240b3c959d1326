// Cuts of the kept rows at line starts, each with the prime of the row before it.
#include "mpi/kept_split.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "output/resume_rows.hpp"
#include "stats/run_stats.hpp"

namespace erdos {

namespace {

// Reads up to `size` bytes at offset into out (fewer at the end of the file).
int read_at(int fd, std::uint64_t offset, std::size_t size, std::string& out) {
    out.resize(size);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = pread(fd, out.data() + got, size - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    out.resize(got);
    return 0;
}

// The p of the line that ends just before `start`, or fallback.
int p_before(int fd, std::uint64_t begin, std::uint64_t start, std::int64_t fallback, std::int64_t& p) {
    p = fallback;
    if (start <= begin) return 0;
    // A row is at most a few hundred bytes; a longer line is refused anyway.
    constexpr std::uint64_t reach = 512;
    const std::uint64_t from = std::max(begin, start > reach ? start - reach : 0);
    std::string bytes;
    if (const int error = read_at(fd, from, static_cast<std::size_t>(start - from), bytes); error != 0) return error;
    if (bytes.empty() || bytes.back() != '\n') return 0;
    bytes.pop_back();
    const std::size_t feed = bytes.rfind('\n');
    if (feed == std::string::npos && from != begin) return 0;
    const std::string line = feed == std::string::npos ? bytes : bytes.substr(feed + 1);
    prime_scan scan;
    if (parse_results_row(line, scan)) p = scan.p;
    return 0;
}

}  // namespace

int split_kept_rows(int fd, std::uint64_t begin, std::uint64_t end, unsigned parts, std::int64_t first_after_p,
                    std::vector<kept_part>& out) {
    parts = std::max(parts, 1U);
    out.assign(parts, kept_part{});
    std::uint64_t cut = begin;
    for (unsigned i = 0; i < parts; ++i) {
        out[i].begin = cut;
        out[i].after_p = first_after_p;
        if (i + 1 == parts) {
            cut = end;
        } else {
            const std::uint64_t target = begin + (end - begin) / parts * (i + 1);
            std::uint64_t start = end;
            if (target > cut) {
                if (const int error = next_row_start(fd, target, end, start); error != 0) return error;
            } else {
                start = cut;
            }
            cut = std::max(start, cut);
        }
        out[i].end = cut;
        if (i > 0) {
            if (const int error = p_before(fd, begin, out[i].begin, first_after_p, out[i].after_p); error != 0) {
                return error;
            }
        }
    }
    return 0;
}

}  // namespace erdos
