// Bucket sieve of the factorisations of consecutive m up to 2^61.
#include "numtheory/far_factor_sieve.hpp"

#include <algorithm>
#include <bit>
#include <cmath>

#include "numtheory/block_hits.hpp"
#include "numtheory/fast_remainder.hpp"
#include "numtheory/int128.hpp"
#include "numtheory/prime_range.hpp"

namespace erdos {

namespace {

using sieve = far_factor_sieve;

std::uint64_t isqrt(std::uint64_t n) {
    auto r = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(n)));
    while (r * r > n) --r;
    while ((r + 1) * (r + 1) <= n) ++r;
    return r;
}

// The first multiple of q at or above max(lo, 1).
std::uint64_t first_multiple(std::uint64_t q, std::uint64_t lo) {
    const std::uint64_t from = std::max<std::uint64_t>(lo, 1);
    // The small primes and their powers are few: a division each.
    if (q < sieve::segment_width || !remainder_estimate_fits(q)) return (from + q - 1) / q * q;
    const std::uint64_t behind = remainder_by_estimate(from, q);
    return behind == 0 ? from : from + (q - behind);
}

// Starts a new block of bucket b, from the pool, before the full one.
[[gnu::noinline]] void chain_block(sieve& s, std::size_t b) {
    std::uint32_t block = 0;
    if (s.free_blocks.empty()) {
        block = static_cast<std::uint32_t>(s.blocks.size());
        s.blocks.emplace_back(new std::uint64_t[sieve::block_entries]);
    } else {
        block = s.free_blocks.back();
        s.free_blocks.pop_back();
    }
    s.blocks[block][0] = s.bucket_block[b];
    s.bucket_block[b] = block;
    s.bucket_fill[b] = 1;
}

// Adds an entry to bucket b. Inline: every bucket prime's strike moves it.
inline void push_entry(sieve& s, std::size_t b, std::uint64_t entry) {
    if (s.bucket_fill[b] == sieve::block_entries) chain_block(s, b);
    s.blocks[s.bucket_block[b]][s.bucket_fill[b]++] = entry;
}

constexpr std::uint64_t group_offset_bits = sieve::segment_bits + sieve::group_bits;

// Puts prime q, whose next multiple lies `at` past lo, in the bucket of
// that multiple's segment if it lies in the current group, else in the
// bin of its group.
inline void place_entry(sieve& s, std::uint64_t q, std::uint64_t at) {
    const std::uint64_t segment = at >> sieve::segment_bits;
    const std::uint64_t group = segment >> s.group_shift;
    const std::uint64_t entry = q << 32 | (at & ((std::uint64_t{1} << group_offset_bits) - 1));
    if (group == s.group) {
        push_entry(s, segment & s.near_mask, entry);
    } else {
        push_entry(s, s.near_mask + 1 + (group & s.far_mask), entry);
    }
}

// Empties bucket b, handing each entry to take and its blocks back to the
// pool. take may fill other buckets, not b.
template <typename Take>
inline void drain_bucket(sieve& s, std::size_t b, Take take) {
    std::uint32_t block = s.bucket_block[b];
    std::uint32_t fill = s.bucket_fill[b];
    s.bucket_block[b] = sieve::no_block;
    s.bucket_fill[b] = sieve::block_entries;
    while (block != sieve::no_block) {
        const std::uint64_t* entries = s.blocks[block].get();
        for (std::uint32_t k = 1; k < fill; ++k) take(entries[k]);
        // Emptied: the block goes back to the pool, and the chain on to the
        // full one before it.
        s.free_blocks.push_back(block);
        block = static_cast<std::uint32_t>(entries[0]);
        fill = sieve::block_entries;
    }
}

}  // namespace

