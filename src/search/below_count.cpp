// One m's witness counts for four untabled shifts at a time, in vectors of four doubles, built for SSE2 and for AVX2.
#include "search/below_count.hpp"

#include <immintrin.h>

#include <cstring>

namespace erdos {

namespace {

typedef double doubles4 __attribute__((vector_size(32)));
typedef std::int32_t ints4 __attribute__((vector_size(16)));
typedef std::int64_t masks4 __attribute__((vector_size(32)));
static_assert(sizeof(doubles4) == below_count_lanes * sizeof(double));

#define ERDOS_INLINE inline __attribute__((always_inline))

ERDOS_INLINE doubles4 load4(const double* p) {
    doubles4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// x mod c, lane by lane, for integers 0 <= x < 2^32 and 3 <= c < 2^16 held
// in doubles, with inverse = reciprocal_above(c). Three roundings of at
// most 2^-53 each leave x * inverse above x / c by a factor between 1 and
// 1 + 2^-49. With x / c = q + f / c, f < c, that is below
// q + 1 - 1/c + x / c * 2^-49 < q + 1 (as x < 2^49), so the truncation
// (below 2^31, as c >= 3) is q, and x - q c, in which every value is an
// integer below 2^53, is f.
ERDOS_INLINE doubles4 remainders(doubles4 x, doubles4 inverse, doubles4 c) {
    const doubles4 q = __builtin_convertvector(__builtin_convertvector(x * inverse, ints4), doubles4);
    return x - q * c;
}

// The pairing of the divisors: d and m^2/d, one below m and one above, and
// m alone its own partner. Every divisor of m^2 is a unit modulo c, as m
// is, so m^2/d = -m exactly when d = -m, and m^2/d = -1/4 exactly when
// d = -4m^2. A divisor below m therefore counts twice when it is -m, and
// once for each of -1/4 and -4m^2 that it is and that is not -m itself
// (the two congruences then name one class); m counts when it is -1/4 (it
// is never -m, as c is odd and m a unit). A class that does not count is
// replaced by -1, which no remainder equals.
struct lane_classes {
    doubles4 minus_m;
    doubles4 minus_quarter;
    doubles4 minus_four_m2;
    masks4 m_is_quarter;
};

ERDOS_INLINE lane_classes classes_of(doubles4 m4, doubles4 c, doubles4 inverse) {
    lane_classes k;
    const doubles4 m_residue = remainders(m4, inverse, c);
    k.minus_m = c - m_residue;
    const doubles4 minus_quarter = c - (c + 1.0) * 0.25;
    const doubles4 minus_four_m2 = c - remainders(4.0 * remainders(m_residue * m_residue, inverse, c), inverse, c);
    const doubles4 none = doubles4{} - 1.0;
    k.minus_quarter = minus_quarter == k.minus_m ? none : minus_quarter;
    k.minus_four_m2 = minus_four_m2 == k.minus_m ? none : minus_four_m2;
    k.m_is_quarter = m_residue == minus_quarter;
    return k;
}

// For every x86-64 processor: each vector in two SSE2 registers.
void count_baseline(const double* below, std::size_t n, std::uint32_t m, const double* shifts, const double* inverses,
                    std::size_t count, std::int64_t* witnesses) {
    const doubles4 m4 = doubles4{} + static_cast<double>(m);
    for (std::size_t i = 0; i < count; i += below_count_lanes) {
        const doubles4 c = load4(shifts + i);
        const doubles4 inverse = load4(inverses + i);
        const lane_classes k = classes_of(m4, c, inverse);
        masks4 as_m{};  // -1 per divisor met, in each lane
        masks4 as_other = k.m_is_quarter;
        for (std::size_t x = 0; x < n; ++x) {
            const double d = below[x];
            const doubles4 r = remainders(doubles4{d, d, d, d}, inverse, c);
            as_m += r == k.minus_m;
            as_other += r == k.minus_quarter;
            as_other += r == k.minus_four_m2;
        }
        for (std::size_t lane = 0; lane < below_count_lanes; ++lane) witnesses[i + lane] = -2 * as_m[lane] - as_other[lane];
    }
}

// The same with AVX2: one register per vector, and the truncation in one
// instruction. Every value formed is exact, so both give the same counts.
__attribute__((target("avx2"), always_inline)) inline __m256d remainders_avx2(__m256d x, __m256d inverse, __m256d c) {
    const __m256d q = _mm256_round_pd(_mm256_mul_pd(x, inverse), _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    return _mm256_sub_pd(x, _mm256_mul_pd(q, c));
}

__attribute__((target("avx2"))) void count_avx2(const double* below, std::size_t n, std::uint32_t m,
                                                const double* shifts, const double* inverses, std::size_t count,
                                                std::int64_t* witnesses) {
    const __m256d m4 = _mm256_set1_pd(static_cast<double>(m));
    const __m256d none = _mm256_set1_pd(-1.0);
    for (std::size_t i = 0; i < count; i += below_count_lanes) {
        // The classes as in classes_of.
        const __m256d c = _mm256_loadu_pd(shifts + i);
        const __m256d inverse = _mm256_loadu_pd(inverses + i);
        const __m256d m_residue = remainders_avx2(m4, inverse, c);
        const __m256d minus_m = _mm256_sub_pd(c, m_residue);
        __m256d minus_quarter =
            _mm256_sub_pd(c, _mm256_mul_pd(_mm256_add_pd(c, _mm256_set1_pd(1.0)), _mm256_set1_pd(0.25)));
        const __m256d square = remainders_avx2(_mm256_mul_pd(m_residue, m_residue), inverse, c);
        __m256d minus_four_m2 =
            _mm256_sub_pd(c, remainders_avx2(_mm256_mul_pd(_mm256_set1_pd(4.0), square), inverse, c));
        __m256i as_other = _mm256_castpd_si256(_mm256_cmp_pd(m_residue, minus_quarter, _CMP_EQ_OQ));
        minus_quarter = _mm256_blendv_pd(minus_quarter, none, _mm256_cmp_pd(minus_quarter, minus_m, _CMP_EQ_OQ));
        minus_four_m2 = _mm256_blendv_pd(minus_four_m2, none, _mm256_cmp_pd(minus_four_m2, minus_m, _CMP_EQ_OQ));
        __m256i as_m = _mm256_setzero_si256();
        for (std::size_t x = 0; x < n; ++x) {
            const __m256d r = remainders_avx2(_mm256_broadcast_sd(below + x), inverse, c);
            as_m = _mm256_add_epi64(as_m, _mm256_castpd_si256(_mm256_cmp_pd(r, minus_m, _CMP_EQ_OQ)));
            as_other = _mm256_add_epi64(as_other, _mm256_castpd_si256(_mm256_cmp_pd(r, minus_quarter, _CMP_EQ_OQ)));
            as_other = _mm256_add_epi64(as_other, _mm256_castpd_si256(_mm256_cmp_pd(r, minus_four_m2, _CMP_EQ_OQ)));
        }
        std::int64_t m_lanes[below_count_lanes];
        std::int64_t other_lanes[below_count_lanes];
        std::memcpy(m_lanes, &as_m, sizeof m_lanes);
        std::memcpy(other_lanes, &as_other, sizeof other_lanes);
        for (std::size_t lane = 0; lane < below_count_lanes; ++lane) witnesses[i + lane] = -2 * m_lanes[lane] - other_lanes[lane];
    }
}

}  // namespace

double reciprocal_above(std::uint32_t c) { return (1.0 / static_cast<double>(c)) * (1.0 + 0x1p-50); }

void count_by_divisors_below(const double* below, std::size_t n, std::uint32_t m, const double* shifts,
                             const double* inverses, std::size_t count, std::int64_t* witnesses, bool avx2) {
    if (avx2) {
        count_avx2(below, n, m, shifts, inverses, count, witnesses);
    } else {
        count_baseline(below, n, m, shifts, inverses, count, witnesses);
    }
}

}  // namespace erdos
