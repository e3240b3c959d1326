// Opening buckets for new exponent patterns, and growing the table that finds them.
#include "search/pattern_table.hpp"

#include <algorithm>

namespace erdos {

void clear_pattern_table(pattern_table& table) {
    table.buckets.clear();
    table.states.clear();
    std::fill(table.slots.begin(), table.slots.end(), bucket_slot{});
}

std::size_t open_bucket(pattern_table& table, std::uint64_t key, std::size_t slot) {
    if (table.buckets.size() * 2 >= table.slots.size()) {
        // Keep the table at most half full: double it and place every bucket
        // again, then look for the key's place anew.
        table.slots.assign(table.slots.size() * 2, bucket_slot{});
        const std::size_t wider = table.slots.size() - 1;
        for (std::size_t b = 0; b < table.buckets.size(); ++b) {
            const std::uint64_t k = table.buckets[b].key;
            std::size_t s = home_slot(k, wider);
            while (table.slots[s].bucket >= 0) s = (s + 1) & wider;
            table.slots[s] = {k, static_cast<std::int32_t>(b)};
        }
        slot = home_slot(key, wider);
        while (table.slots[slot].bucket >= 0) slot = (slot + 1) & wider;
    }
    const std::size_t index = table.buckets.size();
    table.slots[slot] = {key, static_cast<std::int32_t>(index)};
    pattern_bucket& bucket = table.buckets.emplace_back();
    bucket_state& state = table.states.emplace_back();
    bucket.key = key;
    // The exponents, 5 bits each; the factor with the most is folded.
    for (std::uint64_t rest = key; rest != 0; rest >>= 5) {
        const auto e = static_cast<std::int32_t>(rest & 31U);
        if (bucket.factors == 0 || e > bucket.exponent[bucket.folded]) bucket.folded = bucket.factors;
        bucket.exponent[bucket.factors++] = e;
        state.tau *= static_cast<std::uint32_t>(2 * e + 1);
    }
    return index;
}

}  // namespace erdos
