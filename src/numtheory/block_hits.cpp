// The first hits of a block of sieving primes: a prime at a time, four at a time with AVX2, or eight with AVX-512.
#include "numtheory/block_hits.hpp"

#include <immintrin.h>

#include "numtheory/fast_remainder.hpp"

namespace erdos {

// A prime q >= 5 divides 24k + 1 exactly when k = k0 (mod q), where
// k0 = (q^2 - 1) / 24; since 24 * r = -1 (mod q) as well for
// r = (q * (q mod 24) - 1) / 24 (q^2 = 1 (mod 24) makes the division exact),
// k0 = r (mod q), with 0 <= r < q. The first hit at or after from is then
// from + ((r - from mod q) mod q).

namespace {

std::size_t first_examined_hits_plain(std::int64_t from, std::int64_t length, const std::uint32_t* primes,
                                      std::size_t count, std::uint32_t* hit_primes, std::uint32_t* hit_offsets) {
    std::size_t hits = 0;
    const auto f = static_cast<std::uint64_t>(from);
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint64_t q = primes[k];
        const auto residue = static_cast<std::int64_t>((q * (q % 24) - 1) / 24);
        std::int64_t ahead = residue - static_cast<std::int64_t>(remainder_by_estimate(f, q));
        ahead += ahead < 0 ? static_cast<std::int64_t>(q) : 0;
        hit_primes[hits] = primes[k];
        hit_offsets[hits] = static_cast<std::uint32_t>(ahead);
        hits += ahead < length ? 1 : 0;
    }
    return hits;
}

std::size_t first_multiples_plain(std::uint64_t lo, std::uint64_t span, const std::uint32_t* primes, std::size_t count,
                                  std::uint32_t* hit_primes, std::uint32_t* hit_offsets) {
    std::size_t hits = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint64_t behind = remainder_by_estimate(lo, primes[k]);
        const std::uint64_t ahead = behind == 0 ? 0 : primes[k] - behind;
        hit_primes[hits] = primes[k];
        hit_offsets[hits] = static_cast<std::uint32_t>(ahead);
        hits += ahead <= span ? 1 : 0;
    }
    return hits;
}

// Four lanes of 64-bit integers below 2^52 from doubles holding such
// integers, and back, by the bits of 2^52 + x.
__attribute__((target("avx2"))) inline __m256i exact_to_int(__m256d x) {
    const __m256d magic = _mm256_set1_pd(4503599627370496.0);
    return _mm256_sub_epi64(_mm256_castpd_si256(_mm256_add_pd(x, magic)), _mm256_castpd_si256(magic));
}

__attribute__((target("avx2"))) inline __m256d exact_to_double(__m256i x) {
    const __m256d magic = _mm256_set1_pd(4503599627370496.0);
    return _mm256_sub_pd(_mm256_castsi256_pd(_mm256_add_epi64(x, _mm256_castpd_si256(magic))), magic);
}

// The 64-bit product of lanes a (below 2^64) and b (below 2^32), modulo 2^64.
__attribute__((target("avx2"))) inline __m256i multiply_low(__m256i a, __m256i b) {
    const __m256i low = _mm256_mul_epu32(a, b);
    const __m256i high = _mm256_mul_epu32(_mm256_srli_epi64(a, 32), b);
    return _mm256_add_epi64(low, _mm256_slli_epi64(high, 32));
}

// Four primes (below 2^31) in 64-bit lanes, as integers and in double
// precision, and x less the multiple of each by x's quotient estimated in
// double precision (x given both ways): x mod q to within one q either way,
// by the bounds each caller states for its x.
struct four_lanes {
    __m256i q;
    __m256d q_d;
    __m256i r;
};

__attribute__((target("avx2"))) inline four_lanes less_estimated_multiple(__m128i q32, __m256d x_d, __m256i x_i) {
    const __m256i q = _mm256_cvtepu32_epi64(q32);
    const __m256d q_d = _mm256_cvtepi32_pd(q32);
    const __m256i t = exact_to_int(_mm256_floor_pd(_mm256_div_pd(x_d, q_d)));
    return {q, q_d, _mm256_sub_epi64(x_i, multiply_low(t, q))};
}

