#include "numtheory/examined_primes.hpp"

#include <algorithm>
#include <cmath>

#include "driver/stop_request.hpp"
#include "numtheory/prime_sieve.hpp"

namespace erdos {

std::vector<std::int32_t> sieve_examined_primes(std::int32_t p_max) {
    std::vector<std::int32_t> examined;
    if (p_max < 73) return examined;

    // n = 24k + 1 for k = 1 .. k_max. No such n is divisible by 2 or 3. For a
    // prime q >= 5, q^2 = 1 (mod 24), so the composites of the class with least
    // factor q start at q^2 (k = (q^2 - 1)/24) and recur every 24q (every q in k).
    const std::int64_t k_max = (static_cast<std::int64_t>(p_max) - 1) / 24;
    auto root = static_cast<std::int32_t>(std::sqrt(static_cast<double>(p_max)));
    while (static_cast<std::int64_t>(root + 1) * (root + 1) <= p_max) ++root;
    while (static_cast<std::int64_t>(root) * root > p_max) --root;

    std::vector<std::int64_t> primes;
    std::vector<std::int64_t> next;  // next k to strike for each prime
    for (const std::int32_t q : sieve_primes(root)) {
        if (q < 5) continue;
        primes.push_back(q);
        next.push_back((static_cast<std::int64_t>(q) * q - 1) / 24);
    }

    constexpr std::int64_t segment = std::int64_t{1} << 18;
    std::vector<std::uint8_t> alive(segment);
    for (std::int64_t lo = 1; lo <= k_max; lo += segment) {
        stop_if_requested();
        const std::int64_t hi = std::min(lo + segment, k_max + 1);
        std::fill(alive.begin(), alive.begin() + (hi - lo), std::uint8_t{1});
        for (std::size_t i = 0; i < primes.size(); ++i) {
            std::int64_t k = next[i];
            const std::int64_t q = primes[i];
            for (; k < hi; k += q) alive[static_cast<std::size_t>(k - lo)] = 0;
            next[i] = k;
        }
        for (std::int64_t k = lo; k < hi; ++k) {
            if (alive[static_cast<std::size_t>(k - lo)]) examined.push_back(static_cast<std::int32_t>(24 * k + 1));
        }
    }
    return examined;
}

}  // namespace erdos
