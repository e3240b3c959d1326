#include "report/percentile.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

namespace erdos {

double percentile(std::vector<double> values, double q) {
    if (values.empty()) return std::bit_cast<double>(std::uint64_t{0x7FF8000000000000});
    std::sort(values.begin(), values.end());
    const std::uint64_t n = values.size();
    const double pos = static_cast<double>(n - 1) * q;
    const auto lo = static_cast<std::uint64_t>(std::floor(pos));
    const auto hi = static_cast<std::uint64_t>(std::ceil(pos));
    if (lo == hi) return values[lo];
    const double frac = pos - static_cast<double>(lo);
    // Two separately rounded products and a rounded sum: the build forbids
    // contracting this into a fused multiply-add, which would move the last bit.
    const double low_part = values[lo] * (1.0 - frac);
    const double high_part = values[hi] * frac;
    return low_part + high_part;
}

}  // namespace erdos
