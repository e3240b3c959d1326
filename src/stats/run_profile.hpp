// The profile of a run: its examined primes in about a thousand bins of p, with exact counts per bin.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "numtheory/int128.hpp"
#include "search/prime_scan.hpp"

namespace erdos {

// Column groups of a bin. Least shifts 3, 7, ..., 127 have a column each and
// the wider ones one together; successful shift counts 0 to 64 a column each
// and the larger ones one together. A mass has a column for the values below
// 2^-16 (0 among them) and 96 more, six to an octave up to 1: column k holds
// [2^((k-97)/6), 2^((k-96)/6)), the last one 1 too; the edges within an
// octave are mass_octave_steps times a power of two, exactly. A NaN mass is
// in no column.
inline constexpr std::size_t profile_least_columns = 33;
inline constexpr std::size_t profile_success_columns = 66;
inline constexpr std::size_t profile_mass_columns = 97;
inline constexpr int mass_steps_per_octave = 6;
inline constexpr int mass_octaves = 16;
// 2^(-5/6), 2^(-4/6), ..., 2^(-1/6) as doubles, ascending.
inline constexpr double mass_octave_steps[5] = {0.5612310241546865, 0.6299605249474366, 0.7071067811865476,
                                                0.7937005259840998, 0.8908987181403393};

// One bin: the examined primes p_lo <= p <= p_hi.
struct profile_bin {
    std::int64_t p_lo = 0;
    std::int64_t p_hi = 0;
    std::int64_t primes = 0;
    std::int64_t covered = 0;
    std::int32_t max_least_c = 0;    // over the covered primes; 0 when none
    std::int64_t max_least_c_p = 0;  // the first prime that reaches it; 0 when none
    std::int64_t sum_least_c = 0;    // over the covered primes
    std::array<std::int64_t, profile_least_columns> least_c{};
    std::array<std::int64_t, profile_success_columns> successful{};
    std::array<std::int64_t, profile_mass_columns> uniform{};
    std::array<std::int64_t, profile_mass_columns> weighted{};
    // The masses that are no NaN, each truncated to a multiple of 2^-64 and
    // summed as integers: the same sum in any order.
    uint128 uniform_sum = 0;
    uint128 weighted_sum = 0;
};

struct run_profile {
    std::vector<std::int64_t> starts;  // each bin's p_lo, ascending; empty: folding does nothing
    std::vector<profile_bin> bins;
    std::size_t at = 0;  // the bin of the last prime folded: the next one is there or soon after
};

// The bins of the interval [p_min, p_max], which depend on nothing else.
// An interval that is narrow for where it lies (p_max < 4 p_min) is cut into
// bins of one width, about a thousand; any other into about a thousand bins
// that are even on a log scale: each octave [2^j, 2^(j+1)) from 64 on cut
// into the same number of equal parts (the first bin starts at p_min, and
// the parts narrower than 1 merge). They cover the interval without gaps or
// overlaps.
run_profile plan_run_profile(std::int64_t p_min, std::int64_t p_max);

// The column of a mass (see above); -1 for a NaN.
int mass_column(double mass);

// Counts one examined prime in its bin; p must lie in the interval.
void fold_profile_prime(run_profile& profile, const prime_scan& scan);

// Adds the counts of part, a profile of the same bins over other primes, to
// whole; the largest least shift goes to the smaller prime on a tie.
void merge_run_profile(run_profile& whole, const run_profile& part);

// The bins' counts as 64-bit words, and back into a profile of the same
// bins. Throws std::invalid_argument on a list of another length.
std::vector<std::int64_t> pack_run_profile(const run_profile& profile);
void unpack_run_profile(const std::vector<std::int64_t>& words, run_profile& profile);

// The profile as a CSV text: a header and one row per bin.
std::string format_run_profile(const run_profile& profile);

// The mean of the masses that a histogram of mass columns counts, from their
// truncated sum; a NaN when it counts none.
double profile_mean(uint128 sum, const std::array<std::int64_t, profile_mass_columns>& histogram);

}  // namespace erdos