far_factor_sieve start_far_factor_sieve(std::uint64_t lo, std::uint64_t hi, const sieving_primes* listed) {
    sieve s;
    s.lo = lo;
    s.hi = hi;
    s.bound = static_cast<std::uint32_t>(isqrt(hi));
    // A prime q <= bound moves at most q / width + 1 segments ahead, and
    // never past the last segment: with a bucket for each of this many
    // segments (or a bin for each of as many groups) none is handed the
    // primes of two segments (or groups) at once. Only as many buckets as
    // the range has segments are ever filled.
    const std::uint64_t reach = s.bound / sieve::segment_width + 3;
    const std::uint64_t segments = ((hi - lo) >> sieve::segment_bits) + 1;
    std::uint64_t buckets = 0;
    if (std::min(reach, segments) <= sieve::ring_limit) {
        s.near_mask = std::bit_ceil(std::min(reach, segments)) - 1;
        s.group_shift = 63;  // one group: every bucket near
        buckets = s.near_mask + 1;
    } else {
        s.near_mask = (std::uint64_t{1} << sieve::group_bits) - 1;
        s.far_mask = std::bit_ceil((reach >> sieve::group_bits) + 3) - 1;
        s.group_shift = sieve::group_bits;
        buckets = s.near_mask + 1 + s.far_mask + 1;
    }
    s.bucket_block.assign(buckets, sieve::no_block);
    s.bucket_fill.assign(buckets, sieve::block_entries);
    s.power_begin.push_back(0);
    // The small primes, each with its powers, and then the bucket primes,
    // in a loop of their own: far out they are tens of millions, and most
    // have no multiple in a stretch.
    const auto place_small = [&](std::uint64_t q) {
        s.small_primes.push_back(static_cast<std::uint32_t>(q));
        s.small_next.push_back(first_multiple(q, lo));
        // q^k <= hi, without overflow: q^(k-1) <= hi / q.
        for (std::uint64_t power = q; power <= hi / q;) {
            power *= q;
            s.power_value.push_back(power);
            s.power_next.push_back(first_multiple(power, lo));
        }
        s.power_begin.push_back(static_cast<std::uint32_t>(s.power_value.size()));
    };
    // Those with a multiple in range are found a block at a time (far out
    // most have none, a coin toss for a branch) and placed.
    const auto place_large = [&](const std::uint32_t* primes, std::size_t count) {
        std::uint32_t found_prime[sieving_block_primes];
        std::uint32_t found_at[sieving_block_primes];
        // Every remainder is below 2^31: a wider range is as good as this.
        const std::uint64_t span = std::min<std::uint64_t>(hi - lo, 0xFFFFFFFFU);
        while (count > 0) {
            const std::size_t n = std::min(count, sieving_block_primes);
            std::size_t found = 0;
            if (lo > 0) {
                found = first_multiples(lo, span, primes, n, found_prime, found_at);
            } else {
                for (std::size_t k = 0; k < n; ++k) {
                    const std::uint64_t first = first_multiple(primes[k], lo);
                    if (first > hi) continue;
                    found_prime[found] = primes[k];
                    found_at[found++] = static_cast<std::uint32_t>(first - lo);
                }
            }
            for (std::size_t k = 0; k < found; ++k) place_entry(s, found_prime[k], found_at[k]);
            primes += n;
            count -= n;
        }
    };
    const std::uint64_t last_small = std::min<std::uint64_t>(s.bound, sieve::segment_width - 1);
    if (listed != nullptr && listed->bound >= s.bound) {
        for_each_sieving_prime(*listed, 3, last_small, place_small);
        for_each_sieving_block(*listed, sieve::segment_width, s.bound, place_large);
    } else {
        for_each_prime_in(3, static_cast<std::int64_t>(last_small) + 1, place_small);
        for_each_prime_block_in(static_cast<std::int64_t>(sieve::segment_width), std::int64_t{s.bound} + 1, place_large);
    }
    s.struck_count.resize(sieve::segment_width);
    s.struck.resize(sieve::segment_width * sieve::max_struck);
    return s;
}

