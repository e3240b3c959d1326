// Percentiles by sorting a copy or by selecting in place.
#include "report/percentile.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

namespace erdos {

namespace {

// Linear interpolation between the entries of rank lo and hi = lo or lo + 1,
// as the sorted list gives them. Two separately rounded products and a
// rounded sum: the build forbids contracting this into a fused multiply-add,
// which would move the last bit.
double interpolate(double pos, std::uint64_t lo, std::uint64_t hi, double at_lo, double at_hi) {
    if (lo == hi) return at_lo;
    const double frac = pos - static_cast<double>(lo);
    const double low_part = at_lo * (1.0 - frac);
    const double high_part = at_hi * frac;
    return low_part + high_part;
}

double empty_list_nan() { return std::bit_cast<double>(std::uint64_t{0x7FF8000000000000}); }

}  // namespace

double percentile(std::vector<double> values, double q) {
    if (values.empty()) return empty_list_nan();
    std::sort(values.begin(), values.end());
    const std::uint64_t n = values.size();
    const double pos = static_cast<double>(n - 1) * q;
    const auto lo = static_cast<std::uint64_t>(std::floor(pos));
    const auto hi = static_cast<std::uint64_t>(std::ceil(pos));
    return interpolate(pos, lo, hi, values[lo], values[hi]);
}

double select_percentile(std::vector<double>& work, double q) {
    if (work.empty()) return empty_list_nan();
    const std::uint64_t n = work.size();
    const double pos = static_cast<double>(n - 1) * q;
    const auto lo = static_cast<std::uint64_t>(std::floor(pos));
    const auto hi = static_cast<std::uint64_t>(std::ceil(pos));
    const auto at = [&](std::uint64_t i) { return work.begin() + static_cast<std::ptrdiff_t>(i); };
    std::nth_element(work.begin(), at(lo), work.end());
    const double at_lo = work[lo];
    // After the selection every entry beyond lo is at least entry lo, so
    // entry lo + 1 of the sorted order is the least of them.
    const double at_hi = (hi == lo) ? at_lo : *std::min_element(at(lo + 1), work.end());
    return interpolate(pos, lo, hi, at_lo, at_hi);
}

}  // namespace erdos
