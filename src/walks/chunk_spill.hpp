// Chunks that wait their turn written out to an unnamed file, and read back when it comes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "stats/prime_chunk.hpp"
#include "stats/unnamed_file.hpp"

namespace erdos {

// One writer's file of waiting chunks, made at its first chunk. A reader
// may read back any chunk written before while the writer writes the next.
// Each chunk takes the first place where it fits between the chunks that
// still wait, and a chunk read back gives its place back, so that the file
// stays about as large as the chunks that wait at once, however long the
// run and however rarely none waits.
struct chunk_spill {
    std::string directory;  // where the file is made; empty: $TMPDIR or /tmp
    owned_descriptor file;
    int error = 0;          // the first failure to make or write the file (errno), after which it is not used
    std::map<std::uint64_t, std::uint64_t> taken;  // [offset, end) of the chunks written and not given back
};

// Where a chunk's bulk went, and how long each part is.
struct spilled_chunk {
    std::uint64_t offset = 0;
    std::size_t scans = 0;
    std::size_t verdicts = 0;
    std::size_t row_bytes = 0;
    std::size_t masses = 0;  // of each kind
};

// The bytes spill_chunk writes for a chunk, and those of a chunk written.
std::uint64_t spilled_bytes(const prime_chunk& chunk);
std::uint64_t spilled_bytes(const spilled_chunk& where);

// Takes the first place in the file where `bytes` fit beside the places
// taken, and returns its offset.
std::uint64_t take_place(chunk_spill& spill, std::uint64_t bytes);

// Gives back the place of a chunk read back, or of one whose writing
// failed (offset and bytes as taken).
void give_back_place(chunk_spill& spill, std::uint64_t offset, std::uint64_t bytes);

// Writes the bulk of chunk (its scans, verdicts, rows and tallied masses)
// at offset, a place taken for it, and frees it from memory, leaving the tally's
// counts and extremes. Returns false, with chunk unchanged and the error
// kept, when the file cannot be made or written.
bool spill_chunk(chunk_spill& spill, prime_chunk& chunk, std::uint64_t offset, spilled_chunk& where);

// Reads the bulk of a spilled chunk back into it, as it was before. Throws
// std::runtime_error when the file cannot be read.
void restore_chunk(const chunk_spill& spill, const spilled_chunk& where, prime_chunk& chunk);

}  // namespace erdos
