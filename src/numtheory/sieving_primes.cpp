// The list of sieving primes, each thread sieving a part of the range.
#include "numtheory/sieving_primes.hpp"

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "numtheory/prime_range.hpp"
#include "run_in_parts.hpp"

namespace erdos {

namespace {

// The primes of [lo, hi) (lo odd) into part, from the base lo - 2.
void fill_part(sieving_primes::part& part, std::uint64_t lo, std::uint64_t hi) {
    part.base = lo - 2;
    if (lo >= hi) return;
    // Room for about as many bytes as the part has primes, at once: a list
    // grown by doubling copies itself and touches twice its pages. From
    // pi(x) <= x / (ln x - 1.1) (x >= 60184), and about as many in [lo, hi)
    // beyond that.
    const double from = static_cast<double>(lo < 60184 ? 60184 : lo);
    const double width = static_cast<double>(lo < 60184 ? std::max<std::uint64_t>(hi, 60184) : hi - lo);
    part.half_gaps.reserve(static_cast<std::size_t>(width / (std::log(lo < 60184 ? width : from) - 1.1)));
    std::uint64_t last = part.base;
    for_each_prime_in(static_cast<std::int64_t>(lo), static_cast<std::int64_t>(hi), [&](std::uint64_t q) {
        part.half_gaps.push_back(static_cast<std::uint8_t>((q - last) / 2));
        last = q;
    });
}

// Decodes gaps from cursor.gap on, while the block has room and the part
// has gaps: each prime is the one before plus twice its gap. Sets `past`
// at the first prime above hi.
void fill_plain(const sieving_primes::part& part, sieving_cursor& cursor, std::uint64_t lo, std::uint64_t hi,
                std::uint32_t* block, std::size_t& filled, bool& past) {
    const std::uint8_t* const gaps = part.half_gaps.data();
    const std::size_t size = part.half_gaps.size();
    std::uint64_t q = cursor.q;
    std::size_t g = cursor.gap;
    while (filled < sieving_block_primes && g < size) {
        q += 2 * std::uint64_t{gaps[g++]};
        if (q > hi) {
            past = true;
            break;
        }
        if (q >= lo) block[filled++] = static_cast<std::uint32_t>(q);
    }
    cursor.q = q;
    cursor.gap = g;
}

// The same sixteen gaps at a time, while sixteen more fit the block: the
// gaps doubled and summed along the lanes (in four shifts by 1, 2, 4 and 8
// lanes), plus the prime before them; those in [lo, hi] packed to the
// front and stored whole. Every listed prime lies below 2^32, and so does
// every lane. (The masked forms, with every lane, because GCC 12 takes the
// unmasked ones' undefined sources for uninitialised values.)
__attribute__((target("avx512f"))) void fill_avx512(const sieving_primes::part& part, sieving_cursor& cursor,
                                                    std::uint64_t lo, std::uint64_t hi, std::uint32_t* block,
                                                    std::size_t& filled, bool& past) {
    constexpr std::uint64_t top = std::numeric_limits<std::uint32_t>::max();
    constexpr __mmask16 every_lane = 0xFFFF;
    const std::uint8_t* const gaps = part.half_gaps.data();
    const std::size_t size = part.half_gaps.size();
    const __m512i low = _mm512_set1_epi32(static_cast<int>(static_cast<std::uint32_t>(std::min(lo, top))));
    const __m512i high = _mm512_set1_epi32(static_cast<int>(static_cast<std::uint32_t>(std::min(hi, top))));
    const __m512i zero = _mm512_setzero_si512();
    const __m512i last_lane = _mm512_set1_epi32(15);
    __m512i before = _mm512_set1_epi32(static_cast<int>(static_cast<std::uint32_t>(cursor.q)));
    std::size_t g = cursor.gap;
    while (filled + 16 <= sieving_block_primes && g + 16 <= size) {
        __m512i sum = _mm512_maskz_cvtepu8_epi32(every_lane, _mm_loadu_si128(reinterpret_cast<const __m128i*>(gaps + g)));
        sum = _mm512_add_epi32(sum, sum);
        sum = _mm512_add_epi32(sum, _mm512_maskz_alignr_epi32(every_lane, sum, zero, 15));
        sum = _mm512_add_epi32(sum, _mm512_maskz_alignr_epi32(every_lane, sum, zero, 14));
        sum = _mm512_add_epi32(sum, _mm512_maskz_alignr_epi32(every_lane, sum, zero, 12));
        sum = _mm512_add_epi32(sum, _mm512_maskz_alignr_epi32(every_lane, sum, zero, 8));
        const __m512i primes = _mm512_add_epi32(sum, before);
        const __mmask16 inside = _mm512_cmpge_epu32_mask(primes, low) & _mm512_cmple_epu32_mask(primes, high);
        _mm512_storeu_si512(block + filled, _mm512_maskz_compress_epi32(inside, primes));
        filled += static_cast<std::size_t>(__builtin_popcount(inside));
        before = _mm512_maskz_permutexvar_epi32(every_lane, last_lane, primes);
        g += 16;
        if (_mm512_cmpgt_epu32_mask(primes, high) != 0) {
            past = true;
            break;
        }
    }
    alignas(64) std::uint32_t lanes[16];
    _mm512_store_si512(lanes, before);
    cursor.q = lanes[0];
    cursor.gap = g;
}

}  // namespace

sieving_primes list_sieving_primes(std::uint64_t bound, unsigned threads) {
    if (bound >= (std::uint64_t{1} << 32)) throw std::invalid_argument("list_sieving_primes: bound beyond 2^32");
    sieving_primes list;
    list.bound = bound;
    if (bound < 3) return list;
    // Parts of equal width, each starting at an odd number: its base is the
    // odd number two below, and the first prime lies within the largest gap
    // of it.
    const unsigned parts = std::max(1U, std::min<unsigned>(threads, static_cast<unsigned>(bound / 65536 + 1)));
    const std::uint64_t width = ((bound - 2) / parts + 2) | 1;  // odd, so every start stays odd
    list.parts.resize(parts);
    run_in_parts(parts, [&](unsigned t) {
        const std::uint64_t lo = 3 + t * (width + 1);
        fill_part(list.parts[t], lo, std::min(bound + 1, lo + width + 1));
    });
    return list;
}

std::size_t next_sieving_block(const sieving_primes& list, sieving_cursor& cursor, std::uint64_t lo, std::uint64_t hi,
                               std::uint32_t* block, vector_way way) {
    std::size_t filled = 0;
    while (cursor.part < list.parts.size() && filled < sieving_block_primes) {
        const sieving_primes::part& part = list.parts[cursor.part];
        if (cursor.gap == 0) cursor.q = part.base;
        bool past = false;
        if (way == vector_way::avx512) fill_avx512(part, cursor, lo, hi, block, filled, past);
        if (!past) fill_plain(part, cursor, lo, hi, block, filled, past);
        if (past) {
            cursor.part = list.parts.size();
        } else if (cursor.gap == part.half_gaps.size()) {
            ++cursor.part;
            cursor.gap = 0;
        }
    }
    return filled;
}

}  // namespace erdos
