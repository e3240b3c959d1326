// Counting one pair's witnesses for a shift without logarithm tables, without listing the divisors.
#include "search/untabled_count.hpp"

#include <algorithm>
#include <utility>

#include "tuning.hpp"

namespace erdos {

namespace {

__extension__ typedef unsigned __int128 uint128;

constexpr int max_factors = far_residue_factors::capacity;

// Residues modulo c <= 65535. A product of two residues fits 32 bits and is
// reduced by the shift's reciprocal. Both rings are passed by value: read
// through a reference (or the shift_residues) their fields would be
// reloaded after every store of a residue, which may alias them.
struct ring32 {
    std::uint64_t reciprocal;
    std::uint32_t c;
    std::uint32_t reduce(std::uint32_t x) const {
        return static_cast<std::uint32_t>((static_cast<uint128>(reciprocal * x) * c) >> 64);
    }
    std::uint32_t mul(std::uint32_t x, std::uint32_t y) const { return reduce(x * y); }
};

// Residues modulo any c below 2^31: a product of two fits 62 bits; the
// quotient by floor((2^64 - 1)/c) is short of the true one by at most 1.
struct ring64 {
    std::uint64_t reciprocal;
    std::uint32_t c;
    explicit ring64(std::uint32_t modulus) : reciprocal(~std::uint64_t{0} / modulus), c(modulus) {}
    std::uint32_t reduce(std::uint64_t x) const {
        const auto q = static_cast<std::uint64_t>((static_cast<uint128>(x) * reciprocal) >> 64);
        const std::uint64_t r = x - q * c;
        return static_cast<std::uint32_t>(r >= c ? r - c : r);
    }
    std::uint32_t mul(std::uint32_t x, std::uint32_t y) const { return reduce(static_cast<std::uint64_t>(x) * y); }
};

// The classes modulo c <= 65535 counted in a table of c counters.
struct table_marks {
    std::uint16_t* hits;
    void start(std::size_t) const {}
    void add(std::uint32_t r) const { ++hits[r]; }
    std::uint32_t get(std::uint32_t r) const { return hits[r]; }
    void clear(const std::uint32_t* marked, std::size_t n) const {
        for (std::size_t x = 0; x < n; ++x) hits[marked[x]] = 0;
    }
};

// The classes modulo a wider c in an open-addressed table at most a quarter
// full, so that a look-up of a residue not there stops after a probe or two.
struct hashed_marks {
    untabled_lists& lists;
    std::uint32_t* keys = nullptr;
    std::uint16_t* counts = nullptr;
    std::uint32_t mask = 0;
    int shift = 32;
    void start(std::size_t n) {
        int bits = 4;
        while ((std::size_t{1} << bits) < 4 * n) ++bits;
        const std::size_t size = std::size_t{1} << bits;
        if (lists.class_keys.size() < size) {
            lists.class_keys.assign(size, untabled_lists::empty_key);
            lists.class_counts.resize(size);
        }
        keys = lists.class_keys.data();
        counts = lists.class_counts.data();
        mask = static_cast<std::uint32_t>(size - 1);
        shift = 32 - bits;
    }
    std::uint32_t slot(std::uint32_t r) const { return (r * 0x9E3779B1U) >> shift; }
    void add(std::uint32_t r) const {
        std::uint32_t i = slot(r);
        while (keys[i] != r && keys[i] != untabled_lists::empty_key) i = (i + 1) & mask;
        if (keys[i] == r) {
            ++counts[i];
        } else {
            keys[i] = r;
            counts[i] = 1;
        }
    }
    std::uint32_t get(std::uint32_t r) const {
        for (std::uint32_t i = slot(r);; i = (i + 1) & mask) {
            if (keys[i] == r) return counts[i];
            if (keys[i] == untabled_lists::empty_key) return 0;
        }
    }
    void clear(const std::uint32_t*, std::size_t) const {
        std::fill(keys, keys + mask + 1, untabled_lists::empty_key);
    }
};

// Lists, from `start`, the residues of start times every product of the
// chosen prime powers (exponents 0 .. 2e). Returns the length.
template <typename Ring>
std::size_t expand(const Ring ring, const far_residue_factors& f, const int* which, int n, std::uint32_t start,
                   std::vector<std::uint32_t>& list, std::int64_t length_needed) {
    if (list.size() < static_cast<std::size_t>(length_needed)) list.resize(static_cast<std::size_t>(length_needed));
    std::uint32_t* out = list.data();
    out[0] = start;
    std::size_t length = 1;
    for (int j = 0; j < n; ++j) {
        // The list so far times q, q^2, ..., q^2e: each new entry is the one
        // a block before it times q.
        const int i = which[j];
        const std::size_t block = length;
        length = block * static_cast<std::size_t>(2 * f.exponent[i] + 1);
        const std::uint32_t r = f.residue[i];
        if (block == 1) {
            // The powers of the first prime: carried in a register, each
            // product waits on the one before it, not on a store of it.
            std::uint32_t power = out[0];
            for (std::size_t x = 1; x < length; ++x) out[x] = power = ring.mul(power, r);
        } else {
            for (std::size_t x = block; x < length; ++x) out[x] = ring.mul(out[x - block], r);
        }
    }
    return length;
}

// Whether the prime q divides c. Asked only of the few primes that could go
// into B, so a division is cheap enough.
bool divides_shift(std::uint32_t c, std::uint64_t q) { return q <= c && c % static_cast<std::uint32_t>(q) == 0; }

// How m^2 is cut for the meet in the middle: the factors of part B (units
// modulo c with the largest exponents first, while |B| stays below about
// sqrt(tau / untabled_meet_ratio)) and of part A (all the rest), tau_b the
// divisors of B and whole_b the residue of the whole of B.
struct meet_split {
    int in_a[max_factors];
    int in_b[max_factors];
    int na = 0;
    int nb = 0;
    std::int64_t tau_b = 1;
    std::uint32_t whole_b = 1;
};

template <typename Ring>
meet_split split_for_meet(const Ring ring, const far_residue_factors& f) {
    const std::uint32_t c = ring.c;
    meet_split split;
    split.whole_b = 1 % c;
    if (f.tau < tuning::untabled_meet_min_tau) {
        for (int k = 0; k < f.count; ++k) split.in_a[split.na++] = k;
        return split;
    }
    int order[max_factors];
    for (int k = 0; k < f.count; ++k) {
        int j = k;
        for (; j > 0 && f.exponent[order[j - 1]] < f.exponent[k]; --j) order[j] = order[j - 1];
        order[j] = k;
    }
    for (int j = 0; j < f.count; ++j) {
        const int k = order[j];
        const std::int64_t size = 2 * f.exponent[k] + 1;
        if (split.tau_b * size * split.tau_b * size * tuning::untabled_meet_ratio <= f.tau &&
            !divides_shift(c, f.prime[k])) {
            split.in_b[split.nb++] = k;
            split.tau_b *= size;
            for (int e = 0; e < 2 * f.exponent[k]; ++e) split.whole_b = ring.mul(split.whole_b, f.residue[k]);
        } else {
            split.in_a[split.na++] = k;
        }
    }
    return split;
}

// Without a part B: each divisor's residue compared with the two classes.
// Below the meet's least tau the list fits a fixed span; the places past its
// end hold c, which is no residue, so that the comparison runs the same
// number of steps for every pair.
template <typename Ring>
std::int64_t count_listed(const Ring ring, const far_residue_factors& f, const meet_split& split,
                          std::uint32_t minus_m, std::uint32_t minus_quarter, untabled_lists& lists) {
    const std::uint32_t c = ring.c;
    constexpr std::size_t span = static_cast<std::size_t>(tuning::untabled_meet_min_tau);
    if (lists.a_residues.size() < span) lists.a_residues.resize(span);
    if (f.tau <= static_cast<std::int64_t>(span)) {
        std::uint32_t* const to = lists.a_residues.data();
        for (std::size_t x = 0; x < span; ++x) to[x] = c;
    }
    const std::size_t length = expand(ring, f, split.in_a, split.na, split.whole_b, lists.a_residues, f.tau);
    const std::uint32_t* const all = lists.a_residues.data();
    auto is_witness = [&](std::uint32_t r) { return static_cast<int>((r == minus_m) | (r == minus_quarter)); };
    std::int64_t found = 0;
    if (length <= span) {  // a constant count of steps, which the compiler unrolls
        for (std::size_t x = 0; x < span; ++x) found += is_witness(all[x]);
    } else {
        for (std::size_t x = 0; x < length; ++x) found += is_witness(all[x]);
    }
    return found;
}

// A divisor of m^2 is a product a * b of a divisor a of the part A of m^2 and
// a divisor b of the part B, the rest. With b' = N_B / b, N_B the whole of
// part B, and every prime of B a unit modulo c, a * b = t exactly when
// a * N_B = t * b' (mod c): the classes t * b' are marked, and each a * N_B
// is looked up among them. No inverse is needed, and the cost is about
// |A| + 3|B| steps instead of |A| |B|.
template <typename Ring, typename Marks>
std::int64_t count_in_residues(const Ring ring, const far_residue_factors& f, std::uint32_t minus_m,
                               std::uint32_t minus_quarter, Marks& marks, untabled_lists& lists) {
    const std::uint32_t c = ring.c;
    const std::int64_t tau = f.tau;
    meet_split split = split_for_meet(ring, f);
    int* const in_a = split.in_a;
    const int na = split.na;
    const std::int64_t tau_b = split.tau_b;
    const std::uint32_t whole_b = split.whole_b;
    if (na == 0) return (whole_b == minus_m || whole_b == minus_quarter) ? 1 : 0;  // m = 1: the divisor 1 alone
    if (split.nb == 0) return count_listed(ring, f, split, minus_m, minus_quarter, lists);

    // Every product a * N_B of A, the factor of A with the most powers
    // stepped innermost, so that the list of the others is short.
    for (int j = 0; j + 1 < na; ++j) {
        if (f.exponent[in_a[j]] > f.exponent[in_a[na - 1]]) std::swap(in_a[j], in_a[na - 1]);
    }
    const int last = in_a[na - 1];
    std::uint32_t powers[2 * 63 + 1];
    const int power_count = 2 * f.exponent[last] + 1;
    powers[0] = 1 % c;
    for (int k = 1; k < power_count; ++k) powers[k] = ring.mul(powers[k - 1], f.residue[last]);
    std::size_t a_length = 1;
    const std::uint32_t* a_list = &whole_b;
    if (na > 1) {
        a_length = expand(ring, f, in_a, na - 1, whole_b, lists.a_residues, tau / tau_b);
        a_list = lists.a_residues.data();
    }
    auto walk_a = [&](auto&& hits_of) {
        std::int64_t found = 0;
        for (std::size_t x = 0; x < a_length; ++x) {
            const std::uint32_t a = a_list[x];
            found += hits_of(a);
            for (int k = 1; k < power_count; ++k) found += hits_of(ring.mul(a, powers[k]));
        }
        return found;
    };

    // The classes t * b', marked and remembered so that they can be cleared
    // afterwards.
    const std::size_t b_length = expand(ring, f, split.in_b, split.nb, 1 % c, lists.b_residues, 2 * tau_b);
    std::uint32_t* const marked = lists.b_residues.data();
    std::size_t mark_count = b_length;
    if (minus_m == minus_quarter) {
        for (std::size_t x = 0; x < b_length; ++x) marked[x] = ring.mul(minus_m, marked[x]);
    } else {
        for (std::size_t x = 0; x < b_length; ++x) {
            marked[b_length + x] = ring.mul(minus_quarter, marked[x]);
            marked[x] = ring.mul(minus_m, marked[x]);
        }
        mark_count = 2 * b_length;
    }
    marks.start(mark_count);
    for (std::size_t x = 0; x < mark_count; ++x) marks.add(marked[x]);
    const std::int64_t witnesses = walk_a([&](std::uint32_t r) { return marks.get(r); });
    marks.clear(marked, mark_count);
    return witnesses;
}

// m's prime powers off the window, their residues by ring.reduce.
template <typename Ring>
far_residue_factors gather(const Ring& ring, const factor_window& window, std::int64_t m) {
    far_residue_factors f;
    const auto i = static_cast<std::size_t>(m - window.lo);
    const std::uint16_t* slots = window.small.data() + i * factor_window::max_small;
    const factor_window::entry& entry = window.entries[i];
    for (int j = 0; j < entry.small_count; ++j) {
        const auto q = static_cast<std::uint32_t>(window.primes[slots[j]]);
        f.prime[j] = q;
        f.residue[j] = ring.reduce(q);
        f.exponent[j] = static_cast<int>((entry.pattern >> (5 * j)) & 31U);
        f.tau *= 2 * f.exponent[j] + 1;
    }
    f.count = entry.small_count;
    // The prime above the small ones, if any, written in any case and
    // counted only when there: a branch here would follow no pattern.
    const bool has_large = entry.large > 1;
    f.prime[f.count] = entry.large;
    f.residue[f.count] = ring.reduce(entry.large);
    f.exponent[f.count] = 1;
    f.tau *= has_large ? 3 : 1;
    f.count += has_large ? 1 : 0;
    return f;
}

template <typename Ring, typename Marks>
std::int64_t count_with(const Ring ring, const far_residue_factors& f, std::uint32_t m_residue, Marks& marks,
                        untabled_lists& lists) {
    const std::uint32_t minus_m = minus_of(ring.c, m_residue);
    return count_in_residues(ring, f, minus_m, minus_quarter_of(ring.c), marks, lists);
}

table_marks table_for(std::uint32_t c, untabled_lists& lists) {
    if (lists.hits.size() < c) lists.hits.resize(c, 0);
    return table_marks{lists.hits.data()};
}

}  // namespace

untabled_count count_untabled_witnesses(const shift_residues& shift, const factor_window& window,
                                            std::int64_t m, untabled_lists& lists) {
    const ring32 ring{shift.reciprocal, static_cast<std::uint32_t>(shift.c)};
    const far_residue_factors f = gather(ring, window, m);
    table_marks marks = table_for(ring.c, lists);
    return {count_with(ring, f, ring.reduce(static_cast<std::uint32_t>(m)), marks, lists), f.tau};
}

untabled_count count_any_shift_witnesses(std::uint32_t c, const factor_window& window, std::int64_t m,
                                           untabled_lists& lists) {
    const ring64 ring(c);
    const far_residue_factors f = gather(ring, window, m);
    hashed_marks marks{lists};
    return {count_with(ring, f, ring.reduce(static_cast<std::uint64_t>(m)), marks, lists), f.tau};
}

std::int64_t count_shift_witnesses(std::uint32_t c, far_residue_factors& f, std::uint32_t m_residue,
                                   untabled_lists& lists) {
    const ring64 ring(c);
    for (int i = 0; i < f.count; ++i) f.residue[i] = ring.reduce(f.prime[i]);
    if (c <= static_cast<std::uint32_t>(shift_residues::max_counted_shift)) {
        table_marks marks = table_for(c, lists);
        return count_with(ring, f, m_residue, marks, lists);
    }
    hashed_marks marks{lists};
    return count_with(ring, f, m_residue, marks, lists);
}

}  // namespace erdos
