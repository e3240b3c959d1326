// Folds a prime's shift tallies into its successful shifts and its two masses, in shift order.
#pragma once

#include <emmintrin.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "search/mass_sums.hpp"
#include "search/pair_tally.hpp"
#include "search/prime_scan.hpp"
#include "search/scan_plan.hpp"

namespace erdos {

// Bit k set for each of tallies[0 .. width) (width <= 64) with witnesses.
inline std::uint64_t successful_mask(const pair_tally* tallies, std::size_t width) {
    std::uint64_t successful = 0;
    std::size_t k = 0;
    for (; k + 4 <= width; k += 4) {
        // Four tallies at a time, their witness counts masked out: a sign bit per zero count.
        __m128i four;
        std::memcpy(&four, tallies + k, sizeof four);
        const __m128i zero = _mm_cmpeq_epi32(_mm_and_si128(four, _mm_set1_epi32(0xFFFF)), _mm_setzero_si128());
        successful |= static_cast<std::uint64_t>(~_mm_movemask_ps(_mm_castsi128_ps(zero)) & 0xF) << k;
    }
    for (; k < width; ++k) successful |= static_cast<std::uint64_t>(tally_witnesses(tallies[k]) != 0) << k;
    return successful;
}

// Adds the successful shifts of one prime's tallies to successful_shifts and
// their shares to the two sums, in shift order as the plain scan does. A zero
// share would leave both sums as they are, so only the successful shifts are
// added, found through a bit mask rather than a branch per shift.
// add_share(k, tally, uniform_sum, weighted_sum) adds the share of shift k.
template <typename AddShare>
inline void fold_tallies(const pair_tally* tallies, const scan_plan& plan, prime_scan& scan, AddShare add_share,
                         long double& uniform_sum, long double& weighted_sum) {
    const std::size_t shifts = plan.residues.size();
    for (std::size_t group = 0; group < shifts; group += 64) {
        std::uint64_t successful = successful_mask(tallies + group, std::min<std::size_t>(64, shifts - group));
        scan.successful_shifts += std::popcount(successful);
        for (; successful != 0; successful &= successful - 1) {
            const std::size_t k = group + static_cast<std::size_t>(std::countr_zero(successful));
            add_share(k, tallies[k], uniform_sum, weighted_sum);
        }
    }
}

// Sets successful_shifts and both masses of one prime whose every shift is in
// the plan's list, from the tallies of its shifts.
template <typename AddShare>
inline void fold_masses(const pair_tally* tallies, const scan_plan& plan, prime_scan& scan, AddShare add_share) {
    long double uniform_sum = 0.0L;
    long double weighted_sum = 0.0L;
    fold_tallies(tallies, plan, scan, add_share, uniform_sum, weighted_sum);
    finish_masses(scan, uniform_sum, weighted_sum, plan.shift_count, plan.weight_total);
}

}  // namespace erdos
