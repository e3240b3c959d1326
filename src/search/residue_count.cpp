// Counting one pair's witnesses by residue tables: all residues listed, or a meet in the middle.
#include "search/residue_count.hpp"

#include <type_traits>

#include "tuning.hpp"

namespace erdos {

namespace {

// Fills the list with the residues of all products of the given prime powers
// (exponents 0 .. 2e), beginning with the empty product 1. Returns its length.
template <typename Factors>
std::size_t expand_residues(const shift_residues& shift, const Factors& factors, const int* which, int n,
                            std::vector<std::uint8_t>& list, std::int64_t length_needed) {
    if (list.size() < static_cast<std::size_t>(length_needed)) list.resize(static_cast<std::size_t>(length_needed));
    std::uint8_t* out = list.data();
    const auto c = static_cast<std::size_t>(shift.c);
    out[0] = 1;
    std::size_t length = 1;
    for (int j = 0; j < n; ++j) {
        const int i = which[j];
        const auto g = static_cast<std::uint8_t>(factors.residue[i]);
        std::uint8_t power = g;
        const std::size_t block = length;
        for (int k = 1; k <= 2 * factors.exponent[i]; ++k) {
            const std::uint8_t* row = shift.mul.data() + power * c;
            std::uint8_t* dest = out + block * static_cast<std::size_t>(k);
            for (std::size_t x = 0; x < block; ++x) dest[x] = row[out[x]];
            power = shift.mul[power * c + g];
        }
        length = block * static_cast<std::size_t>(2 * factors.exponent[i] + 1);
    }
    return length;
}

// With every residue a unit, the divisors are split into a larger part A,
// whose residues are listed, and a small part B, whose products b give the
// classes t/b that a divisor a of A must fall in: a meet in the middle that
// costs about |A| + 5|B| steps instead of |A||B|. Otherwise (or for few
// divisors) every residue is listed and looked up in the two classes.
template <typename Factors>
std::int64_t count_by_residues(const shift_residues& shift, const Factors& factors, std::uint8_t minus_m,
                               std::uint8_t minus_quarter, bool all_units, residue_lists& lists) {
    constexpr int max_factors = static_cast<int>(std::extent_v<decltype(Factors::exponent)>);
    int in_a[max_factors];
    int in_b[max_factors];
    int na = 0;
    int nb = 0;
    std::int64_t tau_b = 1;
    if (all_units && factors.tau >= tuning::meet_min_tau) {
        // Largest factors first into B while B stays below about sqrt(tau / ratio).
        int order[max_factors];
        for (int i = 0; i < factors.count; ++i) {
            int j = i;
            for (; j > 0 && factors.exponent[order[j - 1]] < factors.exponent[i]; --j) order[j] = order[j - 1];
            order[j] = i;
        }
        for (int j = 0; j < factors.count; ++j) {
            const int i = order[j];
            const std::int64_t size = 2 * factors.exponent[i] + 1;
            if (tau_b * size * tau_b * size * tuning::meet_ratio <= factors.tau) {
                in_b[nb++] = i;
                tau_b *= size;
            } else {
                in_a[na++] = i;
            }
        }
    } else {
        for (int i = 0; i < factors.count; ++i) in_a[na++] = i;
    }

    // target_count[r]: how many of the two classes, divided by some b of B,
    // the residue r of a divisor of A meets.
    std::uint32_t* const target_count = lists.target_count.data();
    const auto c = static_cast<std::size_t>(shift.c);
    const std::uint8_t* row_m = shift.mul.data() + minus_m * c;
    const std::uint8_t* row_quarter = shift.mul.data() + minus_quarter * c;
    std::size_t b_length = 1;
    const std::uint8_t* b_list = nullptr;
    if (nb > 0) {
        // Residues of 1/b, as products of the inverses of B's primes.
        Factors inverted = factors;
        for (int j = 0; j < nb; ++j) inverted.residue[in_b[j]] = shift.inverse[factors.residue[in_b[j]]];
        b_length = expand_residues(shift, inverted, in_b, nb, lists.inverse_residues, tau_b);
        b_list = lists.inverse_residues.data();
        for (std::size_t x = 0; x < b_length; ++x) {
            ++target_count[row_m[b_list[x]]];
            if (minus_m != minus_quarter) ++target_count[row_quarter[b_list[x]]];
        }
    } else {
        target_count[minus_m] = 1;
        target_count[minus_quarter] = 1;
    }

    const std::size_t a_length = expand_residues(shift, factors, in_a, na, lists.residues, factors.tau / tau_b);
    const std::uint8_t* a_list = lists.residues.data();
    std::int64_t count = 0;
    for (std::size_t x = 0; x < a_length; ++x) count += target_count[a_list[x]];

    if (nb > 0) {
        for (std::size_t x = 0; x < b_length; ++x) {
            target_count[row_m[b_list[x]]] = 0;
            target_count[row_quarter[b_list[x]]] = 0;
        }
    } else {
        target_count[minus_m] = 0;
        target_count[minus_quarter] = 0;
    }
    return count;
}

}  // namespace

std::int64_t count_witnesses_by_residues(const shift_residues& shift, const residue_factors& factors,
                                         std::uint8_t minus_m, std::uint8_t minus_quarter, bool all_units,
                                         residue_lists& lists) {
    return count_by_residues(shift, factors, minus_m, minus_quarter, all_units, lists);
}

std::int64_t count_witnesses_by_residues(const shift_residues& shift, const far_residue_factors& factors,
                                         std::uint8_t minus_m, std::uint8_t minus_quarter, bool all_units,
                                         residue_lists& lists) {
    return count_by_residues(shift, factors, minus_m, minus_quarter, all_units, lists);
}

}  // namespace erdos
