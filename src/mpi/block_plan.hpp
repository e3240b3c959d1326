// Cutting a run's interval into blocks of about equal work, dealt to several processes round by round.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace erdos {

// The blocks of [p_min, p_max]: block i is [starts[i], starts[i + 1] - 1]
// (empty when starts[i] == starts[i + 1]); together they cover the interval
// once, in order. There are rounds * ranks blocks; in round r, rank k scans
// block r * ranks + k, so every round moves through the interval from its
// low end and no rank holds more than one block's rows at a time.
struct block_plan {
    std::vector<std::int64_t> starts;  // blocks + 1 entries, the last p_max + 1
    std::size_t rounds = 0;
    unsigned ranks = 0;
};

// Cuts [p_min, p_max] (0 <= p_min <= p_max < 2^62) into blocks holding about
// equally many examined primes by the density 1/(8 ln t) of the primes
// 1 mod 24 near t, so that each holds about as much work. Each block is to
// hold about block_primes of them; there are as many rounds as that needs
// (at least one).
block_plan plan_blocks(std::int64_t p_min, std::int64_t p_max, unsigned ranks, std::int64_t block_primes);

// The block of rank `rank` in round `round`, as {first, last}.
struct block_bounds {
    std::int64_t first = 0;
    std::int64_t last = -1;
};
block_bounds block_of(const block_plan& plan, std::size_t round, unsigned rank);

// How many examined primes a block should hold for a run up to p_max: at least
// tuning::block_min_primes, and more far out, where every block's
// sieves set up more primes up to sqrt(p_max) (see tuning.hpp).
std::int64_t distributed_block_primes(std::int64_t p_max);

}  // namespace erdos
