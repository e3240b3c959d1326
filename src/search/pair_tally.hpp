// One (prime, shift) pair's witness count and divisor count, packed into one word.
#pragma once

#include <cstdint>

namespace erdos {

// The witness count in the low 16 bits, the number of divisors of m^2 in the
// high 16. Both fit: tau(m^2) < 2^16 for every m < 2^30 (at most 40095 for the
// m a run meets, m <= 2^29 + 2), and a pair has at most tau(m^2) witnesses.
// Wider m need a wider tally, here and in the kernel's 16-bit lane counters:
// the far scan (search/far_scan) batches only the m with tau(m^2) < 2^16
// and counts the others on their own in 64 bits.
using pair_tally = std::uint32_t;

inline pair_tally make_tally(std::int64_t witnesses, std::int64_t tau) {
    return static_cast<std::uint32_t>(witnesses) | static_cast<std::uint32_t>(tau) << 16;
}
inline std::uint32_t tally_witnesses(pair_tally tally) { return tally & 0xFFFFU; }
inline std::uint32_t tally_tau(pair_tally tally) { return tally >> 16; }

}  // namespace erdos
