// The list of sieving primes, each thread sieving a part of the range.
#include "numtheory/sieving_primes.hpp"

#include <algorithm>
#include <stdexcept>

#include "numtheory/prime_range.hpp"
#include "run_in_parts.hpp"

namespace erdos {

namespace {

// The primes of [lo, hi) (lo odd) into part, from the base lo - 2.
void fill_part(sieving_primes::part& part, std::uint64_t lo, std::uint64_t hi) {
    part.base = lo - 2;
    if (lo >= hi) return;
    std::uint64_t last = part.base;
    for_each_prime_in(static_cast<std::int64_t>(lo), static_cast<std::int64_t>(hi), [&](std::uint64_t q) {
        part.half_gaps.push_back(static_cast<std::uint8_t>((q - last) / 2));
        last = q;
    });
}

}  // namespace

sieving_primes list_sieving_primes(std::uint64_t bound, unsigned threads) {
    if (bound >= (std::uint64_t{1} << 32)) throw std::invalid_argument("list_sieving_primes: bound beyond 2^32");
    sieving_primes list;
    list.bound = bound;
    if (bound < 3) return list;
    // Parts of equal width, each starting at an odd number: its base is the
    // odd number two below, and the first prime lies within the largest gap
    // of it.
    const unsigned parts = std::max(1U, std::min<unsigned>(threads, static_cast<unsigned>(bound / 65536 + 1)));
    const std::uint64_t width = ((bound - 2) / parts + 2) | 1;  // odd, so every start stays odd
    list.parts.resize(parts);
    run_in_parts(parts, [&](unsigned t) {
        const std::uint64_t lo = 3 + t * (width + 1);
        fill_part(list.parts[t], lo, std::min(bound + 1, lo + width + 1));
    });
    return list;
}

}  // namespace erdos
