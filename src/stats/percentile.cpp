// Percentiles by sorting a copy or by selecting in place.
#include "stats/percentile.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

namespace erdos {

percentile_position locate_percentile(std::uint64_t n, double q) {
    percentile_position at;
    at.pos = static_cast<double>(n - 1) * q;
    at.lo = static_cast<std::uint64_t>(std::floor(at.pos));
    at.hi = static_cast<std::uint64_t>(std::ceil(at.pos));
    return at;
}

// Linear interpolation between the entries of rank lo and hi = lo or lo + 1.
// Two separately rounded products and a rounded sum: the build forbids
// contracting this into a fused multiply-add, which would move the last bit.
double interpolate_percentile(const percentile_position& at, double at_lo, double at_hi) {
    if (at.lo == at.hi) return at_lo;
    const double frac = at.pos - static_cast<double>(at.lo);
    const double low_part = at_lo * (1.0 - frac);
    const double high_part = at_hi * frac;
    return low_part + high_part;
}

double empty_list_percentile() { return std::bit_cast<double>(std::uint64_t{0x7FF8000000000000}); }

double percentile(std::vector<double> values, double q) {
    if (values.empty()) return empty_list_percentile();
    std::sort(values.begin(), values.end());
    const percentile_position at = locate_percentile(values.size(), q);
    return interpolate_percentile(at, values[at.lo], values[at.hi]);
}

double select_percentile(std::vector<double>& work, double q) {
    if (work.empty()) return empty_list_percentile();
    const percentile_position position = locate_percentile(work.size(), q);
    const std::uint64_t lo = position.lo;
    const std::uint64_t hi = position.hi;
    const auto at = [&](std::uint64_t i) { return work.begin() + static_cast<std::ptrdiff_t>(i); };
    std::nth_element(work.begin(), at(lo), work.end());
    const double at_lo = work[lo];
    // After the selection every entry beyond lo is at least entry lo, so
    // entry lo + 1 of the sorted order is the least of them.
    const double at_hi = (hi == lo) ? at_lo : *std::min_element(at(lo + 1), work.end());
    return interpolate_percentile(position, at_lo, at_hi);
}

}  // namespace erdos
