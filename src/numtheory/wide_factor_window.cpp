// Sieving a wide factor window: the periodic small primes copied, the others struck, the large prime recovered.
#include "numtheory/wide_factor_window.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <stdexcept>

#include "numtheory/prime_sieve.hpp"

namespace erdos {

namespace {

using window_t = wide_factor_window;
using divisor = window_t::divisor;

// Below 2^42 an m has at most eleven primes below the bound (2*3*5*...*37 >
// 2^42), and every exponent but that of 2 is below 32.
constexpr std::int64_t max_wide_m = (std::int64_t{1} << 42) - 1;
constexpr std::int64_t periodic_prime_limit = 7;
constexpr std::int64_t max_struck_twos = std::int64_t{1} << 31;
constexpr auto row = static_cast<std::size_t>(window_t::max_small);

std::int64_t isqrt(std::int64_t n) {
    auto r = static_cast<std::int64_t>(std::sqrt(static_cast<double>(std::max<std::int64_t>(n, 1))));
    while ((r + 1) * (r + 1) <= n) ++r;
    while (r * r > n) --r;
    return r;
}

// The inverse of an odd q modulo 2^64: q is its own inverse modulo 8, and
// each Newton step doubles the bits that are right.
std::uint64_t inverse_mod_2_64(std::uint64_t q) {
    std::uint64_t x = q;
    for (int step = 0; step < 5; ++step) x *= 2U - q * x;
    return x;
}

std::int64_t first_multiple(std::int64_t q, std::int64_t lo) { return (lo + q - 1) / q * q; }

// For the heap of powers: the least next multiple on top.
struct later_first {
    bool operator()(const divisor& a, const divisor& b) const { return a.next > b.next; }
};
constexpr later_first later;

// The first window of the run whose m include `at`.
std::int64_t earliest_window(const window_t& w, std::int64_t at) {
    const std::int64_t past = at - w.origin - w.span - w.reach;
    return past < 0 ? 0 : (past >> w.span_bits) + 1;
}

// Puts a bucket prime with next multiple `next` in the bucket of the first
// window, from least_window on, that holds it; one past max_m leaves for good.
inline void place(window_t& w, std::uint64_t inverse, std::uint32_t q, std::int64_t next, std::int64_t least_window) {
    if (next > w.max_m) return;
    const std::int64_t k = std::max(least_window, earliest_window(w, next));
    const auto offset = static_cast<std::uint32_t>(next - w.origin - (k << w.span_bits));
    w.ring[static_cast<std::size_t>(k) & (w.ring.size() - 1)].push_back({inverse, q, offset});
}

// A new run of windows from lo: every divisor's next multiple found afresh.
void start_run(window_t& w, std::int64_t lo) {
    w.origin = lo;
    w.window_number = -1;
    for (auto* list : {&w.periodic_powers, &w.prime_divisors, &w.power_divisors}) {
        for (divisor& d : *list) d.next = first_multiple(d.value, lo);
    }
    for (std::vector<window_t::due_prime>& bucket : w.ring) bucket.clear();
    for (const divisor& d : w.fixed->bucket_primes) place(w, d.inverse, d.prime, first_multiple(d.value, lo), 0);
    w.power_heap.clear();
    for (divisor d : w.fixed->bucket_powers) {
        d.next = first_multiple(d.value, lo);
        if (d.next <= w.max_m) w.power_heap.push_back(d);
    }
    std::make_heap(w.power_heap.begin(), w.power_heap.end(), later);
}

// Applies strike to every multiple of d from d.next up to hi, leaving in
// d.next the first one at or after next_lo, where the next window resumes.
template <typename Strike>
inline void strike_multiples(divisor& d, std::int64_t next_lo, std::int64_t hi, Strike strike) {
    const std::int64_t step = d.value;
    std::int64_t j = d.next;
    for (; j < next_lo; j += step) strike(j);
    d.next = j;
    for (; j < hi; j += step) strike(j);
}

// Adds prime q to m's entry and slots.
inline void add_prime(window_t::entry& e, std::uint32_t* slots, std::uint32_t q, std::uint64_t inverse) {
    e.pattern |= std::uint64_t{1} << (5 * e.small_count);
    slots[e.small_count++] = q;
    e.inverse *= inverse;
}

// Raises the exponent of q, already a factor of m, by one.
inline void raise_prime(window_t::entry& e, const std::uint32_t* slots, std::uint32_t q, std::uint64_t inverse) {
    int f = 0;
    while (f + 1 < e.small_count && slots[f] != q) ++f;
    e.pattern += std::uint64_t{1} << (5 * f);
    e.inverse *= inverse;
}

// Starts every m of [lo, lo + n) from the periodic part: its entry, and the
// first `head` slots, which a scan reads whatever m's count (the unused
// ones hold 1, whose logarithm is 0). Slots past both are never read.
void copy_period(window_t& w, std::int64_t lo, std::size_t n) {
    constexpr auto period = static_cast<std::size_t>(window_t::period);
    constexpr auto head = static_cast<std::size_t>(window_t::read_slots);
    std::uint32_t* slots = w.small.data();
    for (std::size_t i = 0, r = static_cast<std::size_t>(lo % window_t::period); i < n; r = 0) {
        const std::size_t run = std::min(n - i, period - r);
        std::copy_n(w.fixed->periodic.data() + r, run, w.entries.data() + i);
        const std::uint32_t* from = w.fixed->periodic_small.data() + r * row;
        for (std::size_t k = 0; k < run; ++k) std::copy_n(from + k * row, head, slots + (i + k) * row);
        i += run;
    }
}

// The powers of 2, 3, 5 and 7 beyond the period, which find their prime
// among the few slots the period filled; then the primes below span +
// reach, ascending, so that the slots ascend, each prime's powers at once,
// while its slot is still the last of every m it struck; then the bucket
// primes of this window, which all exceed them and come in any order: each
// is put in its place among the ones before it.
void strike_primes(window_t& w, std::int64_t next_lo, std::int64_t hi) {
    window_t::entry* const entries = w.entries.data();
    std::uint32_t* const slots = w.small.data();
    const std::int64_t lo = w.lo;
    for (divisor& d : w.periodic_powers) {
        const std::uint32_t q = d.prime;
        strike_multiples(d, next_lo, hi, [&](std::int64_t at) {
            const auto i = static_cast<std::size_t>(at - lo);
            raise_prime(entries[i], slots + i * row, q, d.inverse);
        });
    }
    for (std::size_t k = 0; k < w.prime_divisors.size(); ++k) {
        divisor& d = w.prime_divisors[k];
        const std::uint32_t q = d.prime;
        strike_multiples(d, next_lo, hi, [&](std::int64_t j) {
            const auto i = static_cast<std::size_t>(j - lo);
            add_prime(entries[i], slots + i * row, q, d.inverse);
        });
        for (std::uint32_t p = w.power_begin[k]; p < w.power_begin[k + 1]; ++p) {
            divisor& power = w.power_divisors[p];
            strike_multiples(power, next_lo, hi, [&](std::int64_t at) {
                window_t::entry& e = entries[static_cast<std::size_t>(at - lo)];
                e.pattern += std::uint64_t{1} << (5 * (e.small_count - 1));
                e.inverse *= power.inverse;
            });
        }
    }
    std::vector<window_t::due_prime>& due = w.ring[static_cast<std::size_t>(w.window_number) & (w.ring.size() - 1)];
    std::swap(w.draining, due);
    for (const window_t::due_prime& d : w.draining) {
        const std::size_t i = d.offset;
        window_t::entry& e = entries[i];
        std::uint32_t* s = slots + i * row;
        add_prime(e, s, d.prime, d.inverse);
        if (e.bucket_count++ > 0) {  // rare: only then may a larger one stand before it
            for (int f = e.small_count - 1; f > 0 && s[f - 1] > d.prime; --f) std::swap(s[f - 1], s[f]);
        }
        // A multiple in the overlap is struck again by the next window.
        const std::int64_t next = lo + static_cast<std::int64_t>(i) + (i < static_cast<std::size_t>(w.span) ? d.prime : 0);
        place(w, d.inverse, d.prime, next, w.window_number + 1);
    }
    w.draining.clear();
}

// Then the powers of the bucket primes and the larger ones of the others,
// which find q among m's slots.
void raise_powers(window_t& w, std::int64_t next_lo, std::int64_t hi) {
    window_t::entry* const entries = w.entries.data();
    const std::uint32_t* const slots = w.small.data();
    const std::int64_t lo = w.lo;
    while (!w.power_heap.empty() && w.power_heap.front().next < hi) {
        std::pop_heap(w.power_heap.begin(), w.power_heap.end(), later);
        divisor d = w.power_heap.back();
        w.power_heap.pop_back();
        const auto i = static_cast<std::size_t>(d.next - lo);
        raise_prime(entries[i], slots + i * row, d.prime, d.inverse);
        if (d.next < next_lo) d.next += d.value;
        if (d.next <= w.max_m) w.raised.push_back(d);
    }
    for (const divisor& d : w.raised) {
        w.power_heap.push_back(d);
        std::push_heap(w.power_heap.begin(), w.power_heap.end(), later);
    }
    w.raised.clear();
}

}  // namespace

bool wide_window_covers(std::int64_t max_m) {
    return max_m >= 4 && max_m <= max_wide_m;
}

wide_factor_window make_wide_factor_window(std::int64_t max_m, std::int64_t span, std::int64_t reach) {
    if (span < 1 || !std::has_single_bit(static_cast<std::uint64_t>(span)) || reach < 0 || reach > span ||
        span + reach >= (std::int64_t{1} << 32)) {
        throw std::invalid_argument("a wide window's span must be a power of two at least its reach");
    }
    window_t w;
    w.span = span;
    w.span_bits = std::countr_zero(static_cast<std::uint64_t>(span));
    w.reach = reach;
    w.max_m = max_m;
    const std::vector<std::int32_t> primes = sieve_primes(static_cast<std::int32_t>(isqrt(max_m)));
    const std::int64_t direct = span + reach;
    constexpr auto period = static_cast<std::size_t>(window_t::period);
    auto fixed = std::make_shared<window_t::fixed_part>();
    fixed->periodic.assign(period, window_t::entry{0, 1, 0, 0, {}});
    fixed->periodic_small.assign(period * row, 1);  // unused slots: 1, whose logarithm is 0
    for (const std::int64_t q : primes) {
        const std::uint64_t inverse = q == 2 ? 1U : inverse_mod_2_64(static_cast<std::uint64_t>(q));
        // q^k <= max_m, without overflow: q^(k-1) <= max_m / q.
        for (std::int64_t power = q;; power *= q) {
            if (q == 2 && power > max_struck_twos) break;
            if (q <= periodic_prime_limit && window_t::period % power == 0) {
                // Residue 0 stands for the multiples of the period.
                for (std::size_t r = 0; r < period; r += static_cast<std::size_t>(power)) {
                    window_t::entry& e = fixed->periodic[r];
                    if (power == q) {
                        e.pattern |= std::uint64_t{1} << (5 * e.small_count);
                        fixed->periodic_small[r * row + e.small_count++] = static_cast<std::uint32_t>(q);
                    } else {
                        e.pattern += std::uint64_t{1} << (5 * (e.small_count - 1));
                    }
                    e.inverse *= inverse;
                }
            } else {
                const divisor d{power, 0, inverse, static_cast<std::uint32_t>(q)};
                if (power >= direct) {
                    (power == q ? fixed->bucket_primes : fixed->bucket_powers).push_back(d);
                } else if (q <= periodic_prime_limit) {
                    w.periodic_powers.push_back(d);
                } else if (power == q) {
                    w.prime_divisors.push_back(d);
                    w.power_begin.push_back(static_cast<std::uint32_t>(w.power_divisors.size()));
                } else {
                    w.power_divisors.push_back(d);
                }
            }
            if (power > max_m / q) break;
        }
    }
    w.power_begin.push_back(static_cast<std::uint32_t>(w.power_divisors.size()));
    w.fixed = std::move(fixed);
    // A bucket prime q struck in one window next falls due at most
    // (q + reach) / span + 2 windows later.
    const std::int64_t largest = primes.empty() ? 0 : primes.back();
    w.ring.resize(std::bit_ceil(static_cast<std::uint64_t>((largest + reach) / span + 3)));
    return w;
}

void fill_wide_factor_window(wide_factor_window& window, std::int64_t lo) {
    const auto n = static_cast<std::size_t>(window.span + window.reach);
    if (window.entries.size() < n) {
        window.entries.resize(n);
        window.small.resize(n * row);
    }
    if (window.window_number < 0 || lo != window.lo + window.span) start_run(window, lo);
    ++window.window_number;
    window.lo = lo;
    const std::int64_t next_lo = lo + window.span;
    const std::int64_t hi = next_lo + window.reach;
    copy_period(window, lo, n);
    strike_primes(window, next_lo, hi);
    raise_powers(window, next_lo, hi);
}

int wide_factors_of(const wide_factor_window& window, std::int64_t m, std::uint64_t* primes, std::int32_t* exponents) {
    const auto i = static_cast<std::size_t>(m - window.lo);
    const window_t::entry& e = window.entries[i];
    int n = 0;
    for (; n < e.small_count; ++n) {
        primes[n] = window.small[i * row + static_cast<std::size_t>(n)];
        exponents[n] = static_cast<std::int32_t>((e.pattern >> (5 * n)) & 31U);
    }
    if (n > 0 && primes[0] == 2) exponents[0] = std::countr_zero(static_cast<std::uint64_t>(m));
    if (const std::uint64_t large = wide_large(window, i); large > 1) {
        primes[n] = large;
        exponents[n++] = 1;
    }
    return n;
}

}  // namespace erdos
