// The buckets of a chunk, one per exponent pattern met, and the hash table that finds them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "search/lane_batch.hpp"
#include "tuning.hpp"

namespace erdos {

// What every queued pair reads and updates of its bucket, kept apart from
// the bulky lanes so that the buckets' states share a few cache lines.
struct bucket_state {
    std::uint32_t tau = 1;  // divisors of m^2
    std::int32_t lanes = 0; // lanes of the batch in use
};

// A place in the table from pattern to bucket: a key and its bucket (-1: free).
struct bucket_slot {
    std::uint64_t key = 0;
    std::int32_t bucket = -1;
};

// The buckets opened so far and an open-addressing table from pattern to
// bucket; a key sits with its bucket's index, so that a probe reads one
// cache line. The table's size is a power of two, and it is kept at most
// half full.
struct pattern_table {
    std::vector<pattern_bucket> buckets;
    std::vector<bucket_state> states;  // one per bucket
    std::vector<bucket_slot> slots = std::vector<bucket_slot>(tuning::pattern_table_slots);
};

// Forgets every bucket; the table keeps its size.
void clear_pattern_table(pattern_table& table);

// Where a pattern's search starts in a table of mask + 1 places.
inline std::size_t home_slot(std::uint64_t key, std::size_t mask) {
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ULL) >> 40) & mask;
}

// Opens the bucket of a pattern not seen before at `slot`, its free place in
// the table (which may grow). Returns the bucket's index.
std::size_t open_bucket(pattern_table& table, std::uint64_t key, std::size_t slot);

// The index of the bucket of an exponent pattern, opened on first sight.
// Inline: every queued pair looks up its bucket.
[[gnu::always_inline]] inline std::size_t bucket_for(pattern_table& table, std::uint64_t key) {
    const std::size_t mask = table.slots.size() - 1;
    std::size_t slot = home_slot(key, mask);
    while (table.slots[slot].bucket >= 0) {
        if (table.slots[slot].key == key) return static_cast<std::size_t>(table.slots[slot].bucket);
        slot = (slot + 1) & mask;
    }
    return open_bucket(table, key, slot);
}

}  // namespace erdos
