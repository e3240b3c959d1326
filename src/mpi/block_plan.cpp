// Block boundaries at equal shares of the logarithmic integral, dealt round by round.
#include "mpi/block_plan.hpp"

#include <algorithm>
#include <cmath>

#include "numtheory/examined_primes.hpp"
#include "tuning.hpp"

namespace erdos {

namespace {

// li(x) = Ei(ln x) for x >= 2 by its series gamma + ln u + sum u^n / (n n!):
// every term is positive, so the sum keeps double precision; u stays below
// 44 for x < 2^62.
double log_integral(double x) {
    const double u = std::log(std::max(x, 2.0));
    double term = 1.0;
    double sum = 0.0;
    for (int n = 1; n < 400; ++n) {
        term *= u / n;
        const double add = term / n;
        sum += add;
        if (add < sum * 1e-17) break;
    }
    return 0.5772156649015329 + std::log(u) + sum;
}

// The x in [lo, hi] with li(x) = target, by Newton's steps (li' = 1/ln x)
// kept inside the bracket.
double solve_log_integral(double target, double lo, double hi) {
    double x = lo + (hi - lo) * 0.5;
    for (int step = 0; step < 60; ++step) {
        const double value = log_integral(x);
        if (value < target) {
            lo = x;
        } else {
            hi = x;
        }
        double next = x - (value - target) * std::log(std::max(x, 2.0));
        if (!(next > lo && next < hi)) next = lo + (hi - lo) * 0.5;
        if (std::fabs(next - x) < 0.5) return next;
        x = next;
    }
    return x;
}

}  // namespace

block_plan plan_blocks(std::int64_t p_min, std::int64_t p_max, unsigned ranks, std::int64_t block_primes) {
    block_plan plan;
    plan.ranks = std::max(ranks, 1U);
    const std::int64_t expected = estimate_examined_primes(p_min, p_max);
    const std::int64_t per_round = static_cast<std::int64_t>(plan.ranks) * std::max<std::int64_t>(block_primes, 1);
    plan.rounds = static_cast<std::size_t>(std::max<std::int64_t>(1, (expected + per_round - 1) / per_round));
    const std::size_t blocks = plan.rounds * plan.ranks;

    plan.starts.resize(blocks + 1);
    plan.starts[0] = p_min;
    plan.starts[blocks] = p_max + 1;
    const double lo = static_cast<double>(p_min);
    const double hi = static_cast<double>(p_max) + 1.0;
    const double li_lo = log_integral(lo);
    const double li_span = log_integral(hi) - li_lo;
    for (std::size_t i = 1; i < blocks; ++i) {
        const double share = static_cast<double>(i) / static_cast<double>(blocks);
        // Where the density gives nothing to balance (an interval below 2),
        // the blocks are of equal width.
        const double x = li_span > 0.0 ? solve_log_integral(li_lo + share * li_span, lo, hi) : lo + share * (hi - lo);
        const auto start = static_cast<std::int64_t>(std::clamp(x, lo, hi));
        plan.starts[i] = std::clamp(start, plan.starts[i - 1], p_max + 1);
    }
    return plan;
}

block_bounds block_of(const block_plan& plan, std::size_t round, unsigned rank) {
    const std::size_t index = round * plan.ranks + rank;
    return {plan.starts[index], plan.starts[index + 1] - 1};
}

std::int64_t distributed_block_primes(std::int64_t p_max) {
    const double root = std::sqrt(static_cast<double>(std::max<std::int64_t>(p_max, 4)));
    const double sieving_primes = root / std::log(root);
    return std::max(tuning::block_min_primes,
                    static_cast<std::int64_t>(tuning::distributed_setup_share * sieving_primes));
}

}  // namespace erdos
