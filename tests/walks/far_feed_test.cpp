// The feed's chunks: every pair's entry holds the factorisation of its own m.
#include "walks/far_feed.hpp"

#include <gtest/gtest.h>

#include <memory>

#include "numtheory/factorize64.hpp"
#include "numtheory/prime_test64.hpp"
#include "search/shift_list.hpp"

namespace {

// Feeds the examined primes of [p_min, p_max] in chunks of about `chunk` and
// checks each pair's entry against trial division of m = (p + c)/4, c = 3 + 4k.
void expect_entries_factor_their_m(std::int64_t p_min, std::int64_t p_max, std::int32_t c_max, std::size_t chunk) {
    std::vector<std::int64_t> all;
    for (std::int64_t n = p_min + (25 - p_min % 24) % 24; n <= p_max; n += 24) {
        if (erdos::is_prime_u64(static_cast<std::uint64_t>(n))) all.push_back(n);
    }
    ASSERT_FALSE(all.empty());
    auto next = std::make_shared<std::size_t>(0);
    erdos::prime_source source = [next, all](std::vector<std::int64_t>& out, std::size_t max_count) {
        const std::size_t n = std::min(max_count, all.size() - *next);
        out.insert(out.end(), all.begin() + static_cast<std::ptrdiff_t>(*next),
                   all.begin() + static_cast<std::ptrdiff_t>(*next + n));
        *next += n;
        return n > 0;
    };
    erdos::far_feed feed = erdos::start_far_feed(source, p_min, p_max, c_max);
    const std::size_t shifts = erdos::count_shifts(c_max);
    erdos::far_pair_factors factors;
    std::vector<std::int64_t> primes;
    std::size_t seen = 0;
    while (erdos::next_far_chunk(feed, chunk, primes, factors)) {
        for (std::size_t j = 0; j < primes.size(); ++j, ++seen) {
            ASSERT_EQ(primes[j], all[seen]);
            for (std::size_t k = 0; k < shifts; ++k) {
                const std::int64_t m = (primes[j] + 3 + 4 * static_cast<std::int64_t>(k)) / 4;
                const std::uint32_t entry = factors.pair_entry[j * shifts + k];
                ASSERT_LT(entry, factors.cofactor.size());
                erdos::factor_list64 got;
                for (std::uint32_t f = factors.entry_start[entry]; f < factors.entry_start[entry + 1]; ++f) {
                    got.push_back({factors.primes[f], factors.exponents[f]});
                }
                if (factors.cofactor[entry] > 1) got.push_back({static_cast<std::int64_t>(factors.cofactor[entry]), 1});
                ASSERT_EQ(got, erdos::factorize64(m)) << "p " << primes[j] << " shift " << k << " chunk " << chunk;
            }
        }
    }
    EXPECT_EQ(seen, all.size());
}

TEST(FarFeed, EachPairGetsTheFactorsOfItsM) {
    // Runs of m that overlap (127, 1023), that leave gaps between primes (3),
    // and chunks that end inside a segment or hold a single prime.
    for (const std::size_t chunk : {1, 7, 200}) {
        expect_entries_factor_their_m(1000000000000, 1000000300000, 127, chunk);
        expect_entries_factor_their_m(1000000000000, 1000000100000, 3, chunk);
    }
    expect_entries_factor_their_m(1000000000000000, 1000000000100000, 1023, 5);
    expect_entries_factor_their_m(1000000, 1200000, 127, 13);
}

}  // namespace
