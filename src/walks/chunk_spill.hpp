// Chunks that wait their turn written out to an unnamed file, and read back when it comes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "stats/prime_chunk.hpp"
#include "stats/unnamed_file.hpp"

namespace erdos {

// One writer's file of waiting chunks, made at its first chunk. The writer
// appends; a reader may read back any chunk written before, at the same
// time. When no written chunk waits any more, the writer starts again at
// the beginning, so that the file stays about as large as the chunks that
// wait at once.
struct chunk_spill {
    std::string directory;  // where the file is made; empty: $TMPDIR or /tmp
    owned_descriptor file;
    std::uint64_t end = 0;  // where the next chunk goes
    int error = 0;          // the first failure to make or write the file (errno), after which it is not used
};

// Where a chunk's bulk went, and how long each part is.
struct spilled_chunk {
    std::uint64_t offset = 0;
    std::size_t scans = 0;
    std::size_t verdicts = 0;
    std::size_t row_bytes = 0;
    std::size_t masses = 0;  // of each kind
};

// Writes the bulk of chunk (its scans, verdicts, rows and tallied masses)
// at the end of the file and frees it from memory, leaving the tally's
// counts and extremes. Returns false, with chunk unchanged and the error
// kept, when the file cannot be made or written.
bool spill_chunk(chunk_spill& spill, prime_chunk& chunk, spilled_chunk& where);

// Reads the bulk of a spilled chunk back into it, as it was before. Throws
// std::runtime_error when the file cannot be read.
void restore_chunk(const chunk_spill& spill, const spilled_chunk& where, prime_chunk& chunk);

}  // namespace erdos
