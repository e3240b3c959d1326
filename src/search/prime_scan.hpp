// What the scan of one examined prime finds: the record every later phase reads.
#pragma once

#include <cstdint>

#include "numtheory/int128.hpp"

namespace erdos {

// What the shift scan finds for one examined prime. The "none" values below
// stand for a prime that no shift covers.
struct prime_scan {
    std::int64_t p = 0;
    std::int32_t least_c = -1;            // first shift with a witness
    int128 first_d = -1;                  // its first witness, in divisor order
    std::int32_t branch = 0;              // 1: (m+d) = 0 mod c, 2: (4d+1) = 0 mod c, 3: both
    std::int32_t successful_shifts = 0;   // shifts with at least one witness
    std::int64_t first_m = 0;             // (p + least_c) / 4
    bool has_witness = false;
    double uniform_mass = 0.0;            // mean witness share over the shifts
    double weighted_mass = 0.0;           // the same, weighted towards small shifts
};

}  // namespace erdos
