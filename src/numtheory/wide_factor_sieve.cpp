// Bucket sieve of the factorisations of consecutive m up to 2^61.
#include "numtheory/wide_factor_sieve.hpp"

#include <algorithm>
#include <bit>
#include <cmath>

#include "numtheory/int128.hpp"
#include "numtheory/prime_sieve.hpp"

namespace erdos {

namespace {

using sieve = wide_factor_sieve;

// The inverse of an odd q modulo 2^64: q is its own inverse modulo 8, and
// each Newton step doubles the bits that are right.
std::uint64_t inverse_mod_2_64(std::uint64_t q) {
    std::uint64_t x = q;
    for (int step = 0; step < 5; ++step) x *= 2 - q * x;
    return x;
}

std::uint64_t isqrt(std::uint64_t n) {
    auto r = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(n)));
    while (r * r > n) --r;
    while ((r + 1) * (r + 1) <= n) ++r;
    return r;
}

// Calls visit(q) for every prime q <= bound (< 2^32), ascending, sieving the
// odd numbers a block at a time with the primes up to the square root.
template <typename Visit>
void for_each_prime_up_to(std::uint64_t bound, Visit visit) {
    if (bound < 2) return;
    visit(std::uint64_t{2});
    const std::vector<std::int32_t> base = sieve_primes(static_cast<std::int32_t>(isqrt(bound)));
    constexpr std::uint64_t block = std::uint64_t{1} << 18;  // odd numbers per block
    std::vector<std::uint8_t> composite(block);
    std::vector<std::uint64_t> next;  // per odd base prime: the index of its next odd multiple
    for (const std::int32_t q : base) {
        if (q > 2) next.push_back((static_cast<std::uint64_t>(q) * q - 1) / 2);
    }
    // Block b covers the odd numbers 2i + 1 for i in [b * block, (b + 1) * block).
    const std::uint64_t last_index = (bound - 1) / 2;
    for (std::uint64_t start = 0; start <= last_index; start += block) {
        const std::uint64_t end = std::min(start + block, last_index + 1);
        std::fill(composite.begin(), composite.begin() + static_cast<std::ptrdiff_t>(end - start), 0);
        for (std::size_t j = 0, b = 0; b < base.size(); ++b) {
            const auto q = static_cast<std::uint64_t>(base[b]);
            if (q == 2) continue;
            std::uint64_t i = next[j];
            for (; i < end; i += q) composite[i - start] = 1;
            next[j++] = i;
        }
        for (std::uint64_t i = std::max<std::uint64_t>(start, 1); i < end; ++i) {
            if (composite[i - start] == 0) visit(2 * i + 1);
        }
    }
}

// The first multiple of q at or above max(lo, 1).
std::uint64_t first_multiple(std::uint64_t q, std::uint64_t lo) {
    const std::uint64_t from = std::max<std::uint64_t>(lo, 1);
    return (from + q - 1) / q * q;
}

}  // namespace

wide_factor_sieve start_wide_factor_sieve(std::uint64_t lo, std::uint64_t hi) {
    sieve s;
    s.lo = lo;
    s.hi = hi;
    s.bound = static_cast<std::uint32_t>(isqrt(hi));
    s.buckets.resize(s.bound / sieve::segment_width + 3);
    const std::size_t ring = s.buckets.size();
    for_each_prime_up_to(s.bound, [&](std::uint64_t q) {
        const std::uint64_t first = first_multiple(q, lo);
        if (q < sieve::segment_width) {
            s.small_primes.push_back(static_cast<std::uint32_t>(q));
            s.small_inverse.push_back(q == 2 ? 1 : inverse_mod_2_64(q));
            s.small_next.push_back(first);
            return;
        }
        if (first > hi) return;  // no multiple in range
        const std::uint64_t at = first - lo;
        s.buckets[(at >> sieve::segment_bits) % ring].push_back(q << 32 | (at & (sieve::segment_width - 1)));
    });
    s.struck_count.resize(sieve::segment_width);
    s.struck.resize(sieve::segment_width * sieve::max_struck);
    return s;
}

