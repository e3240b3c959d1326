#include "search/fast_scan.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include <emmintrin.h>

#include "numtheory/divisors.hpp"
#include "search/scan_prime.hpp"
#include "search/shift_list.hpp"

namespace erdos {

namespace {

constexpr int max_factors = factor_window::max_small + 1;

// A pair's witness count and its number of divisors, together: both are
// below 2^16, since tau(m^2) < 2^16 for every m < 2^30 (at most 40095 for
// the m a run meets, m <= 2^29 + 2).
inline std::uint32_t tally(std::int64_t count, std::int64_t tau) {
    return static_cast<std::uint32_t>(count) | static_cast<std::uint32_t>(tau) << 16;
}
inline std::uint32_t tally_count(std::uint32_t t) { return t & 0xFFFFU; }
inline std::uint32_t tally_tau(std::uint32_t t) { return t >> 16; }

// m's prime powers with their residues modulo one shift.
struct residue_factors {
    int count = 0;
    std::int64_t tau = 1;  // number of divisors of m^2
    std::int64_t prime[max_factors];
    std::int32_t exponent[max_factors];
    std::uint8_t residue[max_factors];
};

// Fills the list with the residues of all products of the given prime powers
// (exponents 0 .. 2e), beginning with the empty product 1. Returns its length.
std::size_t expand_residues(const shift_residues& s, const residue_factors& f, const int* which, int n,
                            std::vector<std::uint8_t>& list, std::int64_t length_needed) {
    if (list.size() < static_cast<std::size_t>(length_needed)) list.resize(static_cast<std::size_t>(length_needed));
    std::uint8_t* out = list.data();
    const auto c = static_cast<std::size_t>(s.c);
    out[0] = 1;
    std::size_t length = 1;
    for (int j = 0; j < n; ++j) {
        const int i = which[j];
        const std::uint8_t g = f.residue[i];
        std::uint8_t power = g;
        const std::size_t block = length;
        for (int k = 1; k <= 2 * f.exponent[i]; ++k) {
            const std::uint8_t* row = s.mul.data() + power * c;
            std::uint8_t* dest = out + block * static_cast<std::size_t>(k);
            for (std::size_t x = 0; x < block; ++x) dest[x] = row[out[x]];
            power = s.mul[power * c + g];
        }
        length = block * static_cast<std::size_t>(2 * f.exponent[i] + 1);
    }
    return length;
}

// Number of divisors d of m^2 with d = t1 or d = t2 (mod c), c tabled. With
// every residue a unit, the divisors are split into a larger part A, whose
// residues are listed, and a small part B, whose products b give the classes
// t/b that a divisor a of A must fall in: a meet in the middle that costs about
// |A| + 5|B| steps instead of |A||B|.
std::int64_t count_tabled(const shift_residues& s, const residue_factors& f, std::uint8_t t1, std::uint8_t t2,
                          bool all_units, scan_scratch& scratch) {
    int in_a[max_factors];
    int in_b[max_factors];
    int na = 0;
    int nb = 0;
    std::int64_t tau_b = 1;
    if (all_units && f.tau >= 45) {
        // Largest factors first into B while B stays below about sqrt(tau / 5).
        int order[max_factors];
        for (int i = 0; i < f.count; ++i) {
            int j = i;
            for (; j > 0 && f.exponent[order[j - 1]] < f.exponent[i]; --j) order[j] = order[j - 1];
            order[j] = i;
        }
        for (int j = 0; j < f.count; ++j) {
            const int i = order[j];
            const std::int64_t size = 2 * f.exponent[i] + 1;
            if (tau_b * size * tau_b * size * 5 <= f.tau) {
                in_b[nb++] = i;
                tau_b *= size;
            } else {
                in_a[na++] = i;
            }
        }
    } else {
        for (int i = 0; i < f.count; ++i) in_a[na++] = i;
    }

    std::uint32_t* const tc = scratch.target_count.data();
    const auto c = static_cast<std::size_t>(s.c);
    const std::uint8_t* row1 = s.mul.data() + t1 * c;
    const std::uint8_t* row2 = s.mul.data() + t2 * c;
    std::size_t b_length = 1;
    const std::uint8_t* b_list = nullptr;
    if (nb > 0) {
        // Residues of 1/b, as products of the inverses of B's primes.
        residue_factors inverted = f;
        for (int j = 0; j < nb; ++j) inverted.residue[in_b[j]] = s.inverse[f.residue[in_b[j]]];
        b_length = expand_residues(s, inverted, in_b, nb, scratch.inverse_residues, tau_b);
        b_list = scratch.inverse_residues.data();
        for (std::size_t x = 0; x < b_length; ++x) {
            ++tc[row1[b_list[x]]];
            if (t1 != t2) ++tc[row2[b_list[x]]];
        }
    } else {
        tc[t1] = 1;
        tc[t2] = 1;
    }

    const std::size_t a_length = expand_residues(s, f, in_a, na, scratch.residues, f.tau / tau_b);
    const std::uint8_t* a_list = scratch.residues.data();
    std::int64_t count = 0;
    for (std::size_t x = 0; x < a_length; ++x) count += tc[a_list[x]];

    if (nb > 0) {
        for (std::size_t x = 0; x < b_length; ++x) {
            tc[row1[b_list[x]]] = 0;
            tc[row2[b_list[x]]] = 0;
        }
    } else {
        tc[t1] = 0;
        tc[t2] = 0;
    }
    return count;
}

// Sixteen lanes of logarithm pairs (two bytes each), as one 32-byte vector:
// one AVX2 register where the processor has it, two SSE2 registers otherwise.
typedef std::uint8_t bytes32 __attribute__((vector_size(32)));
typedef std::int16_t lanes16 __attribute__((vector_size(32)));
typedef std::uint16_t counts16 __attribute__((vector_size(32)));  // wraps, as counters should

#define ERDOS_INLINE inline __attribute__((always_inline))

ERDOS_INLINE bytes32 load_lanes(const std::uint16_t* p) {
    bytes32 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Adds two logarithm pairs byte by byte, each byte modulo its order: with
// both inputs below the order, min(s, s - order) is s reduced (the wrapped
// difference exceeds s exactly when s < order).
ERDOS_INLINE bytes32 add_logs(bytes32 x, bytes32 y, bytes32 order) {
    const bytes32 sum = x + y;
    const bytes32 wrapped = sum - order;
    return sum < wrapped ? sum : wrapped;
}

// -x modulo the order, byte by byte: order - x, or 0 for x = 0.
ERDOS_INLINE bytes32 negate_logs(bytes32 x, bytes32 order) {
    const bytes32 a = order - x;
    const bytes32 b = bytes32{} - x;
    return a < b ? a : b;
}

// A lane counts one for every pair of equal 16-bit logarithms.
ERDOS_INLINE lanes16 matches(bytes32 sum, bytes32 t1, bytes32 t2) {
    return reinterpret_cast<lanes16>(reinterpret_cast<lanes16>(sum) == reinterpret_cast<lanes16>(t1)) |
           reinterpret_cast<lanes16>(reinterpret_cast<lanes16>(sum) == reinterpret_cast<lanes16>(t2));
}

// Counts, lane by lane, the targets k (one divisor each) that a sum meets.
// Like every function here that takes or returns a 32-byte vector, it must
// be inlined: called out of line from the AVX2 build of the kernel it would
// receive its vectors by another convention (no lambdas for that reason).
ERDOS_INLINE void add_hits(counts16& hits, bytes32 sum, const bytes32* t1, const bytes32* t2, int powers) {
    for (int k = 0; k < powers; ++k) hits -= reinterpret_cast<counts16>(matches(sum, t1[k], t2[k]));
}

// Counts the witnesses of the pairs of a batch, which share one exponent
// pattern, in logarithms: a divisor is an exponent vector k, its logarithm the
// sum of k_i * log g_i, and it is a witness when that sum is the logarithm of
// t1 or of t2. The powers of the folded factor (most exponents) are moved
// into the targets, log t - k * log g_f; the vectors of the other factors are
// walked like an odometer, identically in every lane. The last walked factors
// are expanded once into a list of their sums, so that the odometer turns
// only for the first ones and each of its steps meets a whole list.
constexpr int max_targets = 2 * 31 + 1;
constexpr int max_inner = 64;  // at least 2e + 1 for every exponent e of an m < 2^30

// The walk, with the number of folded powers fixed at compile time for the
// common patterns so that the tests unroll and the targets stay in
// registers; 0 means "powers, at run time".
template <int Powers>
ERDOS_INLINE counts16 walk_sums(int powers, const bytes32* target1, const bytes32* target2, int walked,
                               const std::int32_t* exponent, const bytes32* logs, bytes32 order) {
    if constexpr (Powers != 0) powers = Powers;
    bytes32 t1[Powers == 0 ? max_targets : Powers];
    bytes32 t2[Powers == 0 ? max_targets : Powers];
    for (int k = 0; k < powers; ++k) {
        t1[k] = target1[k];
        t2[k] = target2[k];
    }
    // The sums over the factors [outer, walked), as many as the list holds.
    bytes32 inner[max_inner];
    inner[0] = bytes32{};
    int inner_count = 1;
    int outer = walked;
    while (outer > 0 && inner_count * (2 * exponent[outer - 1] + 1) <= max_inner) {
        --outer;
        const bytes32 log = logs[outer];
        for (int k = 1; k <= 2 * exponent[outer]; ++k) {
            for (int x = 0; x < inner_count; ++x) {
                inner[k * inner_count + x] = add_logs(inner[(k - 1) * inner_count + x], log, order);
            }
        }
        inner_count *= 2 * exponent[outer] + 1;
    }

    // A lane counts at most its number of divisors, below 2^16 for every m < 2^30.
    counts16 hits{};
    if (outer == 0) {
        for (int x = 0; x < inner_count; ++x) add_hits(hits, inner[x], t1, t2, powers);
        return hits;
    }
    int digit[max_factors] = {};
    bytes32 prefix[max_factors];  // prefix[i]: the sum over the outer factors before i
    for (int i = 0; i <= outer; ++i) prefix[i] = bytes32{};
    while (true) {
        const bytes32 base = prefix[outer];
        for (int x = 0; x < inner_count; ++x) add_hits(hits, add_logs(base, inner[x], order), t1, t2, powers);
        int i = outer - 1;
        while (i >= 0 && digit[i] == 2 * exponent[i]) --i;
        if (i < 0) return hits;
        ++digit[i];
        // prefix[i + 1] = prefix[i] + digit[i] * log[i]; deeper ones restart from it.
        prefix[i + 1] = add_logs(digit[i] == 1 ? prefix[i] : prefix[i + 1], logs[i], order);
        for (int j = i + 1; j < outer; ++j) {
            digit[j] = 0;
            prefix[j + 1] = prefix[i + 1];
        }
    }
}

ERDOS_INLINE void count_batch_body(const pattern_bucket& bucket, int lanes, std::uint32_t tau, std::uint32_t* tallies) {
    const lane_batch& batch = bucket.batch;
    const bytes32 order = load_lanes(batch.order);
    // The factors walked by the odometer, and their logarithms.
    int walked = 0;
    std::int32_t exponent[max_factors];
    bytes32 logs[max_factors];
    for (int i = 0; i < bucket.factors; ++i) {
        if (i == bucket.folded) continue;
        exponent[walked] = bucket.exponent[i];
        logs[walked++] = load_lanes(batch.logs[i]);
    }

    // The first class is -m: the lanes hold log -1, and log m is the sum of
    // each factor's logarithm times its exponent.
    bytes32 target1[max_targets];
    bytes32 target2[max_targets];
    bytes32 minus_m = load_lanes(batch.t1);
    for (int i = 0; i < bucket.factors; ++i) {
        const bytes32 log = load_lanes(batch.logs[i]);
        for (int e = 0; e < bucket.exponent[i]; ++e) minus_m = add_logs(minus_m, log, order);
    }
    target1[0] = minus_m;
    target2[0] = load_lanes(batch.t2);
    int powers = 1;
    if (bucket.factors > 0) {
        powers = 2 * bucket.exponent[bucket.folded] + 1;
        const bytes32 step = negate_logs(load_lanes(batch.logs[bucket.folded]), order);
        for (int k = 1; k < powers; ++k) {
            target1[k] = add_logs(target1[k - 1], step, order);
            target2[k] = add_logs(target2[k - 1], step, order);
        }
    }

    counts16 hits;
    switch (powers) {
        case 3: hits = walk_sums<3>(powers, target1, target2, walked, exponent, logs, order); break;
        case 5: hits = walk_sums<5>(powers, target1, target2, walked, exponent, logs, order); break;
        case 7: hits = walk_sums<7>(powers, target1, target2, walked, exponent, logs, order); break;
        default: hits = walk_sums<0>(powers, target1, target2, walked, exponent, logs, order); break;
    }
    std::uint16_t counts[lane_batch::width];
    std::memcpy(counts, &hits, sizeof counts);
    for (int lane = 0; lane < lanes; ++lane) tallies[batch.pair[lane]] = tally(counts[lane], tau);
}

// The same kernel built twice: for every x86-64 processor, and for those
// with AVX2, where each 32-byte vector is one register. Integer arithmetic
// only, so both give the same counts.
void count_batch_baseline(const pattern_bucket& bucket, int lanes, std::uint32_t tau, std::uint32_t* tallies) {
    count_batch_body(bucket, lanes, tau, tallies);
}

__attribute__((target("avx2"))) void count_batch_avx2(const pattern_bucket& bucket, int lanes, std::uint32_t tau,
                                                      std::uint32_t* tallies) {
    count_batch_body(bucket, lanes, tau, tallies);
}

void count_batch(const pattern_bucket& bucket, int lanes, std::uint32_t tau, std::uint32_t* tallies, bool wide) {
    if (wide) {
        count_batch_avx2(bucket, lanes, tau, tallies);
    } else {
        count_batch_baseline(bucket, lanes, tau, tallies);
    }
}

// The first witness in divisor order (exponent of the smallest prime slowest),
// walking the exponent vectors like an odometer and stopping at the first hit.
// The powers of the last factor are stepped in a tight loop through its row
// of the multiplication table.
shift_witnesses first_witness_tabled(const shift_residues& s, const residue_factors& f, std::uint8_t t1,
                                     std::uint8_t t2) {
    const auto c = static_cast<std::size_t>(s.c);
    const auto one = static_cast<std::uint8_t>(1 % s.c);
    auto hit = [&](std::uint8_t r, std::int64_t d) {
        return shift_witnesses{1, d, (r == t1 ? 1 : 0) + (r == t2 ? 2 : 0)};
    };
    const int n = f.count;
    if (n == 0) return one == t1 || one == t2 ? hit(one, 1) : shift_witnesses{};
    const int last = n - 1;
    const std::uint8_t* const last_row = s.mul.data() + f.residue[last] * c;
    const int last_powers = 2 * f.exponent[last];
    const std::int64_t last_prime = f.prime[last];
    int digit[max_factors];
    std::uint8_t prefix_residue[max_factors + 1];  // over the factors before i
    std::int64_t prefix_value[max_factors + 1];
    for (int i = 0; i < n; ++i) {
        digit[i] = 0;
        prefix_residue[i] = one;
        prefix_value[i] = 1;
    }
    while (true) {
        std::uint8_t r = prefix_residue[last];
        std::int64_t d = prefix_value[last];
        for (int k = 0;; ++k) {
            if (r == t1 || r == t2) return hit(r, d);
            if (k == last_powers) break;
            r = last_row[r];
            d *= last_prime;
        }
        int i = last - 1;
        while (i >= 0 && digit[i] == 2 * f.exponent[i]) --i;
        if (i < 0) return {};  // no witness at all
        ++digit[i];
        // prefix[i + 1] = prefix[i] * g_i^digit[i]; deeper ones restart from it.
        const std::uint8_t base_residue = digit[i] == 1 ? prefix_residue[i] : prefix_residue[i + 1];
        const std::int64_t base_value = digit[i] == 1 ? prefix_value[i] : prefix_value[i + 1];
        prefix_residue[i + 1] = s.mul[base_residue * c + f.residue[i]];
        prefix_value[i + 1] = base_value * f.prime[i];
        for (int j = i + 1; j < last; ++j) {
            digit[j] = 0;
            prefix_residue[j + 1] = prefix_residue[i + 1];
            prefix_value[j + 1] = prefix_value[i + 1];
        }
    }
}

}  // namespace

scan_plan make_scan_plan(std::int32_t c_max, const std::vector<std::int32_t>& sieving_primes) {
    scan_plan plan;
    shift_table shifts = build_shift_list(c_max);
    plan.shift_list = std::move(shifts.shift_list);
    plan.shift_count = plan.shift_list.size();
    plan.weight_total = shifts.weight_total;
    plan.residues = build_shift_residues(plan.shift_list, sieving_primes);
    plan.all_logs = std::all_of(plan.residues.begin(), plan.residues.end(),
                                [](const shift_residues& s) { return s.has_logs; });
    return plan;
}

namespace {

// m's prime powers, ascending, with their residues modulo the shift.
residue_factors gather_factors(const shift_residues& s, const factor_window& window, std::int64_t m) {
    residue_factors f;
    const auto i = static_cast<std::size_t>(m - window.lo);
    const std::uint16_t* slots = window.small.data() + i * factor_window::max_small;
    const factor_window::entry& e = window.entries[i];
    for (int j = 0; j < e.small_count; ++j) {
        const std::uint16_t index = slots[j];
        f.prime[f.count] = window.primes[index];
        f.exponent[f.count] = static_cast<std::int32_t>((e.pattern >> (5 * j)) & 31U);
        f.residue[f.count] = s.prime_residue[index];
        f.tau *= 2 * f.exponent[f.count] + 1;
        ++f.count;
    }
    if (const std::uint32_t large = e.large; large > 1) {
        f.prime[f.count] = large;
        f.exponent[f.count] = 1;
        f.residue[f.count] = static_cast<std::uint8_t>(reduce(s, large));
        f.tau *= 3;
        ++f.count;
    }
    return f;
}

// The residue of -m, the class of the witnesses of the first congruence.
std::uint8_t negated(const shift_residues& s, std::uint32_t m_residue) {
    return static_cast<std::uint8_t>(m_residue == 0 ? 0 : static_cast<std::uint32_t>(s.c) - m_residue);
}

// Where a pattern's search starts in a table of mask + 1 places.
inline std::size_t home_slot(std::uint64_t key, std::size_t mask) {
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ULL) >> 40) & mask;
}

// Opens the bucket of a pattern not seen before at `slot`, its free place
// in the table. Returns the bucket's index.
__attribute__((noinline)) std::size_t open_bucket(scan_scratch& scratch, std::uint64_t key, std::size_t slot) {
    if (scratch.buckets.size() * 2 >= scratch.bucket_slots.size()) {
        // Keep the table at most half full: double it and place every bucket
        // again, then look for the key's place anew.
        scratch.bucket_slots.assign(scratch.bucket_slots.size() * 2, bucket_slot{});
        const std::size_t wider = scratch.bucket_slots.size() - 1;
        for (std::size_t b = 0; b < scratch.buckets.size(); ++b) {
            const std::uint64_t k = scratch.buckets[b].key;
            std::size_t s = home_slot(k, wider);
            while (scratch.bucket_slots[s].bucket >= 0) s = (s + 1) & wider;
            scratch.bucket_slots[s] = {k, static_cast<std::int32_t>(b)};
        }
        slot = home_slot(key, wider);
        while (scratch.bucket_slots[slot].bucket >= 0) slot = (slot + 1) & wider;
    }
    const std::size_t index = scratch.buckets.size();
    scratch.bucket_slots[slot] = {key, static_cast<std::int32_t>(index)};
    pattern_bucket& bucket = scratch.buckets.emplace_back();
    bucket_state& state = scratch.states.emplace_back();
    bucket.key = key;
    for (std::uint64_t rest = key; rest != 0; rest >>= 5) {
        const auto e = static_cast<std::int32_t>(rest & 31U);
        if (bucket.factors == 0 || e > bucket.exponent[bucket.folded]) bucket.folded = bucket.factors;
        bucket.exponent[bucket.factors++] = e;
        state.tau *= static_cast<std::uint32_t>(2 * e + 1);
    }
    return index;
}

// The index of the bucket of an exponent pattern, opened on first sight.
ERDOS_INLINE std::size_t bucket_for(scan_scratch& scratch, std::uint64_t key) {
    const std::size_t mask = scratch.bucket_slots.size() - 1;
    std::size_t slot = home_slot(key, mask);
    while (scratch.bucket_slots[slot].bucket >= 0) {
        if (scratch.bucket_slots[slot].key == key) return static_cast<std::size_t>(scratch.bucket_slots[slot].bucket);
        slot = (slot + 1) & mask;
    }
    return open_bucket(scratch, key, slot);
}

// Counts a partly filled batch. The vector kernel costs the same for one
// lane as for sixteen, about tau/2 steps for the batch, while the meet in
// the middle costs about 2 sqrt(5 tau) steps per pair; a few lanes of a
// pattern with many divisors are counted pair by pair. The unused lanes of a
// batch count whatever they hold, and their counts are never read.
void flush_batch(pattern_bucket& bucket, bucket_state& state, const scan_plan& plan, scan_scratch& scratch) {
    const lane_batch& batch = bucket.batch;
    const int lanes = state.lanes;
    if (lanes == 0) return;
    state.lanes = 0;
    const double tau = state.tau;
    if (lanes * (2.0 * std::sqrt(5.0 * tau) + 30.0) >= tau / 2.0 + 40.0) {
        count_batch(bucket, lanes, state.tau, scratch.tallies.data(), scratch.wide_vectors);
        return;
    }
    const std::size_t shifts = plan.residues.size();
    for (int lane = 0; lane < lanes; ++lane) {
        const std::uint32_t pair = batch.pair[lane];
        const shift_residues& s = plan.residues[pair % shifts];
        const auto c = static_cast<std::size_t>(s.c);
        residue_factors f;
        f.count = bucket.factors;
        f.tau = state.tau;
        std::uint8_t minus_m = unit_of_log(s, batch.t1[lane]);
        for (int i = 0; i < bucket.factors; ++i) {
            f.exponent[i] = bucket.exponent[i];
            f.residue[i] = unit_of_log(s, batch.logs[i][lane]);
            for (int e = 0; e < f.exponent[i]; ++e) minus_m = s.mul[minus_m * c + f.residue[i]];
        }
        const auto t2 = static_cast<std::uint8_t>(s.target_4d);
        scratch.tallies[pair] = tally(count_tabled(s, f, minus_m, t2, true, scratch), state.tau);
    }
}

// m values sieved at a time, besides the reach of the shifts.
constexpr std::int64_t window_span = std::int64_t{1} << 13;

// Queues the pair (prime j, shift k), whose m lies in the filled window, with
// the others of its exponent pattern; the batch is counted as soon as its
// lanes are full. The shift must have logarithms and m must be a unit.
ERDOS_INLINE void queue_pair(const shift_residues& s, std::int64_t m, std::uint32_t pair, const factor_window& window,
                             scan_scratch& scratch) {
    const auto i = static_cast<std::size_t>(m - window.lo);
    const factor_window::entry& e = window.entries[i];
    const std::size_t b = bucket_for(scratch, e.pattern);
    bucket_state& state = scratch.states[b];
    lane_batch& batch = scratch.buckets[b].batch;
    const int lane = state.lanes++;
    // Most m have at most four small primes: those four slots are copied
    // whatever the count, and the large prime's logarithm is stored after
    // the small ones even when there is none (1, log 0), so that the
    // pattern, not a branch, says what counts. Unused slots hold valid
    // indices too: every window fills all of them.
    const std::uint16_t* slots = window.small.data() + i * factor_window::max_small;
    const std::uint16_t* prime_log = s.prime_log.data();
    const int small = e.small_count;
    batch.logs[0][lane] = prime_log[slots[0]];
    batch.logs[1][lane] = prime_log[slots[1]];
    batch.logs[2][lane] = prime_log[slots[2]];
    batch.logs[3][lane] = prime_log[slots[3]];
    for (int f = 4; f < small; ++f) batch.logs[f][lane] = prime_log[slots[f]];
    batch.logs[small][lane] = s.log_of[reduce(s, e.large)];
    batch.t1[lane] = s.minus_one_log;
    batch.t2[lane] = s.target_4d_log;
    batch.order[lane] = s.log_order;
    batch.pair[lane] = pair;
    if (state.lanes == lane_batch::width) {
        count_batch(scratch.buckets[b], lane_batch::width, state.tau, scratch.tallies.data(), scratch.wide_vectors);
        state.lanes = 0;
    }
}

// The pair (prime j, shift k) whichever way suits it. Before a prime has its
// least successful shift, the shift is first walked in divisor order up to
// its first witness: the walk that finds one fixes least_c, first_d and
// branch, and a walk that finds none proves the shift has no witness, so it
// need not be counted.
void scan_pair(std::int32_t p, std::size_t k, std::uint32_t pair, const scan_plan& plan, const factor_window& window,
               scan_scratch& scratch, prime_scan& scan) {
    const shift_residues& s = plan.residues[k];
    const std::int64_t m = (static_cast<std::int64_t>(p) + s.c) / 4;
    auto settle_least = [&](const shift_witnesses& found) {
        scan.has_witness = true;
        scan.least_c = s.c;
        scan.first_d = found.first_d;
        scan.branch = found.branch;
        scan.first_m = m;
    };

    if (s.c > shift_residues::max_tabled) {
        // Wide shifts: list the divisors and test each, as the plain scan does.
        const divisor_list divisors = divisors_of_square(window_factor_list(window, m));
        const shift_witnesses found = find_shift_witnesses(m, s.c, divisors);
        scratch.tallies[pair] = tally(found.count, divisors.size());
        if (found.count > 0 && !scan.has_witness) settle_least(found);
        return;
    }
    // Every divisor of m^2 is a unit modulo c exactly when m is: for a prime
    // p that fails only when p | c.
    const std::uint32_t m_residue = reduce(s, static_cast<std::uint32_t>(m));
    const bool units = s.inverse[m_residue] != 0;
    if (!scan.has_witness || !s.has_logs || !units) {
        const residue_factors f = gather_factors(s, window, m);
        const std::uint8_t t1 = negated(s, m_residue);
        const auto t2 = static_cast<std::uint8_t>(s.target_4d);
        if (!scan.has_witness) {
            const shift_witnesses found = first_witness_tabled(s, f, t1, t2);
            if (found.count == 0) return;  // no witness at all: the count stays 0
            settle_least(found);
        }
        if (!s.has_logs || !units) {
            scratch.tallies[pair] = tally(count_tabled(s, f, t1, t2, units, scratch), f.tau);
            return;
        }
    }
    queue_pair(s, m, pair, window, scratch);
}

// Scans every shift of the primes j in [first, last), whose m all lie in the
// filled window. Once a prime has its least successful shift, the rest need
// only be queued for counting, when every shift has logarithms and the prime
// exceeds every shift (so that each m is a unit).
void queue_primes(const std::int32_t* primes, std::size_t first, std::size_t last, const scan_plan& plan,
                  const factor_window& window, scan_scratch& scratch, prime_scan* out) {
    const std::size_t shifts = plan.residues.size();
    const bool only_units = plan.all_logs && primes[first] > plan.shift_list.back();
    for (std::size_t j = first; j < last; ++j) {
        prime_scan& scan = out[j];
        scan = prime_scan{};
        scan.p = primes[j];
        std::size_t k = 0;
        for (; k < shifts && !(only_units && scan.has_witness); ++k) {
            scan_pair(primes[j], k, static_cast<std::uint32_t>(j * shifts + k), plan, window, scratch, scan);
        }
        for (; k < shifts; ++k) {
            const shift_residues& s = plan.residues[k];
            const std::int64_t m = (static_cast<std::int64_t>(primes[j]) + s.c) >> 2;
            queue_pair(s, m, static_cast<std::uint32_t>(j * shifts + k), window, scratch);
        }
    }
}

}  // namespace

