// Percentiles of a list of masses, interpolated between ranks.
#pragma once

#include <vector>

namespace erdos {

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