bool sieve_next_wide_segment(wide_factor_sieve& s) {
    const std::uint64_t offset = s.segment_number << sieve::segment_bits;  // from lo
    if (offset > s.hi - s.lo) return false;
    const std::uint64_t seg_lo = s.lo + offset;
    const std::uint64_t count = std::min(sieve::segment_width, s.hi - seg_lo + 1);
    const std::uint64_t seg_end = seg_lo + count;
    s.segment_lo = seg_lo;
    s.segment_count = count;
    std::fill_n(s.struck_count.begin(), count, std::uint8_t{0});
    std::uint8_t* const counts = s.struck_count.data();
    std::uint32_t* const slots = s.struck.data();
    auto strike = [&](std::uint64_t i, std::uint32_t what) {
        slots[i * sieve::max_struck + counts[i]++] = what;
    };

    // The small primes first, in ascending order, so that their slots ascend.
    for (std::size_t k = 0; k < s.small_primes.size(); ++k) {
        const std::uint64_t q = s.small_primes[k];
        std::uint64_t j = s.small_next[k];
        for (; j < seg_end; j += q) strike(j - seg_lo, sieve::small_flag | static_cast<std::uint32_t>(k));
        s.small_next[k] = j;
    }
    // Then the bucket of this segment: each prime strikes once and moves on
    // to the bucket of its next multiple, if that is still in range.
    const std::size_t ring = s.buckets.size();
    std::vector<std::uint64_t>& bucket = s.buckets[s.segment_number % ring];
    const std::uint64_t last = s.hi - s.lo;
    for (const std::uint64_t entry : bucket) {
        const std::uint64_t q = entry >> 32;
        const std::uint64_t within = entry & 0xFFFFFFFFU;
        strike(within, static_cast<std::uint32_t>(q));
        const std::uint64_t next = offset + within + q;
        if (next > last) continue;
        s.buckets[(next >> sieve::segment_bits) % ring].push_back(q << 32 | (next & (sieve::segment_width - 1)));
    }
    bucket.clear();
    ++s.segment_number;
    return true;
}

int wide_factors_of(const wide_factor_sieve& s, std::uint64_t m, std::uint64_t* primes, std::int32_t* exponents) {
    if (m <= 1) return 0;
    const std::uint64_t i = m - s.segment_lo;
    const int n = s.struck_count[i];
    const std::uint32_t* slot = s.struck.data() + i * sieve::max_struck;
    // The small primes come first and ascend; the bucket primes, all larger,
    // arrive in the order of their buckets and are sorted here (rarely more
    // than one).
    std::uint64_t value[sieve::max_struck];
    std::uint64_t inverse[sieve::max_struck];
    int small = 0;
    for (int f = 0; f < n; ++f) {
        const std::uint32_t what = slot[f];
        if (what & sieve::small_flag) {
            const std::uint32_t k = what & ~sieve::small_flag;
            value[f] = s.small_primes[k];
            inverse[f] = s.small_inverse[k];
            ++small;
        } else {
            value[f] = what;
            inverse[f] = inverse_mod_2_64(what);
            for (int g = f; g > small && value[g - 1] > value[g]; --g) {
                std::swap(value[g - 1], value[g]);
                std::swap(inverse[g - 1], inverse[g]);
            }
        }
    }
    // Divide each prime out exactly, by its inverse modulo 2^64: r * q^-1 is
    // r / q when q divides r, and q divides r exactly when that product times
    // q does not overflow. What remains is 1 or one prime above the bound.
    std::uint64_t rest = m;
    for (int f = 0; f < n; ++f) {
        const std::uint64_t q = value[f];
        std::int32_t e = 0;
        if (q == 2) {
            e = std::countr_zero(rest);
            rest >>= e;
        } else {
            while (true) {
                const std::uint64_t quotient = rest * inverse[f];
                if ((static_cast<uint128>(quotient) * q) >> 64 != 0) break;
                rest = quotient;
                ++e;
            }
        }
        primes[f] = q;
        exponents[f] = e;
    }
    if (rest > 1) {
        primes[n] = rest;
        exponents[n] = 1;
        return n + 1;
    }
    return n;
}

wide_factor_list wide_factor_list_of(const wide_factor_sieve& s, std::uint64_t m) {
    std::uint64_t primes[sieve::max_struck + 1];
    std::int32_t exponents[sieve::max_struck + 1];
    const int n = wide_factors_of(s, m, primes, exponents);
    wide_factor_list factors;
    for (int f = 0; f < n; ++f) factors.push_back({primes[f], exponents[f]});
    return factors;
}

}  // namespace erdos
