// The counting kernel: its vector types, the walk over a pattern's divisors in sixteen lanes, and the choice of build.
#include "search/count_kernel.hpp"

#include <cstring>

#include "tuning.hpp"

namespace erdos {

namespace {

constexpr int max_factors = factor_window::max_factors;

// Sixteen lanes of logarithm pairs (two bytes each), as one 32-byte vector:
// one AVX2 register where the processor has it, two SSE2 registers otherwise.
typedef std::uint8_t bytes32 __attribute__((vector_size(32)));
typedef std::int16_t lanes16 __attribute__((vector_size(32)));
typedef std::uint16_t counts16 __attribute__((vector_size(32)));  // wraps, as counters should
static_assert(sizeof(bytes32) == 2 * lane_batch::width, "one vector holds a batch's sixteen lanes");
// A lane counts at most its number of divisors: a 16-bit counter suffices
// while tau(m^2) < 2^16 (see pair_tally.hpp).

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
ERDOS_INLINE lanes16 matches(bytes32 sum, bytes32 m_target, bytes32 quarter_target) {
    return reinterpret_cast<lanes16>(reinterpret_cast<lanes16>(sum) == reinterpret_cast<lanes16>(m_target)) |
           reinterpret_cast<lanes16>(reinterpret_cast<lanes16>(sum) == reinterpret_cast<lanes16>(quarter_target));
}

// Counts, lane by lane, the targets k (one divisor each) that a sum meets.
// Like every function here that takes or returns a 32-byte vector, it must
// be inlined: called out of line from the AVX2 build of the kernel it would
// receive its vectors by another convention (no lambdas for that reason).
ERDOS_INLINE void add_hits(counts16& hits, bytes32 sum, const bytes32* m_targets, const bytes32* quarter_targets,
                          int powers) {
    for (int k = 0; k < powers; ++k) hits -= reinterpret_cast<counts16>(matches(sum, m_targets[k], quarter_targets[k]));
}

constexpr int max_targets = 2 * 31 + 1;  // 2e + 1 powers for the largest exponent a pattern's 5 bits hold
static_assert(tuning::kernel_inner_sums >= 2 * 30 + 1, "the last walked factor's powers always fit the list");

// Counts, lane by lane, the exponent vectors of the walked factors whose sum
// of logarithms meets one of the targets. The last walked factors are
// expanded once into a list of their sums (inner), so that the odometer turns
// only over the first ones (outer) and each of its steps meets a whole list.
// The number of folded powers is fixed at compile time for the common
// patterns, so that the tests unroll and the targets stay in registers; 0
// means "powers, at run time".
template <int Powers>
ERDOS_INLINE counts16 walk_sums(int powers, const bytes32* m_targets_in, const bytes32* quarter_targets_in, int walked,
                               const std::int32_t* exponent, const bytes32* logs, bytes32 order) {
    if constexpr (Powers != 0) powers = Powers;
    bytes32 m_targets[Powers == 0 ? max_targets : Powers];
    bytes32 quarter_targets[Powers == 0 ? max_targets : Powers];
    for (int k = 0; k < powers; ++k) {
        m_targets[k] = m_targets_in[k];
        quarter_targets[k] = quarter_targets_in[k];
    }
    // The sums over the factors [outer, walked), as many as the list holds.
    bytes32 inner[tuning::kernel_inner_sums];
    inner[0] = bytes32{};
    int inner_count = 1;
    int outer = walked;
    while (outer > 0 && inner_count * (2 * exponent[outer - 1] + 1) <= tuning::kernel_inner_sums) {
        --outer;
        const bytes32 log = logs[outer];
        for (int k = 1; k <= 2 * exponent[outer]; ++k) {
            for (int x = 0; x < inner_count; ++x) {
                inner[k * inner_count + x] = add_logs(inner[(k - 1) * inner_count + x], log, order);
            }
        }
        inner_count *= 2 * exponent[outer] + 1;
    }

    counts16 hits{};
    if (outer == 0) {
        for (int x = 0; x < inner_count; ++x) add_hits(hits, inner[x], m_targets, quarter_targets, powers);
        return hits;
    }
    int digit[max_factors] = {};
    bytes32 prefix[max_factors];  // prefix[i]: the sum over the outer factors before i
    for (int i = 0; i <= outer; ++i) prefix[i] = bytes32{};
    while (true) {
        const bytes32 base = prefix[outer];
        for (int x = 0; x < inner_count; ++x) {
            add_hits(hits, add_logs(base, inner[x], order), m_targets, quarter_targets, powers);
        }
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

// Counts the witnesses of the pairs of a batch, which share one exponent
// pattern, in logarithms: a divisor is an exponent vector k, its logarithm the
// sum of k_i * log g_i, and it is a witness when that sum is the logarithm of
// -m or of -1/4. The powers of the folded factor (most exponents) are moved
// into the targets, log t - k * log g_f (m_targets for t = -m, quarter_targets
// for t = -1/4), so that walk_sums need only walk the other factors, like an
// odometer, identically in every lane.
ERDOS_INLINE void count_batch_body(const pattern_bucket& bucket, int lanes, std::uint32_t tau, pair_tally* tallies) {
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
    bytes32 m_targets[max_targets];
    bytes32 quarter_targets[max_targets];
    bytes32 minus_m = load_lanes(batch.minus_one_log);
    for (int i = 0; i < bucket.factors; ++i) {
        const bytes32 log = load_lanes(batch.logs[i]);
        for (int e = 0; e < bucket.exponent[i]; ++e) minus_m = add_logs(minus_m, log, order);
    }
    m_targets[0] = minus_m;
    quarter_targets[0] = load_lanes(batch.minus_quarter_log);
    int powers = 1;
    if (bucket.factors > 0) {
        powers = 2 * bucket.exponent[bucket.folded] + 1;
        const bytes32 step = negate_logs(load_lanes(batch.logs[bucket.folded]), order);
        for (int k = 1; k < powers; ++k) {
            m_targets[k] = add_logs(m_targets[k - 1], step, order);
            quarter_targets[k] = add_logs(quarter_targets[k - 1], step, order);
        }
    }

    counts16 hits;
    switch (powers) {
        case 3: hits = walk_sums<3>(powers, m_targets, quarter_targets, walked, exponent, logs, order); break;
        case 5: hits = walk_sums<5>(powers, m_targets, quarter_targets, walked, exponent, logs, order); break;
        case 7: hits = walk_sums<7>(powers, m_targets, quarter_targets, walked, exponent, logs, order); break;
        default: hits = walk_sums<0>(powers, m_targets, quarter_targets, walked, exponent, logs, order); break;
    }
    std::uint16_t counts[lane_batch::width];
    std::memcpy(counts, &hits, sizeof counts);
    for (int lane = 0; lane < lanes; ++lane) tallies[batch.pair[lane]] = make_tally(counts[lane], tau);
}

// The same kernel built twice: for every x86-64 processor, and for those
// with AVX2, where each 32-byte vector is one register. Integer arithmetic
// only, so both give the same counts.
void count_batch_baseline(const pattern_bucket& bucket, int lanes, std::uint32_t tau, pair_tally* tallies) {
    count_batch_body(bucket, lanes, tau, tallies);
}

__attribute__((target("avx2"))) void count_batch_avx2(const pattern_bucket& bucket, int lanes, std::uint32_t tau,
                                                      pair_tally* tallies) {
    count_batch_body(bucket, lanes, tau, tallies);
}

}  // namespace

void count_batch(const pattern_bucket& bucket, int lanes, std::uint32_t tau, pair_tally* tallies, bool avx2) {
    if (avx2) {
        count_batch_avx2(bucket, lanes, tau, tallies);
    } else {
        count_batch_baseline(bucket, lanes, tau, tallies);
    }
}

bool avx2_available() { return __builtin_cpu_supports("avx2"); }

}  // namespace erdos
