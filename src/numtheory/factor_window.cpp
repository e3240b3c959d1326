// Sieving a factor window: the periodic small primes copied, the others struck, the large prime recovered.
#include "numtheory/factor_window.hpp"

#include <algorithm>
#include <cmath>

#include "numtheory/prime_sieve.hpp"

namespace erdos {

namespace {

// The inverse of an odd q modulo 2^32: q is its own inverse modulo 8, and
// each Newton step doubles the bits that are right.
std::uint32_t inverse_mod_2_32(std::uint32_t q) {
    std::uint32_t x = q;
    for (int step = 0; step < 4; ++step) x *= 2U - q * x;
    return x;
}

constexpr int periodic_prime_limit = 7;

// Applies strike to every multiple of d from d.next up to hi, leaving in
// d.next the first one at or after next_lo, where the next window resumes.
template <typename Strike>
inline void strike_multiples(factor_window::divisor& d, std::int64_t next_lo, std::int64_t hi, Strike strike) {
    const std::int64_t step = d.value;
    std::int64_t j = d.next;
    for (; j < next_lo; j += step) strike(j);
    d.next = j;
    for (; j < hi; j += step) strike(j);
}

}  // namespace

factor_window make_factor_window(std::int64_t max_m) {
    factor_window window;
    auto root = static_cast<std::int64_t>(std::sqrt(static_cast<double>(std::max<std::int64_t>(max_m, 1))));
    while ((root + 1) * (root + 1) <= max_m) ++root;
    while (root * root > max_m) --root;
    window.primes = sieve_primes(static_cast<std::int32_t>(root));

    constexpr auto period = static_cast<std::size_t>(factor_window::period);
    window.periodic.assign(period, factor_window::entry{0, 1, 0, {0, 0, 0}});
    window.periodic_small.assign(period * factor_window::max_small, 0);
    for (std::size_t index = 0; index < window.primes.size(); ++index) {
        const std::int64_t q = window.primes[index];
        const auto prime_index = static_cast<std::uint16_t>(index);
        const std::uint32_t inverse = q == 2 ? 1U : inverse_mod_2_32(static_cast<std::uint32_t>(q));
        for (std::int64_t power = q; power <= max_m; power *= q) {
            if (q <= periodic_prime_limit && factor_window::period % power == 0) {
                // Residue 0 stands for the multiples of the period; m = 0
                // itself is cleared when a window is filled.
                for (std::size_t r = 0; r < period; r += static_cast<std::size_t>(power)) {
                    factor_window::entry& e = window.periodic[r];
                    if (power == q) {
                        e.pattern |= std::uint64_t{1} << (5 * e.small_count);
                        window.periodic_small[r * factor_window::max_small + e.small_count++] = prime_index;
                    } else {
                        e.pattern += std::uint64_t{1} << (5 * (e.small_count - 1));
                    }
                    e.large *= inverse;
                }
                continue;
            }
            (power == q ? window.prime_divisors : window.power_divisors).push_back({power, 0, inverse, prime_index});
        }
    }
    return window;
}

namespace {

// Starts every m of [lo, lo + n) from the periodic part, in runs up to the
// end of the period. Every slot is written, so that each holds a valid index.
void copy_period(factor_window& window, std::int64_t lo, std::size_t n) {
    constexpr auto period = static_cast<std::size_t>(factor_window::period);
    constexpr auto row = static_cast<std::size_t>(factor_window::max_small);
    factor_window::entry* const entries = window.entries.data();
    std::uint16_t* const slots = window.small.data();
    for (std::size_t i = 0, r = static_cast<std::size_t>(lo % factor_window::period); i < n; r = 0) {
        const std::size_t run = std::min(n - i, period - r);
        std::copy_n(window.periodic.data() + r, run, entries + i);
        std::copy_n(window.periodic_small.data() + r * row, run * row, slots + i * row);
        i += run;
    }
}

// Sets every divisor's next multiple to the first at or above max(lo, 1).
// Quotients below 2^31 of numbers below 2^31 are at least 2^-31 from the next
// integer, far more than a double's rounding there: the floor is exact.
void find_first_multiples(factor_window& window, std::int64_t lo) {
    const double first = static_cast<double>(std::max<std::int64_t>(lo, 1));
    for (auto* list : {&window.prime_divisors, &window.power_divisors}) {
        for (factor_window::divisor& d : *list) {
            const double v = static_cast<double>(d.value);
            d.next = static_cast<std::int64_t>(std::floor((first + v - 1) / v)) * d.value;
        }
    }
}

// Each divisor strikes up to next_lo, where the next window picks it up, and
// on to hi, the end of this one. First the primes, in ascending order, so
// that the slots ascend.
void strike_primes(factor_window& window, std::int64_t next_lo, std::int64_t hi) {
    factor_window::entry* const entries = window.entries.data();
    std::uint16_t* const slots = window.small.data();
    const std::int64_t lo = window.lo;
    for (factor_window::divisor& d : window.prime_divisors) {
        const std::uint32_t inverse = d.inverse;
        const std::uint16_t prime_index = d.prime_index;
        auto strike = [&](std::int64_t j) {
            const auto i = static_cast<std::size_t>(j - lo);
            factor_window::entry& e = entries[i];
            e.pattern |= std::uint64_t{1} << (5 * e.small_count);
            slots[i * factor_window::max_small + e.small_count++] = prime_index;
            e.large *= inverse;
        };
        strike_multiples(d, next_lo, hi, strike);
    }
}

// Then the powers: q is a factor by now, found by its index among the
// ascending slots. Most powers exceed the window and strike none.
void raise_powers(factor_window& window, std::int64_t next_lo, std::int64_t hi) {
    factor_window::entry* const entries = window.entries.data();
    const std::uint16_t* const slots = window.small.data();
    const std::int64_t lo = window.lo;
    for (factor_window::divisor& d : window.power_divisors) {
        if (d.next >= hi) continue;
        const std::uint32_t inverse = d.inverse;
        const std::uint16_t prime_index = d.prime_index;
        auto raise = [&](std::int64_t at) {
            const auto i = static_cast<std::size_t>(at - lo);
            factor_window::entry& e = entries[i];
            const std::uint16_t* s = slots + i * factor_window::max_small;
            int f = 0;
            while (s[f] != prime_index) ++f;
            e.pattern += std::uint64_t{1} << (5 * f);
            e.large *= inverse;
        };
        strike_multiples(d, next_lo, hi, raise);
    }
}

// The sieved part of m is 2^t times an odd part whose inverse `large` holds;
// t is the first exponent when m is even (2, if it sieves at all, is then the
// first factor). What remains, m / 2^t times that inverse, is exact modulo
// 2^32: 1 or a single prime above the sieving primes. No branch on the data:
// which m have a large prime is a coin toss.
void finish_large_primes(factor_window& window, std::size_t n) {
    factor_window::entry* const entries = window.entries.data();
    const std::int64_t lo = window.lo;
    auto finish = [&](std::size_t i, unsigned twos) {
        factor_window::entry& e = entries[i];
        const auto m = static_cast<std::uint32_t>(lo + static_cast<std::int64_t>(i));
        e.large *= m >> twos;
        e.pattern |= static_cast<std::uint64_t>(e.large > 1) << (5 * e.small_count);
    };
    // In pairs, even m first, so that the parity is known.
    std::size_t i = 0;
    if (lo % 2 != 0 && n > 0) finish(i++, 0);
    for (; i + 1 < n; i += 2) {
        finish(i, static_cast<unsigned>(entries[i].pattern & 31U));
        finish(i + 1, 0);
    }
    if (i < n) finish(i, static_cast<unsigned>(entries[i].pattern & 31U));
    if (lo == 0 && n > 0) entries[0] = factor_window::entry{0, 1, 0, {0, 0, 0}};  // m = 0 has no factors
}

}  // namespace

void fill_factor_window(factor_window& window, std::int64_t lo, std::int64_t count, std::int64_t next_lo) {
    const auto n = static_cast<std::size_t>(count);
    if (window.entries.size() < n) {
        window.entries.resize(n);
        window.small.resize(n * factor_window::max_small);
    }
    const std::int64_t hi = lo + count;
    if (next_lo < lo || next_lo > hi) next_lo = hi;

    copy_period(window, lo, n);
    if (lo != window.resume_lo) find_first_multiples(window, lo);
    window.lo = lo;
    window.count = count;
    window.resume_lo = next_lo;
    strike_primes(window, next_lo, hi);
    raise_powers(window, next_lo, hi);
    finish_large_primes(window, n);
}

factor_list window_factor_list(const factor_window& window, std::int64_t m) {
    factor_list factors;
    const auto i = static_cast<std::size_t>(m - window.lo);
    const factor_window::entry& e = window.entries[i];
    for (int s = 0; s < e.small_count; ++s) {
        const std::uint16_t index = window.small[i * factor_window::max_small + static_cast<std::size_t>(s)];
        const auto exponent = static_cast<std::int32_t>((e.pattern >> (5 * s)) & 31U);
        factors.push_back({window.primes[index], exponent});
    }
    if (e.large > 1) factors.push_back({static_cast<std::int32_t>(e.large), 1});
    return factors;
}

std::int64_t window_tau_of_square(const factor_window& window, std::int64_t m) {
    const factor_window::entry& entry = window.entries[static_cast<std::size_t>(m - window.lo)];
    std::int64_t tau = entry.large > 1 ? 3 : 1;
    for (int j = 0; j < entry.small_count; ++j) tau *= 2 * static_cast<std::int64_t>((entry.pattern >> (5 * j)) & 31U) + 1;
    return tau;
}

}  // namespace erdos
