#pragma once

#include <cstdint>
#include <vector>

#include "driver/run_records.hpp"
#include "numtheory/factor_window.hpp"
#include "search/shift_residues.hpp"

namespace erdos {

// Everything a scan needs that is fixed for the run.
struct scan_plan {
    std::vector<std::int32_t> shift_list;
    std::uint64_t shift_count = 0;
    std::int64_t weight_total = 0;
    std::vector<shift_residues> residues;  // one per shift
    bool all_logs = false;  // every shift has its logarithm tables
};

scan_plan make_scan_plan(std::int32_t c_max, const std::vector<std::int32_t>& sieving_primes);

// Up to sixteen (prime, shift) pairs whose m share one exponent pattern, laid
// out lane by lane for counting together.
struct lane_batch {
    static constexpr int width = 16;
    alignas(32) std::uint16_t logs[factor_window::max_small + 1][width];
    alignas(32) std::uint16_t t1[width];  // log -1: the kernel adds log m for the class of -m
    alignas(32) std::uint16_t t2[width];  // log of the class -1/4
    alignas(32) std::uint16_t order[width];
    std::uint32_t pair[width];
};

struct pattern_bucket {
    std::uint64_t key = 0;  // the exponents, 5 bits each, in the order of the factors
    int factors = 0;
    int folded = 0;         // the factor with most exponents, folded into the targets
    std::int32_t exponent[factor_window::max_small + 1];
    lane_batch batch;
};

// What every queued pair reads and updates of its bucket, kept apart from
// the bulky lanes so that the buckets' states share a few cache lines.
struct bucket_state {
    std::uint32_t tau = 1;  // divisors of m^2
    std::int32_t lanes = 0; // lanes of the batch in use
};

// A place in the table from pattern to bucket: a key and its bucket (-1: free).
struct bucket_slot {
    std::uint64_t key = 0;
    std::int32_t bucket = -1;
};

// Working memory of one scanning thread, reused from chunk to chunk.
struct scan_scratch {
    std::vector<std::uint8_t> residues;
    std::vector<std::uint8_t> inverse_residues;
    std::vector<std::uint32_t> target_count = std::vector<std::uint32_t>(256, 0);
    // Per (prime, shift) of a chunk: the witness count in the low 16 bits,
    // the number of divisors of m^2 in the high 16.
    std::vector<std::uint32_t> tallies;
    std::vector<pattern_bucket> buckets;
    std::vector<bucket_state> states;  // one per bucket
    // An open-addressing table from pattern to bucket; a key sits with its
    // bucket's index, so that a probe reads one cache line.
    std::vector<bucket_slot> bucket_slots = std::vector<bucket_slot>(1024);
    // Count with 32-byte vectors in one register each (AVX2) rather than in
    // two halves; the counts are the same either way.
    bool wide_vectors = __builtin_cpu_supports("avx2");
};

// Scans the ascending examined primes[0 .. n) into out[0 .. n), each exactly
// as scan_prime would, to the last bit of both masses, without listing the
// divisors: for each shift it counts the divisors of m^2 in the two witness
// classes modulo c from the residues of m's prime powers, and walks the
// divisor order only until a prime has its first witness. The m of the primes
// are factored in windows, sieved into `window` as the scan goes.
void scan_primes_fast(const std::int32_t* primes, std::size_t n, const scan_plan& plan, factor_window& window,
                      scan_scratch& scratch, prime_scan* out);

// The same for one prime.
prime_scan scan_prime_fast(std::int32_t p, const scan_plan& plan, factor_window& window, scan_scratch& scratch);

}  // namespace erdos