// The four primes from primes[0] whose lane of ahead lies below bound's,
// kept after the hits so far with their distances; returns the new count.
// Each lane is written and kept or not with no branch on it (the factor
// sieve's bucket primes far out hit a stretch four times in ten, a coin
// toss for a branch).
__attribute__((target("avx2"))) inline std::size_t keep_hits_below(__m256i bound, __m256i ahead,
                                                                   const std::uint32_t* primes,
                                                                   std::uint32_t* hit_primes,
                                                                   std::uint32_t* hit_offsets, std::size_t hits) {
    const auto mask = static_cast<unsigned>(_mm256_movemask_pd(_mm256_castsi256_pd(_mm256_cmpgt_epi64(bound, ahead))));
    alignas(32) std::int64_t lanes[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), ahead);
    for (unsigned lane = 0; lane < 4; ++lane) {
        hit_primes[hits] = primes[lane];
        hit_offsets[hits] = static_cast<std::uint32_t>(lanes[lane]);
        hits += (mask >> lane) & 1U;
    }
    return hits;
}

__attribute__((target("avx2"))) std::size_t first_examined_hits_avx2(std::int64_t from, std::int64_t length,
                                                                     const std::uint32_t* primes, std::size_t count,
                                                                     std::uint32_t* hit_primes,
                                                                     std::uint32_t* hit_offsets) {
    std::size_t hits = 0;
    std::size_t k = 0;
    const __m256d from_d = _mm256_set1_pd(static_cast<double>(from));
    const __m256i from_i = _mm256_set1_epi64x(from);
    const __m256i limit = _mm256_set1_epi64x(length);
    const __m256i zero = _mm256_setzero_si256();
    const __m256d one_24th = _mm256_set1_pd(1.0 / 24.0);
    const __m256i twenty_four = _mm256_set1_epi64x(24);
    for (; k + 4 <= count; k += 4) {
        // from less a multiple of q, by the quotient estimated in double
        // precision: from rounds by at most 2^4, which moves from / q by at
        // most 2^-7, and the division (of a quotient below 2^47) by at most
        // 2^-6 more, so r = from mod q, or from mod q - q where that
        // remainder exceeds 31q/32, or q + from mod q where it is below q/32.
        const auto [q, qd, r] =
            less_estimated_multiple(_mm_loadu_si128(reinterpret_cast<const __m128i*>(primes + k)), from_d, from_i);
        // q mod 24 from q / 24, whose fraction lies between 1/24 and 23/24;
        // then r = (q (q mod 24) - 1) / 24, an integer below 2^32, rounded
        // to the nearest from its quotient in double precision.
        const __m256i a = exact_to_int(_mm256_floor_pd(_mm256_mul_pd(qd, one_24th)));
        const __m256i j = _mm256_sub_epi64(q, _mm256_mul_epu32(a, twenty_four));
        const __m256i qj = _mm256_sub_epi64(_mm256_mul_epu32(q, j), _mm256_set1_epi64x(1));
        const __m256i residue = exact_to_int(
            _mm256_round_pd(_mm256_mul_pd(exact_to_double(qj), one_24th), _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC));
        // The residue lies between (q - 1) / 24 and (23q - 1) / 24, so
        // residue - r lies above -q and below q, and one correction gives
        // the distance to the first hit.
        __m256i ahead = _mm256_sub_epi64(residue, r);
        ahead = _mm256_add_epi64(ahead, _mm256_and_si256(_mm256_cmpgt_epi64(zero, ahead), q));
        hits = keep_hits_below(limit, ahead, primes + k, hit_primes, hit_offsets, hits);
    }
    return hits + first_examined_hits_plain(from, length, primes + k, count - k, hit_primes + hits, hit_offsets + hits);
}

