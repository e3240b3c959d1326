// Complete factorisation of 64-bit integers, with no table: for m beyond the reach of the smallest-prime-factor table.
#pragma once

#include <cstdint>

#include "numtheory/factor_list.hpp"

namespace erdos {

// The factor_list64 of m, for every m below 2^63: exact and deterministic
// (the same list for the same m, whatever was factorised before).
factor_list64 factorize64(std::int64_t m);

}  // namespace erdos
