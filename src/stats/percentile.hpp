// Percentiles of a list of masses, interpolated between ranks.
#pragma once

#include <cstdint>
#include <vector>

namespace erdos {

// Where the q-quantile of n sorted values lies: pos = (n - 1) * q, between the
// entries of rank lo = floor(pos) and hi = ceil(pos). n must be positive.
struct percentile_position {
    double pos = 0.0;
    std::uint64_t lo = 0;
    std::uint64_t hi = 0;
};
percentile_position locate_percentile(std::uint64_t n, double q);

// The quantile from the entries of rank lo and hi of the sorted list:
// at_lo when lo == hi, else at_lo*(1 - f) + at_hi*f with f = pos - lo, each
// product rounded to double on its own. Every way of finding the two entries
// ends here, so that all give the same bits.
double interpolate_percentile(const percentile_position& at, double at_lo, double at_hi);

// What the percentile of an empty list is: the quiet NaN with the sign bit clear.
double empty_list_percentile();

// The q-quantile (0 <= q <= 1) of values, interpolated linearly between the two
// nearest ranks of the sorted copy: with pos = (n - 1) * q, lo = floor(pos) and
// hi = ceil(pos), entry lo when lo == hi, else v[lo]*(1 - f) + v[hi]*f with
// f = pos - lo, each product rounded to double on its own. An empty list gives
// the quiet NaN with the sign bit clear. values must hold no NaN or only NaNs of
// one sign (the result is then that NaN).
double percentile(std::vector<double> values, double q);

// The same value as percentile(work, q), found by selection in linear time
// instead of a full sort; work is reordered but keeps its entries, so it can
// serve again. Valid because a list here never mixes NaNs with numbers (it
// holds no NaN, or only NaNs of one sign), which keeps the order strict.
double select_percentile(std::vector<double>& work, double q);

}  // namespace erdos
