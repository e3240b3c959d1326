// The feed's chunks: every pair's entry holds the factorisation of its own m.
#include "walks/far_feed.hpp"
#include "walks/lone_feed.hpp"

#include <gtest/gtest.h>

#include <memory>

#include "numtheory/examined_primes.hpp"
#include "numtheory/factorize64.hpp"
#include "numtheory/prime_test64.hpp"
#include "search/shift_list.hpp"
#include "support/prime_sources.hpp"

namespace {

// Feeds the examined primes of [p_min, p_max] in chunks of about `chunk` and
// checks each pair's entry against trial division of m = (p + c)/4, c = 3 + 4k.
void expect_entries_factor_their_m(std::int64_t p_min, std::int64_t p_max, std::int32_t c_max, std::size_t chunk) {
    const std::vector<std::int64_t> all = erdos_test::examined_between(p_min, p_max);
    ASSERT_FALSE(all.empty());
    erdos::far_feed feed = erdos::start_far_feed(erdos_test::source_of(all), p_min, p_max, c_max);
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
    // More shifts than a segment holds m: each prime's m span three
    // segments, and one run of them fills a whole segment's entries.
    expect_entries_factor_their_m(1000000000000, 1000000003000, 40003, 2);
}

}  // namespace

namespace {

// The factorisation of the pair (j, k) of a chunk, whichever feed filled it.
erdos::factor_list64 pair_factors(const erdos::far_pair_factors& factors, std::size_t pair) {
    const std::uint32_t entry = factors.pair_entry[pair];
    erdos::factor_list64 got;
    for (std::uint32_t f = factors.entry_start[entry]; f < factors.entry_start[entry + 1]; ++f) {
        got.push_back({factors.primes[f], factors.exponents[f]});
    }
    if (factors.cofactor[entry] > 1) got.push_back({static_cast<std::int64_t>(factors.cofactor[entry]), 1});
    return got;
}

// The lone feed gives the sieved feed's primes, factorisations and batch
// keys over [p_min, p_max].
void expect_lone_feed_as_sieved(std::int64_t p_min, std::int64_t p_max, std::int32_t c_max, std::size_t chunk) {
    auto sieve = std::make_shared<erdos::examined_sieve>(erdos::start_examined_sieve(p_min, p_max));
    erdos::far_feed sieved = erdos::start_far_feed(
        [sieve](std::vector<std::int64_t>& out, std::size_t max_count) {
            return erdos::next_examined_primes(*sieve, out, max_count);
        },
        p_min, p_max, c_max);
    erdos::lone_feed lone = erdos::start_lone_feed(p_min, p_max, c_max);
    const std::size_t shifts = erdos::count_shifts(c_max);
    std::vector<std::int64_t> sieved_primes;
    std::vector<std::int64_t> lone_primes;
    erdos::far_pair_factors sieved_factors;
    erdos::far_pair_factors lone_factors;
    std::vector<std::int64_t> all_sieved;
    std::vector<std::int64_t> all_lone;
    std::vector<std::pair<erdos::factor_list64, std::uint64_t>> sieved_pairs;
    std::vector<std::pair<erdos::factor_list64, std::uint64_t>> lone_pairs;
    while (erdos::next_far_chunk(sieved, chunk, sieved_primes, sieved_factors)) {
        all_sieved.insert(all_sieved.end(), sieved_primes.begin(), sieved_primes.end());
        for (std::size_t pair = 0; pair < sieved_primes.size() * shifts; ++pair) {
            sieved_pairs.emplace_back(pair_factors(sieved_factors, pair), sieved_factors.key[sieved_factors.pair_entry[pair]]);
        }
    }
    while (erdos::next_lone_chunk(lone, chunk, lone_primes, lone_factors)) {
        all_lone.insert(all_lone.end(), lone_primes.begin(), lone_primes.end());
        for (std::size_t pair = 0; pair < lone_primes.size() * shifts; ++pair) {
            lone_pairs.emplace_back(pair_factors(lone_factors, pair), lone_factors.key[lone_factors.pair_entry[pair]]);
        }
    }
    ASSERT_FALSE(all_lone.empty());
    EXPECT_EQ(all_lone, all_sieved) << p_min;
    EXPECT_TRUE(lone_pairs == sieved_pairs) << p_min;
}

}  // namespace

// Where the lone feed takes over from the sieves: just past 2^31, at the top
// (m with a prime factor past 2^31, factors listed by the sieve as
// cofactors), with overlapping runs of m and chunks of one prime.
TEST(LoneFeed, GivesTheSievedFeedsPrimesAndFactors) {
    expect_lone_feed_as_sieved(2147483000, 2147600000, 127, 200);
    expect_lone_feed_as_sieved(2147483000, 2147500000, 1023, 1);
    expect_lone_feed_as_sieved(5000000000000, 5000000030000, 255, 7);
    expect_lone_feed_as_sieved(4611686018427387904 - 30000, 4611686018427387904, 127, 64);
}

// The choice follows the costs: a few primes far out are factored on
// their own, a wide interval near 10^12 is sieved.
TEST(LoneFeed, PaysOnlyWhereTheSievingPrimesCostMore) {
    EXPECT_TRUE(erdos::lone_feed_pays(4611686018427287904, 4611686018427387904, 32));
    EXPECT_FALSE(erdos::lone_feed_pays(1000000000000, 1000100000000, 32));
}