__attribute__((target("avx2"))) std::size_t first_multiples_avx2(std::uint64_t lo, std::uint64_t span,
                                                                 const std::uint32_t* primes, std::size_t count,
                                                                 std::uint32_t* hit_primes,
                                                                 std::uint32_t* hit_offsets) {
    std::size_t hits = 0;
    std::size_t k = 0;
    const __m256d lo_d = _mm256_set1_pd(static_cast<double>(lo));
    const __m256i lo_i = _mm256_set1_epi64x(static_cast<std::int64_t>(lo));
    const __m256i past = _mm256_set1_epi64x(static_cast<std::int64_t>(span) + 1);
    const __m256i zero = _mm256_setzero_si256();
    for (; k + 4 <= count; k += 4) {
        // lo mod q by the quotient estimated in double precision: lo rounds
        // by at most 2^8, which moves lo / q by at most 1/8, and the
        // division (of a quotient below 2^50) by at most 1/8 more, so the
        // estimate is off by at most one and one correction either way
        // gives the remainder.
        const four_lanes x =
            less_estimated_multiple(_mm_loadu_si128(reinterpret_cast<const __m128i*>(primes + k)), lo_d, lo_i);
        const __m256i q = x.q;
        __m256i r = x.r;
        r = _mm256_add_epi64(r, _mm256_and_si256(_mm256_cmpgt_epi64(zero, r), q));
        r = _mm256_sub_epi64(r, _mm256_andnot_si256(_mm256_cmpgt_epi64(q, r), q));
        // The distance to the next multiple: q - r, or 0 where r is 0.
        const __m256i ahead = _mm256_andnot_si256(_mm256_cmpeq_epi64(r, zero), _mm256_sub_epi64(q, r));
        hits = keep_hits_below(past, ahead, primes + k, hit_primes, hit_offsets, hits);
    }
    return hits + first_multiples_plain(lo, span, primes + k, count - k, hit_primes + hits, hit_offsets + hits);
}

// The same arithmetic as the four-lane loop, eight lanes at a time: the
// quotients estimated in double precision are positive, so truncation
// gives their floor, and the same bounds hold. The kept lanes are packed
// to the front of a vector and stored whole, over slots up to the block's
// last prime's.
#define ERDOS_AVX512 __attribute__((target("avx512f,avx512dq,avx512vl")))

// Every lane, for the masked forms of the conversions and products: GCC 12
// takes the unmasked ones' undefined sources for uninitialised values.
constexpr __mmask8 every_lane = 0xFF;

// Eight primes in 64-bit lanes, as integers and in double precision, and x
// less the multiple of each by x's quotient estimated in double precision,
// as less_estimated_multiple does for four.
struct eight_lanes {
    __m512i q;
    __m512d q_d;
    __m512i r;
};

ERDOS_AVX512 inline eight_lanes less_estimated_multiples(__m256i q32, __m512d x_d, __m512i x_i) {
    const __m512i q = _mm512_maskz_cvtepu32_epi64(every_lane, q32);
    const __m512d q_d = _mm512_maskz_cvtepi32_pd(every_lane, q32);
    const __m512i t = _mm512_cvttpd_epi64(_mm512_div_pd(x_d, q_d));
    return {q, q_d, _mm512_sub_epi64(x_i, _mm512_mullo_epi64(t, q))};
}

// The lanes of primes and ahead under `keep`, after the hits so far;
// returns the new count.
ERDOS_AVX512 inline std::size_t keep_lanes(__mmask8 keep, __m256i primes, __m512i ahead, std::uint32_t* hit_primes,
                                           std::uint32_t* hit_offsets, std::size_t hits) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(hit_primes + hits), _mm256_maskz_compress_epi32(keep, primes));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(hit_offsets + hits),
                        _mm512_maskz_cvtepi64_epi32(every_lane, _mm512_maskz_compress_epi64(keep, ahead)));
    return hits + static_cast<std::size_t>(__builtin_popcount(keep));
}

ERDOS_AVX512 std::size_t first_examined_hits_avx512(std::int64_t from, std::int64_t length,
                                                    const std::uint32_t* primes, std::size_t count,
                                                    std::uint32_t* hit_primes, std::uint32_t* hit_offsets) {
    std::size_t hits = 0;
    std::size_t k = 0;
    const __m512d from_d = _mm512_set1_pd(static_cast<double>(from));
    const __m512i from_i = _mm512_set1_epi64(from);
    const __m512i limit = _mm512_set1_epi64(length);
    const __m512i zero = _mm512_setzero_si512();
    const __m512d one_24th = _mm512_set1_pd(1.0 / 24.0);
    const __m512i twenty_four = _mm512_set1_epi64(24);
    for (; k + 8 <= count; k += 8) {
        const __m256i q32 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(primes + k));
        const auto [q, qd, r] = less_estimated_multiples(q32, from_d, from_i);
        const __m512i a = _mm512_cvttpd_epi64(_mm512_mul_pd(qd, one_24th));
        const __m512i j = _mm512_sub_epi64(q, _mm512_maskz_mul_epu32(every_lane, a, twenty_four));
        const __m512i qj = _mm512_sub_epi64(_mm512_maskz_mul_epu32(every_lane, q, j), _mm512_set1_epi64(1));
        const __m512i residue = _mm512_cvt_roundpd_epi64(_mm512_mul_pd(_mm512_cvtepi64_pd(qj), one_24th),
                                                         _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
        __m512i ahead = _mm512_sub_epi64(residue, r);
        ahead = _mm512_mask_add_epi64(ahead, _mm512_cmplt_epi64_mask(ahead, zero), ahead, q);
        hits = keep_lanes(_mm512_cmplt_epi64_mask(ahead, limit), q32, ahead, hit_primes, hit_offsets, hits);
    }
    return hits + first_examined_hits_plain(from, length, primes + k, count - k, hit_primes + hits, hit_offsets + hits);
}

