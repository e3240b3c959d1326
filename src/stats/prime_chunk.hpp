// A run of consecutive examined primes as a walk hands it on: scans, verdicts and rows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "search/prime_scan.hpp"

namespace erdos {

// The outcome of a run of consecutive examined primes, in prime order: each
// prime's scan, whether its first witness verified, and its results rows.
struct prime_chunk {
    std::vector<prime_scan> scans;
    std::vector<std::uint8_t> verified;
    std::string rows;
};

}  // namespace erdos
