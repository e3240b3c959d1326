// Counting one pair's witnesses for a shift above the byte tables, without listing the divisors.
#include "search/wide_shift_count.hpp"

#include <utility>

#include "tuning.hpp"

namespace erdos {

namespace {

constexpr int max_factors = factor_window::max_factors;

// The shift's modulus and reciprocal held by value: read through the
// shift_residues they would be reloaded after every store of a residue,
// which may alias them.
struct modulus {
    std::uint64_t reciprocal;
    std::uint32_t c;
};

// x * y mod c for residues below c <= 65535: the product fits 32 bits.
inline std::uint32_t mul_mod(modulus shift, std::uint32_t x, std::uint32_t y) {
    const std::uint64_t low = shift.reciprocal * (x * y);
    __extension__ typedef unsigned __int128 uint128;
    return static_cast<std::uint32_t>((static_cast<uint128>(low) * shift.c) >> 64);
}

// Lists, from `start`, the residues of start times every product of the
// chosen prime powers (exponents 0 .. 2e). Returns the length.
std::size_t expand(modulus shift, const std::uint32_t* residue, const int* exponent, const int* which,
                   int n, std::uint32_t start, std::vector<std::uint32_t>& list, std::int64_t length_needed) {
    if (list.size() < static_cast<std::size_t>(length_needed)) list.resize(static_cast<std::size_t>(length_needed));
    std::uint32_t* out = list.data();
    out[0] = start;
    std::size_t length = 1;
    for (int j = 0; j < n; ++j) {
        // The list so far times q, q^2, ..., q^2e: each new entry is the one
        // a block before it times q.
        const int i = which[j];
        const std::size_t block = length;
        length = block * static_cast<std::size_t>(2 * exponent[i] + 1);
        const std::uint32_t r = residue[i];
        for (std::size_t x = block; x < length; ++x) out[x] = mul_mod(shift, out[x - block], r);
    }
    return length;
}

// Whether the prime q divides c. Asked only of the few primes that could go
// into B, so a division is cheap enough.
bool divides_shift(std::uint32_t c, std::uint32_t q) { return q <= c && c % q == 0; }

}  // namespace

// A divisor of m^2 is a product a * b of a divisor a of the part A of m^2 and
// a divisor b of the part B, the rest. With b' = N_B / b, N_B the whole of
// part B, and every prime of B a unit modulo c, a * b = t exactly when
// a * N_B = t * b' (mod c): the classes t * b' are marked in a table of c
// counters, and each a * N_B is looked up there. No inverse is needed, and
// the cost is about |A| + 3|B| steps instead of |A| |B|.
wide_shift_count count_wide_shift_witnesses(const shift_residues& shift, const factor_window& window,
                                            std::int64_t m, wide_shift_lists& lists) {
    const auto c = static_cast<std::uint32_t>(shift.c);
    const modulus mod{shift.reciprocal, c};
    std::uint32_t prime[max_factors];
    std::uint32_t residue[max_factors];
    int exponent[max_factors];
    int count = 0;
    std::int64_t tau = 1;
    const auto i = static_cast<std::size_t>(m - window.lo);
    const std::uint16_t* slots = window.small.data() + i * factor_window::max_small;
    const factor_window::entry& entry = window.entries[i];
    for (int j = 0; j < entry.small_count; ++j) {
        prime[count] = static_cast<std::uint32_t>(window.primes[slots[j]]);
        residue[count] = reduce(shift, prime[count]);
        exponent[count] = static_cast<int>((entry.pattern >> (5 * j)) & 31U);
        tau *= 2 * exponent[count] + 1;
        ++count;
    }
    if (entry.large > 1) {
        prime[count] = entry.large;
        residue[count] = reduce(shift, entry.large);
        exponent[count] = 1;
        tau *= 3;
        ++count;
    }
    const std::uint32_t m_residue = reduce(shift, static_cast<std::uint32_t>(m));
    const std::uint32_t minus_m = m_residue == 0 ? 0 : c - m_residue;
    const std::uint32_t minus_quarter = shift.minus_quarter;

    // B: units with the largest exponents first, while |B| stays below about
    // sqrt(tau / wide_meet_ratio); A: all the rest, its last factor walked
    // apart so that its products are tested as they are formed.
    int in_a[max_factors];
    int in_b[max_factors];
    int na = 0;
    int nb = 0;
    std::int64_t tau_b = 1;
    std::uint32_t whole_b = 1 % c;
    if (tau >= tuning::wide_meet_min_tau) {
        int order[max_factors];
        for (int k = 0; k < count; ++k) {
            int j = k;
            for (; j > 0 && exponent[order[j - 1]] < exponent[k]; --j) order[j] = order[j - 1];
            order[j] = k;
        }
        for (int j = 0; j < count; ++j) {
            const int k = order[j];
            const std::int64_t size = 2 * exponent[k] + 1;
            if (tau_b * size * tau_b * size * tuning::wide_meet_ratio <= tau && !divides_shift(c, prime[k])) {
                in_b[nb++] = k;
                tau_b *= size;
                for (int e = 0; e < 2 * exponent[k]; ++e) whole_b = mul_mod(mod, whole_b, residue[k]);
            } else {
                in_a[na++] = k;
            }
        }
    } else {
        for (int k = 0; k < count; ++k) in_a[na++] = k;
    }
    if (na == 0) {  // m = 1: the divisor 1 alone
        return {(whole_b == minus_m || whole_b == minus_quarter) ? 1 : 0, tau};
    }

    // Every product a * N_B of A, the factor of A with the most powers
    // stepped innermost, so that the list of the others is short.
    for (int j = 0; j + 1 < na; ++j) {
        if (exponent[in_a[j]] > exponent[in_a[na - 1]]) std::swap(in_a[j], in_a[na - 1]);
    }
    const int last = in_a[na - 1];
    std::uint32_t powers[2 * 31 + 1];
    const int power_count = 2 * exponent[last] + 1;
    powers[0] = 1 % c;
    for (int k = 1; k < power_count; ++k) powers[k] = mul_mod(mod, powers[k - 1], residue[last]);
    std::size_t a_length = 1;
    const std::uint32_t* a_list = &whole_b;
    if (na > 1) {
        a_length = expand(mod, residue, exponent, in_a, na - 1, whole_b, lists.a_residues, tau / tau_b);
        a_list = lists.a_residues.data();
    }
    auto walk_a = [&](auto&& hits_of) {
        std::int64_t found = 0;
        for (std::size_t x = 0; x < a_length; ++x) {
            const std::uint32_t a = a_list[x];
            found += hits_of(a);
            for (int k = 1; k < power_count; ++k) found += hits_of(mul_mod(mod, a, powers[k]));
        }
        return found;
    };
    if (nb == 0) {  // no B: each product is compared with the two classes
        return {walk_a([&](std::uint32_t r) { return static_cast<int>(r == minus_m || r == minus_quarter); }), tau};
    }

    // The classes t * b', counted in the table and remembered so that they
    // can be cleared afterwards.
    if (lists.hits.size() < c) lists.hits.resize(c, 0);
    std::uint16_t* const hits = lists.hits.data();
    const std::size_t b_length = expand(mod, residue, exponent, in_b, nb, 1 % c, lists.b_residues, 2 * tau_b);
    std::uint32_t* const marked = lists.b_residues.data();
    std::size_t mark_count = b_length;
    if (minus_m == minus_quarter) {
        for (std::size_t x = 0; x < b_length; ++x) marked[x] = mul_mod(mod, minus_m, marked[x]);
    } else {
        for (std::size_t x = 0; x < b_length; ++x) {
            marked[b_length + x] = mul_mod(mod, minus_quarter, marked[x]);
            marked[x] = mul_mod(mod, minus_m, marked[x]);
        }
        mark_count = 2 * b_length;
    }
    for (std::size_t x = 0; x < mark_count; ++x) ++hits[marked[x]];
    const std::int64_t witnesses = walk_a([&](std::uint32_t r) { return hits[r]; });
    for (std::size_t x = 0; x < mark_count; ++x) hits[marked[x]] = 0;
    return {witnesses, tau};
}

}  // namespace erdos