bool sieve_next_far_segment(far_factor_sieve& s) {
    const std::uint64_t offset = s.segment_number << sieve::segment_bits;  // from lo
    if (offset > s.hi - s.lo) return false;
    const std::uint64_t seg_lo = s.lo + offset;
    const std::uint64_t count = std::min(sieve::segment_width, s.hi - seg_lo + 1);
    s.segment_lo = seg_lo;
    s.segment_count = count;
    std::fill_n(s.struck_count.begin(), count, std::uint8_t{0});
    std::uint8_t* const counts = s.struck_count.data();
    std::uint32_t* const slots = s.struck.data();

    // The small primes first, in ascending order, so that their slots ascend;
    // each prime's powers follow it at once, while its slot is still the
    // last one of every m it struck.
    for (std::size_t k = 0; k < s.small_primes.size(); ++k) {
        const std::uint64_t q = s.small_primes[k];
        const std::uint32_t what = sieve::small_flag | sieve::exponent_unit | static_cast<std::uint32_t>(q);
        std::uint64_t i = s.small_next[k] - seg_lo;
        for (; i < count; i += q) slots[i * sieve::max_struck + counts[i]++] = what;
        s.small_next[k] = seg_lo + i;
        for (std::uint32_t w = s.power_begin[k]; w < s.power_begin[k + 1]; ++w) {
            const std::uint64_t power = s.power_value[w];
            std::uint64_t i = s.power_next[w] - seg_lo;
            for (; i < count; i += power) slots[i * sieve::max_struck + counts[i] - 1] += sieve::exponent_unit;
            s.power_next[w] = seg_lo + i;
        }
    }
    // Then the bucket of this segment: each prime strikes once and moves on
    // to the bucket of its next multiple, if that is still in range. A new
    // group first deals its bin out to the near buckets.
    if (s.group_shift < 63 && (s.segment_number & s.near_mask) == 0) {
        s.group = s.segment_number >> s.group_shift;
        drain_bucket(s, s.near_mask + 1 + (s.group & s.far_mask), [&](std::uint64_t entry) {
            const std::uint64_t segment = (entry & 0xFFFFFFFFU) >> sieve::segment_bits;  // within the group
            push_entry(s, segment, entry);
        });
    }
    const std::uint64_t last = s.hi - s.lo;
    drain_bucket(s, s.segment_number & s.near_mask, [&](std::uint64_t entry) {
        const std::uint64_t q = entry >> 32;
        const std::uint64_t within = entry & (sieve::segment_width - 1);
        slots[within * sieve::max_struck + counts[within]++] = static_cast<std::uint32_t>(q);
        const std::uint64_t next = offset + within + q;
        if (next <= last) place_entry(s, q, next);
    });
    ++s.segment_number;
    return true;
}

int far_factors_of(const far_factor_sieve& s, std::uint64_t m, std::uint64_t* primes, std::int32_t* exponents) {
    std::uint32_t sieved[sieve::max_struck + 1];
    std::uint8_t powers[sieve::max_struck + 1];
    std::uint64_t cofactor = 1;
    const int n = far_sieved_factors(s, m, sieved, powers, cofactor);
    for (int f = 0; f < n; ++f) {
        primes[f] = sieved[f];
        exponents[f] = powers[f];
    }
    if (cofactor == 1) return n;
    primes[n] = cofactor;
    exponents[n] = 1;
    return n + 1;
}

factor_list64 far_factor_list_of(const far_factor_sieve& s, std::uint64_t m) {
    std::uint64_t primes[sieve::max_struck + 1];
    std::int32_t exponents[sieve::max_struck + 1];
    const int n = far_factors_of(s, m, primes, exponents);
    factor_list64 factors;
    for (int f = 0; f < n; ++f) factors.push_back({static_cast<std::int64_t>(primes[f]), exponents[f]});
    return factors;
}

}  // namespace erdos