void scan_primes_fast(const std::int32_t* primes, std::size_t n, const scan_plan& plan, factor_window& window,
                      scan_scratch& scratch, prime_scan* out) {
    const std::size_t shifts = plan.residues.size();
    scratch.tallies.assign(n * shifts, 0);
    scratch.buckets.clear();
    scratch.states.clear();
    std::fill(scratch.bucket_slots.begin(), scratch.bucket_slots.end(), bucket_slot{});

    // Factor the m of the primes a window at a time and queue their pairs.
    if (shifts > 0 && n > 0) {
        // Window k holds the m of the primes whose first m lies in
        // [lo, lo + span), plus the reach of the shifts beyond; the next
        // window starts at lo + span and continues the same sieve.
        const std::int64_t first_shift = plan.shift_list.front();
        const std::int64_t last_shift = plan.shift_list.back();
        const std::int64_t reach = (last_shift - first_shift) / 4 + 1;
        std::size_t next = 0;
        std::int64_t lo = (primes[0] + first_shift) / 4;
        while (next < n) {
            const std::int64_t first_m = (primes[next] + first_shift) / 4;
            if (first_m >= lo + window_span) lo = first_m;  // a gap: start afresh
            std::size_t end = next;
            while (end < n && (primes[end] + first_shift) / 4 < lo + window_span) ++end;
            fill_factor_window(window, lo, window_span + reach + 1, lo + window_span);
            queue_primes(primes, next, end, plan, window, scratch, out);
            next = end;
            lo += window_span;
        }
    } else {
        for (std::size_t j = 0; j < n; ++j) {
            out[j] = prime_scan{};
            out[j].p = primes[j];
        }
    }
    for (std::size_t b = 0; b < scratch.buckets.size(); ++b) {
        flush_batch(scratch.buckets[b], scratch.states[b], plan, scratch);
    }

    // Fold the shifts of each prime in order, as the plain scan does. A zero
    // share leaves both sums as they are, so only the successful shifts are
    // added, found through a bit mask rather than a branch per shift.
    for (std::size_t j = 0; j < n; ++j) {
        prime_scan& scan = out[j];
        long double uniform_sum = 0.0L;
        long double weighted_sum = 0.0L;
        const std::uint32_t* tallies = scratch.tallies.data() + j * shifts;
        for (std::size_t group = 0; group < shifts; group += 64) {
            const std::size_t width = std::min<std::size_t>(64, shifts - group);
            std::uint64_t successful = 0;
            std::size_t k = 0;
            for (; k + 4 <= width; k += 4) {
                // Four counts at a time (tally_count as a mask): a sign bit per zero count.
                __m128i four;
                std::memcpy(&four, tallies + group + k, sizeof four);
                const __m128i zero = _mm_cmpeq_epi32(_mm_and_si128(four, _mm_set1_epi32(0xFFFF)), _mm_setzero_si128());
                successful |= static_cast<std::uint64_t>(~_mm_movemask_ps(_mm_castsi128_ps(zero)) & 0xF) << k;
            }
            for (; k < width; ++k) {
                successful |= static_cast<std::uint64_t>(tally_count(tallies[group + k]) != 0) << k;
            }
            scan.successful_shifts += std::popcount(successful);
            for (; successful != 0; successful &= successful - 1) {
                const std::size_t k = group + static_cast<std::size_t>(std::countr_zero(successful));
                add_witness_share(uniform_sum, weighted_sum, tally_count(tallies[k]), tally_tau(tallies[k]),
                                  plan.residues[k].weight);
            }
        }
        finish_masses(scan, uniform_sum, weighted_sum, plan.shift_count, plan.weight_total);
    }
}

prime_scan scan_prime_fast(std::int32_t p, const scan_plan& plan, factor_window& window, scan_scratch& scratch) {
    prime_scan scan;
    scan_primes_fast(&p, 1, plan, window, scratch, &scan);
    return scan;
}

}  // namespace erdos
