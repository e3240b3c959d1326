// Factorisations of consecutive m up to 2^61, sieved one segment at a time with a bucket sieve.
#pragma once

#include <bit>
#include <cstdint>
#include <memory>
#include <vector>

#include "numtheory/factor_list.hpp"
#include "numtheory/sieving_primes.hpp"

#include "tuning.hpp"

namespace erdos {

// The sieve walks the integers m of [lo, hi] upward, a segment of
// segment_width at a time, striking each with the odd primes up to isqrt(hi)
// that divide it (the twos are read off m itself). Odd primes below the
// segment width are stepped through every segment, and so are their powers
// up to hi, which raise the exponent of the slot the prime has just struck.
// The larger primes, which hit a segment at most once, wait in buckets for
// the segment of their next multiple, so that a segment costs in
// proportion to its width and not to the number of sieving primes; their
// exponents are found when m is read. A prime whose next multiple lies beyond
// hi leaves the sieve for good.
struct far_factor_sieve {
    static constexpr std::uint64_t segment_bits = tuning::far_segment_bits;
    static constexpr std::uint64_t segment_width = std::uint64_t{1} << segment_bits;
    // No m < 2^61 has sixteen distinct primes (2*3*5*...*53 > 2^61); 2 is not struck.
    static constexpr int max_struck = 14;
    // A struck slot with this bit holds a small prime: its exponent in bits
    // 16 .. 23 and the prime itself below them (below a segment width of at
    // most 2^16). Without it, the value of a bucket prime (every sieving
    // prime is below 2^31).
    static constexpr std::uint32_t small_flag = 0x80000000U;
    static constexpr std::uint32_t exponent_unit = 1U << 16;
    static_assert(segment_bits <= 16, "a small prime fits 16 bits");

    std::uint64_t lo = 0;
    std::uint64_t hi = 0;
    std::uint32_t bound = 0;  // every prime <= bound sieves

    std::vector<std::uint32_t> small_primes;  // odd, below segment_width, ascending
    std::vector<std::uint64_t> small_next;    // next multiple to strike, as m
    // The powers q^2, q^3, ... <= hi of small prime k at [power_begin[k], power_begin[k + 1]).
    std::vector<std::uint32_t> power_begin;
    std::vector<std::uint64_t> power_value;
    std::vector<std::uint64_t> power_next;

    // The primes waiting for a later segment, as prime << 32 | their next
    // multiple's offset in its group of 2^group_bits segments, in buckets in
    // two levels. The near buckets hold those whose next multiple lies in
    // the current group, bucket k & near_mask the segment k; the far bins
    // those of later groups, bin g & far_mask the group g, which are dealt
    // into the near buckets when their group comes. A strike thus stores
    // into one of a few hundred open blocks rather than one of tens of
    // thousands far out, where one per segment of a prime's reach would
    // miss the cache; with few segments in that reach or in the range
    // (ring_limit) there is one level, of near buckets alone. A bucket is a
    // chain of blocks from one pool: slot 0 of a block names the block
    // before it in the chain (or none), the other slots hold entries. A
    // sieved bucket gives its blocks back, so that the pool holds about the
    // primes in flight, not every bucket's largest fill at once.
    static constexpr std::uint32_t block_entries = tuning::far_bucket_block_entries;
    static constexpr std::uint32_t no_block = 0xFFFFFFFFU;
    static constexpr std::uint64_t group_bits = tuning::far_group_bits;
    static constexpr std::uint64_t ring_limit = tuning::far_one_level_segments;
    static_assert(segment_bits + group_bits <= 32, "an offset in its group fits an entry's low half");
    std::uint64_t near_mask = 0;
    std::uint64_t far_mask = 0;
    std::uint64_t group_shift = 0;  // of a segment's number, for its group: 63 with one level
    std::uint64_t group = 0;        // the current group
    std::vector<std::uint32_t> bucket_block;  // per bucket, near then far: the block being filled, or no_block
    std::vector<std::uint32_t> bucket_fill;   // per bucket: its slots in use (block_entries: full)
    std::vector<std::unique_ptr<std::uint64_t[]>> blocks;
    std::vector<std::uint32_t> free_blocks;

