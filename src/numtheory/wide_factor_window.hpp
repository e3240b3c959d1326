// Factorisations of windows of consecutive m below 2^42, sieved with the primes up to sqrt(max m).
#pragma once

#include <bit>
#include <cstdint>
#include <memory>
#include <vector>

namespace erdos {

// The factorisations of windows of consecutive m, as in factor_window but for
// m below 2^42. Window k of a run of windows holds [lo, lo + span + reach)
// with lo = origin + k * span: each overlaps the next by reach. Each m keeps
// its prime powers below the bound isqrt(max_m), ascending, the primes
// themselves in its slots and their exponents in an exponent pattern, and
// what the large prime above the bound that may remain needs to be read off
// (wide_large). The scan reads a window as it stands.
//
// The primes below span + reach, and their powers, strike every window; the
// larger ones, which strike a window at most once, wait in a ring of
// buckets, one per window, for the window of their next multiple, and the
// larger powers, which strike very rarely, in a heap by their next multiple.
struct wide_factor_window {
    // 2*3*5*...*37 > 2^42: eleven primes at most below the bound.
    static constexpr int max_small = 11;
    // The slots a scan reads of every m it takes, used or not.
    static constexpr int read_slots = 4;

    struct entry {
        // Exponent of small factor i in bits 5i .. 5i+4. The exponent of 2
        // stops at 31 there: m itself tells the rest (see wide_twos_fit).
        std::uint64_t pattern;
        // The inverse modulo 2^64 of the odd part of the small primes'
        // product, which leaves the large prime (see wide_large).
        std::uint64_t inverse;
        std::uint8_t small_count;
        std::uint8_t bucket_count;  // of the small primes, those struck from the buckets
        std::uint8_t unused[6];     // named, so that a whole record is written in one store
    };

    std::int64_t span = 0;  // a power of two
    int span_bits = 0;
    std::int64_t reach = 0;
    std::int64_t max_m = 0;
    std::int64_t lo = 0;
    std::vector<entry> entries;        // per m of the window
    // Per m, max_small slots: its small primes, ascending, the unused ones
    // among the first read_slots holding 1.
    std::vector<std::uint32_t> small;

    static constexpr std::int64_t period = 5040;

    // A prime power q^k (those of 2 up to 2^31) with its next multiple.
    struct divisor {
        std::int64_t value;
        std::int64_t next;
        std::uint64_t inverse;  // of q modulo 2^64 for odd q, 1 for q = 2
        std::uint32_t prime;  // q
    };
    // Below span + reach, striking every window: the powers of 2, 3, 5 and
    // 7 not in the period, and the larger primes, each with its powers at
    // [power_begin[k], power_begin[k + 1]) of power_divisors.
    std::vector<divisor> periodic_powers;
    std::vector<divisor> prime_divisors;
    std::vector<std::uint32_t> power_begin;
    std::vector<divisor> power_divisors;
    // What no window changes, shared by the copies of a window: 2, 3, 5 and
    // 7 with their powers dividing 5040 fall on every m with a period of
    // 5040, and a window starts as a copy of these entries and slots; the
    // primes and powers from span + reach on, as listed (their next unused).
    struct fixed_part {
        std::vector<entry> periodic;
        std::vector<std::uint32_t> periodic_small;
        std::vector<divisor> bucket_primes;
        std::vector<divisor> bucket_powers;
    };
    std::shared_ptr<const fixed_part> fixed;
    // In flight:
    // A bucket prime in flight: its next multiple as an offset from the lo
    // of the window whose bucket holds it.
    struct due_prime {
        std::uint64_t inverse;
        std::uint32_t prime;
        std::uint32_t offset;
    };
    std::vector<std::vector<due_prime>> ring;  // per window modulo its size: the primes due there
    std::vector<due_prime> draining;           // the bucket being struck
    std::vector<divisor> power_heap;           // the powers, the least next on top
    std::vector<divisor> raised;               // the powers being moved on
    std::int64_t origin = 0;              // of the current run of windows
    std::int64_t window_number = -1;      // of the window filled last in the run, -1 for none
};

// Whether a window can factor every m <= max_m: 4 <= max_m < 2^42.
bool wide_window_covers(std::int64_t max_m);

// Prepares windows of span + reach consecutive m, able to factor every m <=
// max_m (wide_window_covers). span is a power of two, 0 <= reach <= span,
// and span + reach < 2^32; anything else throws std::invalid_argument.
wide_factor_window make_wide_factor_window(std::int64_t max_m, std::int64_t span, std::int64_t reach);

// Factors every m in [lo, lo + span + reach) (lo >= 1); those above max_m
// are left unfinished. Where lo is the last window's lo + span, the sieve
// goes on from there; anywhere else a new run of windows starts at lo.
void fill_wide_factor_window(wide_factor_window& window, std::int64_t lo);

// The prime above the bound that divides m = window.lo + i (m <= max_m in
// the filled window), or 1: m's odd part times the inverse of its sieved
// odd part, exact modulo 2^64. Read off only for the m a scan takes.
inline std::uint64_t wide_large(const wide_factor_window& window, std::size_t i) {
    const auto m = static_cast<std::uint64_t>(window.lo) + i;
    return window.entries[i].inverse * (m >> std::countr_zero(m));
}

// The exponent pattern of all of m's factors: the small ones', then 1 for
// the large prime when there is one.
inline std::uint64_t wide_pattern(const wide_factor_window::entry& e, std::uint64_t large) {
    return e.pattern | static_cast<std::uint64_t>(large > 1) << (5 * e.small_count);
}

// Whether the exponent of 2 in m stands in its pattern as it is: below 32.
inline bool wide_twos_fit(std::uint64_t m) { return (m & 0xFFFFFFFFULL) != 0; }

// m's prime powers (m <= max_m in the filled window), ascending, the large
// prime last with exponent 1: as factorize gives them. Returns the number
// written (at most max_small + 1).
int wide_factors_of(const wide_factor_window& window, std::int64_t m, std::uint64_t* primes, std::int32_t* exponents);

}  // namespace erdos
