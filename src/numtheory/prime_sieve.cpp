// The sieve of Eratosthenes, one bit per integer up to the bound.
#include "numtheory/prime_sieve.hpp"

#include <algorithm>

#include "stop_request.hpp"

namespace erdos {

std::vector<std::int32_t> sieve_primes(std::int32_t p_max) {
    std::vector<std::int32_t> primes;
    if (p_max < 2) return primes;

    // One bit per integer 0..p_max; a set bit means "not struck out yet".
    const std::int64_t n = static_cast<std::int64_t>(p_max) + 1;
    std::vector<std::uint64_t> flags(static_cast<std::size_t>((n + 63) / 64), ~std::uint64_t{0});
    auto clear = [&](std::int64_t i) { flags[static_cast<std::size_t>(i >> 6)] &= ~(std::uint64_t{1} << (i & 63)); };
    auto is_set = [&](std::int64_t i) { return (flags[static_cast<std::size_t>(i >> 6)] >> (i & 63)) & 1U; };

    clear(0);
    clear(1);
    // 64-bit counters: neither i*i nor the step past p_max can overflow.
    // The loops look for a stop request once per block of numbers: a sieve
    // to 2^31 takes tens of seconds.
    constexpr std::int64_t block = std::int64_t{1} << 24;
    for (std::int64_t i = 2; i * i <= p_max; ++i) {
        if (!is_set(i)) continue;
        for (std::int64_t j = i * i; j <= p_max;) {
            const std::int64_t block_end = std::min<std::int64_t>(p_max, j + block);
            for (; j <= block_end; j += i) clear(j);
            stop_if_requested();
        }
    }
    for (std::int64_t lo = 2; lo <= p_max; lo += block) {
        const std::int64_t hi = std::min<std::int64_t>(p_max, lo + block - 1);
        for (std::int64_t i = lo; i <= hi; ++i) {
            if (is_set(i)) primes.push_back(static_cast<std::int32_t>(i));
        }
        stop_if_requested();
    }
    return primes;
}

}  // namespace erdos
