#include "mpi/block_plan.hpp"

#include <gtest/gtest.h>

#include "numtheory/examined_primes.hpp"

using namespace erdos;

namespace {

// The blocks cover [p_min, p_max] once, in order, and each round's blocks
// follow the previous round's.
void expect_cover(const block_plan& plan, std::int64_t p_min, std::int64_t p_max) {
    ASSERT_EQ(plan.starts.size(), plan.rounds * plan.ranks + 1);
    EXPECT_EQ(plan.starts.front(), p_min);
    EXPECT_EQ(plan.starts.back(), p_max + 1);
    for (std::size_t i = 1; i < plan.starts.size(); ++i) EXPECT_LE(plan.starts[i - 1], plan.starts[i]) << i;
    std::int64_t next = p_min;
    for (std::size_t round = 0; round < plan.rounds; ++round) {
        for (unsigned rank = 0; rank < plan.ranks; ++rank) {
            const block_bounds block = block_of(plan, round, rank);
            EXPECT_EQ(block.first, next);
            next = block.last + 1;
        }
    }
    EXPECT_EQ(next, p_max + 1);
}

}  // namespace

TEST(BlockPlan, CoversTheIntervalOnceInEveryShape) {
    for (const auto& [p_min, p_max] : std::vector<std::pair<std::int64_t, std::int64_t>>{
             {0, 0}, {0, 1}, {0, 5}, {7, 7}, {0, 2000000}, {2147400000, 2147600000},
             {1000000000000, 1001000000000}, {(std::int64_t{1} << 62) - 1000, std::int64_t{1} << 62}}) {
        for (const unsigned ranks : {1U, 2U, 3U, 4U, 64U}) {
            for (const std::int64_t block_primes : {std::int64_t{100}, std::int64_t{1} << 20}) {
                expect_cover(plan_blocks(p_min, p_max, ranks, block_primes), p_min, p_max);
            }
        }
    }
}

// From 0 the density of the primes falls by a factor of about 3 across the
// interval: blocks of equal width would hold very different counts. Equal
// shares of the logarithmic integral keep them within a few percent.
TEST(BlockPlan, BlocksHoldAboutEqualWork) {
    const block_plan plan = plan_blocks(0, 100000000, 4, 50000);
    EXPECT_EQ(plan.rounds, 4U);  // about 735000 examined primes estimated, 200000 a round
    const std::int64_t whole = estimate_examined_primes(0, 100000000);
    const double share = static_cast<double>(whole) / static_cast<double>(plan.rounds * plan.ranks);
    for (std::size_t i = 1; i + 1 < plan.starts.size(); ++i) {  // the first holds the tiny primes
        const auto held = static_cast<double>(estimate_examined_primes(plan.starts[i], plan.starts[i + 1] - 1));
        EXPECT_NEAR(held / share, 1.0, 0.03) << i;
    }
    EXPECT_EQ(plan_blocks(0, 2000000, 4, distributed_block_primes(2000000)).rounds, 1U);
}
