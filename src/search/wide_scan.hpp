// The scan of primes beyond the 32-bit range, from factorisations handed in per (prime, shift).
#pragma once

#include <cstdint>
#include <vector>

#include "driver/run_records.hpp"
#include "search/scan_plan.hpp"

namespace erdos {

// The factorisation of m = (p + c)/4 for every pair (prime j, shift k) of a
// run of primes, at pair j * shifts + k: up to max_factors prime powers,
// ascending. Filled by the walk from its factor sieve; read by the scan.
struct wide_pair_factors {
    static constexpr int max_factors = 16;  // m < 2^61 has at most 15 distinct primes
    std::vector<std::uint8_t> count;
    std::vector<std::uint64_t> primes;     // max_factors slots per pair
    std::vector<std::uint8_t> exponents;   // max_factors slots per pair
};

// Makes room for n primes over `shifts` shifts.
void size_wide_pair_factors(wide_pair_factors& factors, std::size_t n, std::size_t shifts);

// Working memory of one thread of the wide scan, reused from chunk to chunk.
struct wide_scratch {
    std::vector<std::uint8_t> residues;
    std::vector<std::uint8_t> inverse_residues;
    std::vector<std::uint32_t> target_count = std::vector<std::uint32_t>(256, 0);
    std::vector<std::int64_t> counts;  // per pair: witnesses
    std::vector<std::int64_t> taus;    // per pair: divisors of m^2
};

// Scans the ascending examined primes[0 .. n) (any p <= 2^62) into out, each
// exactly as the plain scan defines it: least shift, first witness in divisor
// order (128 bits), branch, successful shifts and both masses to the last
// bit. factors holds the factorisation of every m, pair by pair. plan is made
// by make_scan_plan; its per-sieving-prime tables are not used.
void scan_primes_wide(const std::int64_t* primes, std::size_t n, const scan_plan& plan,
                      const wide_pair_factors& factors, wide_scratch& scratch, prime_scan* out);

}  // namespace erdos
