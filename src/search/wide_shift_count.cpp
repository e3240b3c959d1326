// Counting one pair's witnesses for a shift above the byte tables, without listing the divisors.
#include "search/wide_shift_count.hpp"

#include "tuning.hpp"

namespace erdos {

namespace {

constexpr int max_factors = factor_window::max_factors;

// x * y mod c for residues below c <= 65535: the product fits 32 bits.
inline std::uint32_t mul_mod(const shift_residues& shift, std::uint32_t x, std::uint32_t y) {
    return reduce(shift, x * y);
}

// Lists, from `start`, the residues of start times every product of the
// chosen prime powers (exponents 0 .. 2e). Returns the length.
std::size_t expand(const shift_residues& shift, const std::uint32_t* residue, const int* exponent, const int* which,
                   int n, std::uint32_t start, std::vector<std::uint32_t>& list, std::int64_t length_needed) {
    if (list.size() < static_cast<std::size_t>(length_needed)) list.resize(static_cast<std::size_t>(length_needed));
    std::uint32_t* out = list.data();
    out[0] = start;
    std::size_t length = 1;
    for (int j = 0; j < n; ++j) {
        const int i = which[j];
        const std::size_t block = length;
        for (int k = 1; k <= 2 * exponent[i]; ++k) {
            const std::uint32_t* from = out + block * static_cast<std::size_t>(k - 1);
            std::uint32_t* to = out + block * static_cast<std::size_t>(k);
            for (std::size_t x = 0; x < block; ++x) to[x] = mul_mod(shift, from[x], residue[i]);
        }
        length = block * static_cast<std::size_t>(2 * exponent[i] + 1);
    }
    return length;
}

bool divides_shift(const shift_residues& shift, std::uint32_t q) {
    for (int j = 0; j < shift.shift_prime_count; ++j) {
        if (shift.shift_primes[j] == q) return true;
    }
    return false;
}

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
    std::uint32_t residue[max_factors];
    int exponent[max_factors];
    bool unit[max_factors];
    int count = 0;
    std::int64_t tau = 1;
    const auto i = static_cast<std::size_t>(m - window.lo);
    const std::uint16_t* slots = window.small.data() + i * factor_window::max_small;
    const factor_window::entry& entry = window.entries[i];
    for (int j = 0; j < entry.small_count; ++j) {
        const auto q = static_cast<std::uint32_t>(window.primes[slots[j]]);
        residue[count] = reduce(shift, q);
        exponent[count] = static_cast<int>((entry.pattern >> (5 * j)) & 31U);
        unit[count] = !divides_shift(shift, q);
        tau *= 2 * exponent[count] + 1;
        ++count;
    }
    if (entry.large > 1) {
        residue[count] = reduce(shift, entry.large);
        exponent[count] = 1;
        unit[count] = !divides_shift(shift, entry.large);
        tau *= 3;
        ++count;
    }

    // B: units with the largest exponents first, while |B| stays below about
    // sqrt(tau / meet_ratio); A: all the rest.
    int in_a[max_factors];
    int in_b[max_factors];
    int na = 0;
    int nb = 0;
    std::int64_t tau_b = 1;
    std::uint32_t whole_b = 1 % c;
    if (tau >= tuning::meet_min_tau) {
        int order[max_factors];
        for (int k = 0; k < count; ++k) {
            int j = k;
            for (; j > 0 && exponent[order[j - 1]] < exponent[k]; --j) order[j] = order[j - 1];
            order[j] = k;
        }
        for (int j = 0; j < count; ++j) {
            const int k = order[j];
            const std::int64_t size = 2 * exponent[k] + 1;
            if (unit[k] && tau_b * size * tau_b * size * tuning::meet_ratio <= tau) {
                in_b[nb++] = k;
                tau_b *= size;
                for (int e = 0; e < 2 * exponent[k]; ++e) whole_b = mul_mod(shift, whole_b, residue[k]);
            } else {
                in_a[na++] = k;
            }
        }
    } else {
        for (int k = 0; k < count; ++k) in_a[na++] = k;
    }

    const std::uint32_t m_residue = reduce(shift, static_cast<std::uint32_t>(m));
    const std::uint32_t minus_m = m_residue == 0 ? 0 : c - m_residue;
    const std::uint32_t minus_quarter = shift.minus_quarter;
    if (lists.hits.size() < c) lists.hits.resize(c, 0);
    std::uint16_t* const hits = lists.hits.data();
    const std::size_t b_length =
        expand(shift, residue, exponent, in_b, nb, 1 % c, lists.b_residues, tau_b);
    const std::uint32_t* b_list = lists.b_residues.data();
    for (std::size_t x = 0; x < b_length; ++x) {
        ++hits[mul_mod(shift, minus_m, b_list[x])];
        if (minus_m != minus_quarter) ++hits[mul_mod(shift, minus_quarter, b_list[x])];
    }

    const std::size_t a_length = expand(shift, residue, exponent, in_a, na, whole_b, lists.a_residues, tau / tau_b);
    const std::uint32_t* a_list = lists.a_residues.data();
    std::int64_t witnesses = 0;
    for (std::size_t x = 0; x < a_length; ++x) witnesses += hits[a_list[x]];

    for (std::size_t x = 0; x < b_length; ++x) {
        hits[mul_mod(shift, minus_m, b_list[x])] = 0;
        hits[mul_mod(shift, minus_quarter, b_list[x])] = 0;
    }
    return {witnesses, tau};
}

}  // namespace erdos