    // The segment sieved last: m in [segment_lo, segment_lo + segment_count).
    std::uint64_t segment_number = 0;  // of the next segment to sieve
    std::uint64_t segment_lo = 0;
    std::uint64_t segment_count = 0;
    std::vector<std::uint8_t> struck_count;  // per m
    std::vector<std::uint32_t> struck;       // per m, max_struck slots
};

// Prepares the sieve of [lo, hi], 0 <= lo <= hi < 2^61. Finding where each
// sieving prime starts costs one remainder per prime up to isqrt(hi). With
// `listed`, the sieving primes come from that list where it reaches
// isqrt(hi), instead of being sieved afresh.
far_factor_sieve start_far_factor_sieve(std::uint64_t lo, std::uint64_t hi, const sieving_primes* listed = nullptr);

// Sieves the next segment; false when the range is exhausted.
bool sieve_next_far_segment(far_factor_sieve& sieve);

// m's factorisation (m in the segment sieved last), compactly: its prime
// powers below the bound, ascending, into primes and exponents (at most
// max_struck + 1 of them, 2 included), and the one prime above the bound
// that may remain, or 1, into cofactor. Returns the number of powers below
// the bound; m <= 1 has none and cofactor 1. Inline: the feed reads every
// m it needs through it, and a call per m cost about a sixth of its work.
inline int far_sieved_factors(const far_factor_sieve& s, std::uint64_t m, std::uint32_t* primes, std::uint8_t* exponents,
                        std::uint64_t& cofactor) {
    cofactor = 1;
    if (m <= 1) return 0;
    int n = 0;
    // The product of the powers found so far: below m, so it never overflows.
    std::uint64_t product = 1;
    if (const int twos = std::countr_zero(m); twos > 0) {
        primes[n] = 2;
        exponents[n++] = static_cast<std::uint8_t>(twos);
        product <<= twos;
    }
    const std::uint64_t i = m - s.segment_lo;
    const int struck = s.struck_count[i];
    const std::uint32_t* slot = s.struck.data() + i * far_factor_sieve::max_struck;
    // The small primes come first and ascend; the bucket primes, all larger,
    // arrive in the order of their buckets and are sorted here (rarely more
    // than one). A bucket prime is counted once here: its higher powers are
    // found below.
    for (int f = 0; f < struck; ++f) {
        const std::uint32_t what = slot[f];
        if (what & far_factor_sieve::small_flag) {
            const std::uint32_t q = what & 0xFFFFU;
            const auto e = static_cast<std::uint8_t>((what >> 16) & 0xFFU);
            product *= q;
            for (int k = 1; k < e; ++k) product *= q;
            primes[n] = q;
            exponents[n++] = e;
        } else {
            product *= what;
            int g = n++;
            for (; g > 0 && primes[g - 1] > what; --g) {
                primes[g] = primes[g - 1];
                exponents[g] = exponents[g - 1];
            }
            primes[g] = what;
            exponents[g] = 1;
        }
    }
    if (product == m) return n;
    // What the struck primes leave is 1, more powers of the bucket primes
    // (each at least the segment width, so that their squares are rare), and at most one prime
    // above the bound.
    std::uint64_t rest = m / product;
    for (int f = n - 1; f >= 0 && rest > 1 && primes[f] >= far_factor_sieve::segment_width; --f) {
        const std::uint64_t q = primes[f];
        while (rest % q == 0) {
            rest /= q;
            ++exponents[f];
        }
    }
    cofactor = rest;
    return n;
}


// All prime powers of m, ascending, the prime above the bound (if any) last
// with exponent 1. Returns the number written, at most max_struck + 2.
int far_factors_of(const far_factor_sieve& sieve, std::uint64_t m, std::uint64_t* primes, std::int32_t* exponents);

// The same as a list.
factor_list64 far_factor_list_of(const far_factor_sieve& sieve, std::uint64_t m);

}  // namespace erdos
