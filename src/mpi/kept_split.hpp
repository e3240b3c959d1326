// Cutting the kept rows of a results file into parts at line starts, so that several processes can read them back at once.
#pragma once

#include <cstdint>
#include <vector>

namespace erdos {

// One part of the kept rows: the bytes [begin, end), whole lines, and the
// prime of the row just before begin (what fold_kept_rows takes as after_p).
struct kept_part {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
    std::int64_t after_p = 0;
};

// Cuts the bytes [begin, end) of the file open at fd into `parts` parts of
// about equal size, each cut moved forward to the start of a line (a part
// may be empty). The first part's after_p is first_after_p; each other's is
// the p of the line before it, or first_after_p when that line does not
// parse as a row (the part before then refuses it first). Returns 0 or the
// errno value of a failed read.
int split_kept_rows(int fd, std::uint64_t begin, std::uint64_t end, unsigned parts, std::int64_t first_after_p,
                    std::vector<kept_part>& out);

}  // namespace erdos
