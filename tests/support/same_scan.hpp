// A test assertion that two prime_scan records agree in every field, the masses to the bit.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>

#include "search/prime_scan.hpp"
#include "support/int128_text.hpp"

namespace erdos_test {

inline ::testing::AssertionResult same_scan(const erdos::prime_scan& a, const erdos::prime_scan& b) {
    const bool equal = a.p == b.p && a.least_c == b.least_c && a.first_d == b.first_d && a.branch == b.branch &&
                       a.successful_shifts == b.successful_shifts && a.first_m == b.first_m &&
                       a.has_witness == b.has_witness &&
                       std::bit_cast<std::uint64_t>(a.uniform_mass) == std::bit_cast<std::uint64_t>(b.uniform_mass) &&
                       std::bit_cast<std::uint64_t>(a.weighted_mass) == std::bit_cast<std::uint64_t>(b.weighted_mass);
    if (equal) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "p " << a.p << ": least_c " << a.least_c << " / " << b.least_c
                                         << ", first_d " << decimal(a.first_d) << " / " << decimal(b.first_d)
                                         << ", branch " << a.branch << " / " << b.branch << ", successful "
                                         << a.successful_shifts << " / " << b.successful_shifts << ", masses "
                                         << a.uniform_mass << " " << a.weighted_mass << " / " << b.uniform_mass << " "
                                         << b.weighted_mass;
}

}  // namespace erdos_test
