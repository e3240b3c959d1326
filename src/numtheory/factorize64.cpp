// Trial division by the small primes, then Pollard-Brent rho for what is left.
#include "numtheory/factorize64.hpp"

#include <algorithm>
#include <numeric>

#include "numtheory/montgomery64.hpp"
#include "numtheory/prime_test64.hpp"

namespace erdos {

namespace {

// Trial division takes every prime below this bound; what is left has only
// prime factors above it, so below its square it is 1 or a prime.
constexpr std::uint64_t trial_bound = 256;

// Differences of residues in form: |a - b| is (A - B) * R up to sign, which
// shares its factors with n exactly as A - B does (R is prime to n).
std::uint64_t distance(std::uint64_t a, std::uint64_t b) { return a > b ? a - b : b - a; }

// A factor of the odd composite n strictly between 1 and n, by Brent's
// variant of Pollard's rho: the walk y -> y^2 + c mod n, with cycle lengths
// doubling, and the differences multiplied together so that one gcd serves a
// whole batch of steps. When a batch overshoots to the gcd n, its steps are
// retried one at a time; when even that gives n, the walk starts again with
// the next c. c starts at 1 every time, so the result depends on n alone.
std::uint64_t pollard_brent(std::uint64_t n) {
    constexpr std::uint64_t batch = 128;
    const montgomery64 mg = make_montgomery64(n);
    for (std::uint64_t c = 1;; ++c) {
        const std::uint64_t c_form = to_montgomery(mg, c);
        const auto step = [&](std::uint64_t v) { return add_mod(montgomery_multiply(mg, v, v), c_form, n); };
        std::uint64_t y = to_montgomery(mg, 2);
        std::uint64_t x = y;
        std::uint64_t batch_start = y;
        std::uint64_t product = mg.one;
        std::uint64_t g = 1;
        for (std::uint64_t length = 1; g == 1; length *= 2) {
            x = y;
            for (std::uint64_t i = 0; i < length; ++i) y = step(y);
            for (std::uint64_t done = 0; done < length && g == 1; done += batch) {
                batch_start = y;
                const std::uint64_t steps = std::min(batch, length - done);
                for (std::uint64_t i = 0; i < steps; ++i) {
                    y = step(y);
                    product = montgomery_multiply(mg, product, distance(x, y));
                }
                g = std::gcd(product, n);
            }
        }
        if (g == n) {
            do {
                batch_start = step(batch_start);
                g = std::gcd(distance(x, batch_start), n);
            } while (g == 1);
        }
        if (g != n) return g;
    }
}

// Appends the prime factors of n (with repeats, in no particular order),
// where n > 1 is a prime or has no prime factor below trial_bound.
void split_into_primes(std::uint64_t n, std::vector<std::uint64_t>& primes) {
    if (n < trial_bound * trial_bound || is_prime_u64(n)) {
        primes.push_back(n);
        return;
    }
    const std::uint64_t f = pollard_brent(n);
    split_into_primes(f, primes);
    split_into_primes(n / f, primes);
}

}  // namespace

factor_list64 factorize64(std::int64_t m) {
    factor_list64 factors;
    if (m <= 1) return factors;
    auto rest = static_cast<std::uint64_t>(m);
    // 2 and then the odd numbers below the bound: each composite one finds
    // nothing left to divide, its primes having been divided out before.
    for (std::uint64_t q = 2; q < trial_bound && q * q <= rest; q += (q == 2 ? 1 : 2)) {
        std::int32_t e = 0;
        for (; rest % q == 0; rest /= q) ++e;
        if (e > 0) factors.push_back({static_cast<std::int64_t>(q), e});
    }
    if (rest == 1) return factors;
    // Either every prime below the bound is divided out, or the loop stopped
    // at q * q > rest with no factor below q, so that rest is a prime: both
    // as split_into_primes requires. Its primes all exceed those found above.
    std::vector<std::uint64_t> large;
    split_into_primes(rest, large);
    std::sort(large.begin(), large.end());
    for (std::size_t i = 0; i < large.size();) {
        std::size_t j = i;
        while (j < large.size() && large[j] == large[i]) ++j;
        factors.push_back({static_cast<std::int64_t>(large[i]), static_cast<std::int32_t>(j - i)});
        i = j;
    }
    return factors;
}

}  // namespace erdos
