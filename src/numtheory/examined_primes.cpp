// The segmented sieve of the numbers 24k + 1, with buckets for its large sieving primes.
#include "numtheory/examined_primes.hpp"

#include <algorithm>
#include <cmath>
#include <bit>
#include <cstring>
#include <stdexcept>

#include "numtheory/block_hits.hpp"
#include "numtheory/fast_remainder.hpp"
#include "numtheory/prime_range.hpp"
#include "numtheory/prime_sieve.hpp"
#include "stop_request.hpp"

namespace erdos {

// No n = 24k + 1 is divisible by 2 or 3. A prime q >= 5 has q^2 = 1 (mod 24),
// so q divides 24k + 1 exactly when k = (q^2 - 1) / 24 (mod q): the composites
// whose least factor is q are struck from k0 = (q^2 - 1) / 24 (n = q^2) on,
// every q-th k. Starting at q^2 also spares q itself when q is examined.

namespace {

// Flags per segment (k values): a segment stays in the first-level cache.
constexpr std::int64_t segment_length = std::int64_t{1} << 15;
// Segments per stretch: the buckets hold the hits of one stretch of k at a
// time, which bounds their memory; each stretch hands every large sieving
// prime to the buckets afresh.
constexpr std::int64_t stretch_segments = 2048;
constexpr std::int64_t stretch_length = segment_length * stretch_segments;
constexpr std::size_t block_hits = 1024;

constexpr std::int64_t p_limit = std::int64_t{1} << 62;

// The hits of 5, 7, 11, 13 and 17 recur with a period of 85085 in k: a
// segment starts as a copy of this pattern, and the primes from 19 on strike
// one by one. For k >= 1 none of these hits lies below its k0 (k0 < q), and
// none of these primes is examined, so the pattern strikes composites only.
constexpr std::int64_t pattern_period = 5 * 7 * 11 * 13 * 17;
constexpr std::int64_t first_striking_prime = 19;

const std::vector<std::uint8_t>& presieved_pattern() {
    static const std::vector<std::uint8_t> pattern = [] {
        std::vector<std::uint8_t> p(static_cast<std::size_t>(pattern_period + segment_length), 1);
        for (const std::int64_t q : {5, 7, 11, 13, 17}) {
            for (auto k = static_cast<std::size_t>((q * q - 1) / 24 % q); k < p.size(); k += static_cast<std::size_t>(q)) p[k] = 0;
        }
        return p;
    }();
    return pattern;
}

// The largest r with r * r <= n.
std::int64_t isqrt(std::int64_t n) {
    std::uint64_t r = 0;
    for (std::uint64_t bit = std::uint64_t{1} << 31; bit != 0; bit >>= 1) {
        const std::uint64_t t = r | bit;
        if (t * t <= static_cast<std::uint64_t>(n)) r = t;
    }
    return static_cast<std::int64_t>(r);
}

// The first k >= from that q strikes.
std::int64_t first_hit(std::int64_t q, std::int64_t from) {
    const std::int64_t k0 = (q * q - 1) / 24;
    if (k0 >= from) return k0;
    const auto gap = static_cast<std::uint64_t>(from - k0);  // below 2^62
    const auto uq = static_cast<std::uint64_t>(q);
    const auto behind = static_cast<std::int64_t>(remainder_estimate_fits(uq) ? remainder_by_estimate(gap, uq) : gap % uq);
    return behind == 0 ? from : from + (q - behind);
}

void add_hit(examined_sieve& sieve, std::uint32_t prime, std::int64_t from_stretch) {
    const auto b = static_cast<std::size_t>(from_stretch / segment_length);
    std::vector<std::uint32_t>& bucket = sieve.buckets[b];
    if (bucket.empty() || sieve.blocks[bucket.back()].size() == block_hits) {
        if (sieve.free_blocks.empty()) {
            sieve.free_blocks.push_back(static_cast<std::uint32_t>(sieve.blocks.size()));
            sieve.blocks.emplace_back().reserve(block_hits);
        }
        bucket.push_back(sieve.free_blocks.back());
        sieve.free_blocks.pop_back();
    }
    sieve.blocks[bucket.back()].push_back({prime, static_cast<std::uint32_t>(from_stretch % segment_length)});
}

// Hands every large sieving prime with a hit in the stretch from segment_lo
// on to the bucket of its first hit. Only primes up to the square root of the
// stretch's last candidate can strike it.
void start_stretch(examined_sieve& sieve) {
    sieve.chunk_lo = sieve.segment_lo;
    sieve.chunk_end = std::min(sieve.k_end, sieve.chunk_lo + stretch_length);
    const std::int64_t top = std::min(sieve.root, isqrt(24 * (sieve.chunk_end - 1) + 1));
    if (top < segment_length) return;
    // A block at a time: far out, where every prime of a block has its k0
    // before the stretch, its first hits are found for the whole block at
    // once.
    const std::int64_t from = sieve.chunk_lo;
    const std::int64_t length = sieve.chunk_end - from;
    const auto place = [&](const std::uint32_t* primes, std::size_t count) {
        std::uint32_t hit_primes[sieving_block_primes];
        std::uint32_t hit_offsets[sieving_block_primes];
        while (count > 0) {
            const std::size_t n = std::min(count, sieving_block_primes);
            const std::uint64_t largest = primes[n - 1];
            if (largest * largest <= 24 * static_cast<std::uint64_t>(from)) {
                const std::size_t hits = first_examined_hits(from, length, primes, n, hit_primes, hit_offsets);
                for (std::size_t h = 0; h < hits; ++h) add_hit(sieve, hit_primes[h], hit_offsets[h]);
            } else {
                for (std::size_t k = 0; k < n; ++k) {
                    const std::int64_t hit = first_hit(primes[k], from);
                    if (hit < sieve.chunk_end) add_hit(sieve, primes[k], hit - from);
                }
            }
            primes += n;
            count -= n;
        }
    };
    if (sieve.listed != nullptr && sieve.listed->bound >= static_cast<std::uint64_t>(top)) {
        for_each_sieving_block(*sieve.listed, segment_length, static_cast<std::uint64_t>(top), place);
        return;
    }
    for_each_prime_block_in(segment_length, top + 1, place);
}

// Sieves the next segment into sieve.ready; false when none is left.
bool sieve_segment(examined_sieve& sieve) {
    if (sieve.segment_lo >= sieve.k_end) return false;
    if (sieve.segment_lo == sieve.chunk_end) start_stretch(sieve);
    const std::int64_t lo = sieve.segment_lo;
    const auto length = static_cast<std::size_t>(std::min(segment_length, sieve.chunk_end - lo));
    sieve.flags.resize(static_cast<std::size_t>(segment_length) + 8);
    std::uint8_t* const flags = sieve.flags.data();
    std::memcpy(flags, presieved_pattern().data() + lo % pattern_period, length);
    std::memset(flags + length, 0, sieve.flags.size() - length);

    for (std::size_t s = 0; s < sieve.small_primes.size(); ++s) {
        const std::int64_t q = sieve.small_primes[s];
        std::int64_t j = sieve.small_next[s] - lo;
        for (; j < static_cast<std::int64_t>(length); j += q) flags[j] = 0;
        sieve.small_next[s] = lo + j;
    }

    // The bucket of this segment: each hit strikes, and its prime moves on
    // to the bucket of its next hit (at least a segment further) if the
    // stretch has one.
    const std::int64_t from_stretch = lo - sieve.chunk_lo;
    const std::int64_t stretch = sieve.chunk_end - sieve.chunk_lo;
    std::vector<std::uint32_t>& bucket = sieve.buckets[static_cast<std::size_t>(from_stretch / segment_length)];
    for (const std::uint32_t b : bucket) {
        // Blocks only ever hold block_hits hits: adding to later buckets
        // cannot move this one's storage.
        const examined_sieve::hit* const hits = sieve.blocks[b].data();
        const std::size_t count = sieve.blocks[b].size();
        for (std::size_t h = 0; h < count; ++h) {
            flags[hits[h].offset] = 0;
            const std::int64_t next = from_stretch + hits[h].offset + hits[h].prime;
            if (next < stretch) add_hit(sieve, hits[h].prime, next);
        }
        sieve.blocks[b].clear();
        sieve.free_blocks.push_back(b);
    }
    bucket.clear();

    sieve.ready.clear();
    sieve.taken = 0;
    for (std::size_t w = 0; w < length; w += 8) {
        std::uint64_t word;
        std::memcpy(&word, flags + w, 8);
        while (word != 0) {
            const auto at = static_cast<std::int64_t>(w) + std::countr_zero(word) / 8;
            sieve.ready.push_back(24 * (lo + at) + 1);
            word &= word - 1;
        }
    }
    sieve.segment_lo = lo + static_cast<std::int64_t>(length);
    return true;
}

}  // namespace

examined_sieve start_examined_sieve(std::int64_t p_min, std::int64_t p_max, const sieving_primes* listed) {
    if (p_min < 0 || p_max > p_limit) throw std::invalid_argument("start_examined_sieve: need 0 <= p_min and p_max <= 2^62");
    examined_sieve sieve;
    sieve.listed = listed;
    // k from the least with 24k + 1 >= max(p_min, 2) to the last with 24k + 1 <= p_max.
    const std::int64_t k_begin = p_min <= 1 ? 1 : (p_min - 1 + 23) / 24;
    const std::int64_t k_end = p_max < 1 ? 0 : (p_max - 1) / 24 + 1;
    if (p_min > p_max || k_begin >= k_end) return sieve;
    sieve.k_end = k_end;
    sieve.segment_lo = k_begin;
    sieve.chunk_lo = k_begin;
    sieve.chunk_end = k_begin;
    sieve.root = isqrt(24 * (k_end - 1) + 1);
    sieve.buckets.resize(static_cast<std::size_t>(stretch_segments));
    const auto small_top = static_cast<std::int32_t>(std::min(sieve.root, segment_length - 1));
    for (const std::int32_t q : sieve_primes(small_top)) {
        if (q < first_striking_prime) continue;
        sieve.small_primes.push_back(static_cast<std::uint32_t>(q));
        sieve.small_next.push_back(first_hit(q, k_begin));
    }
    return sieve;
}

bool next_examined_primes(examined_sieve& sieve, std::vector<std::int64_t>& out, std::size_t max_count) {
    std::size_t wanted = max_count;
    while (wanted > 0) {
        if (sieve.taken == sieve.ready.size() && !sieve_segment(sieve)) break;
        const std::size_t n = std::min(wanted, sieve.ready.size() - sieve.taken);
        const auto first = sieve.ready.begin() + static_cast<std::ptrdiff_t>(sieve.taken);
        out.insert(out.end(), first, first + static_cast<std::ptrdiff_t>(n));
        sieve.taken += n;
        wanted -= n;
    }
    return wanted < max_count;
}

std::vector<std::int32_t> sieve_examined_primes(std::int32_t p_max) {
    std::vector<std::int32_t> examined;
    if (p_max < 73) return examined;
    examined_sieve sieve = start_examined_sieve(0, p_max);
    std::vector<std::int64_t> batch;
    while (next_examined_primes(sieve, batch, 1 << 16)) {
        stop_if_requested();
        for (const std::int64_t p : batch) examined.push_back(static_cast<std::int32_t>(p));
        batch.clear();
    }
    return examined;
}

double expected_examined_primes(std::int64_t p_min, std::int64_t p_max) {
    if (p_max < 73 || p_min > p_max) return 0.0;
    const double lo = std::max<double>(static_cast<double>(p_min), 73.0);
    const double hi = static_cast<double>(p_max);
    // The integral of 1/ln t over [lo, hi] (Simpson's rule in u = ln t, where
    // the integrand e^u / u is smooth) approximates the number of primes
    // there, and an eighth of them lie in the class 1 mod 24.
    constexpr int steps = 512;
    const double a = std::log(lo);
    const double b = std::log(hi);
    const double h = (b - a) / steps;
    double sum = 0.0;
    for (int i = 0; i <= steps; ++i) {
        const double u = a + h * i;
        const double weight = (i == 0 || i == steps) ? 1.0 : (i % 2 == 1 ? 4.0 : 2.0);
        sum += weight * std::exp(u) / u;
    }
    const double integral = h > 0.0 ? sum * h / 3.0 : 0.0;
    return integral / 8.0;
}

std::int64_t estimate_examined_primes(std::int64_t p_min, std::int64_t p_max) {
    if (p_max < 73 || p_min > p_max) return 0;
    const double lo = std::max<double>(static_cast<double>(p_min), 73.0);
    const double hi = static_cast<double>(p_max);
    // A 2% margin and a thousand more cover the deviations of the intervals
    // that matter.
    const double estimate = 1.02 * expected_examined_primes(p_min, p_max) + 1000.0;
    const double candidates = (hi - lo) / 24.0 + 1.0;
    return static_cast<std::int64_t>(std::min(estimate, candidates));
}

}  // namespace erdos