ERDOS_AVX512 std::size_t first_multiples_avx512(std::uint64_t lo, std::uint64_t span, const std::uint32_t* primes,
                                                std::size_t count, std::uint32_t* hit_primes,
                                                std::uint32_t* hit_offsets) {
    std::size_t hits = 0;
    std::size_t k = 0;
    const __m512d lo_d = _mm512_set1_pd(static_cast<double>(lo));
    const __m512i lo_i = _mm512_set1_epi64(static_cast<std::int64_t>(lo));
    const __m512i past = _mm512_set1_epi64(static_cast<std::int64_t>(span) + 1);
    const __m512i zero = _mm512_setzero_si512();
    for (; k + 8 <= count; k += 8) {
        const __m256i q32 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(primes + k));
        const eight_lanes x = less_estimated_multiples(q32, lo_d, lo_i);
        const __m512i q = x.q;
        __m512i r = x.r;
        r = _mm512_mask_add_epi64(r, _mm512_cmplt_epi64_mask(r, zero), r, q);
        r = _mm512_mask_sub_epi64(r, _mm512_cmpge_epi64_mask(r, q), r, q);
        const __m512i ahead = _mm512_maskz_sub_epi64(_mm512_cmpneq_epi64_mask(r, zero), q, r);
        hits = keep_lanes(_mm512_cmplt_epi64_mask(ahead, past), q32, ahead, hit_primes, hit_offsets, hits);
    }
    return hits + first_multiples_plain(lo, span, primes + k, count - k, hit_primes + hits, hit_offsets + hits);
}

#undef ERDOS_AVX512

}  // namespace

std::size_t first_examined_hits_by(vector_way way, std::int64_t from, std::int64_t length, const std::uint32_t* primes,
                                   std::size_t count, std::uint32_t* hit_primes, std::uint32_t* hit_offsets) {
    switch (way) {
        case vector_way::avx512: return first_examined_hits_avx512(from, length, primes, count, hit_primes, hit_offsets);
        case vector_way::avx2: return first_examined_hits_avx2(from, length, primes, count, hit_primes, hit_offsets);
        case vector_way::plain: break;
    }
    return first_examined_hits_plain(from, length, primes, count, hit_primes, hit_offsets);
}

std::size_t first_multiples_by(vector_way way, std::uint64_t lo, std::uint64_t span, const std::uint32_t* primes,
                               std::size_t count, std::uint32_t* hit_primes, std::uint32_t* hit_offsets) {
    switch (way) {
        case vector_way::avx512: return first_multiples_avx512(lo, span, primes, count, hit_primes, hit_offsets);
        case vector_way::avx2: return first_multiples_avx2(lo, span, primes, count, hit_primes, hit_offsets);
        case vector_way::plain: break;
    }
    return first_multiples_plain(lo, span, primes, count, hit_primes, hit_offsets);
}

std::size_t first_examined_hits(std::int64_t from, std::int64_t length, const std::uint32_t* primes, std::size_t count,
                                std::uint32_t* hit_primes, std::uint32_t* hit_offsets) {
    return first_examined_hits_by(fastest_vector_way(), from, length, primes, count, hit_primes, hit_offsets);
}

std::size_t first_multiples(std::uint64_t lo, std::uint64_t span, const std::uint32_t* primes, std::size_t count,
                            std::uint32_t* hit_primes, std::uint32_t* hit_offsets) {
    return first_multiples_by(fastest_vector_way(), lo, span, primes, count, hit_primes, hit_offsets);
}

}  // namespace erdos
