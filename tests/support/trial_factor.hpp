#pragma once

#include <cstdint>

#include "numtheory/factor_list.hpp"

namespace erdos_test {

// The factor_list of m found by plain trial division: an independent check on
// the table-driven factorisation.
inline erdos::factor_list trial_factor(std::int64_t m) {
    erdos::factor_list factors;
    for (std::int32_t q = 2; static_cast<std::int64_t>(q) * q <= m; ++q) {
        std::int32_t e = 0;
        while (m % q == 0) {
            m /= q;
            ++e;
        }
        if (e > 0) factors.push_back({q, e});
    }
    if (m > 1) factors.push_back({static_cast<std::int32_t>(m), 1});
    return factors;
}

}  // namespace erdos_test
