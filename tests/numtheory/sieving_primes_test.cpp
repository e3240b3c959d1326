// The listed sieving primes against a plain sieve, whatever the parts.
#include "numtheory/sieving_primes.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "numtheory/examined_primes.hpp"
#include "numtheory/far_factor_sieve.hpp"
#include "numtheory/prime_sieve.hpp"

// Every odd prime up to the bound once, in order, from 1 to 5 parts (whose
// edges fall on primes and composites alike), also read from inside the
// range, with both ends counted; bounds on a prime and below 3.
TEST(SievingPrimes, ListEveryOddPrimeOnceWhateverTheParts) {
    for (const std::int32_t bound : {0, 2, 3, 4, 200000, 262139, 1000003}) {
        std::vector<std::uint64_t> want;
        for (const std::int32_t q : erdos::sieve_primes(bound)) {
            if (q > 2) want.push_back(static_cast<std::uint64_t>(q));
        }
        for (const unsigned threads : {1U, 2U, 3U, 5U}) {
            const erdos::sieving_primes list = erdos::list_sieving_primes(static_cast<std::uint64_t>(bound), threads);
            std::vector<std::uint64_t> got;
            erdos::for_each_sieving_prime(list, 0, list.bound, [&](std::uint64_t q) { got.push_back(q); });
            EXPECT_EQ(got, want) << bound << " in " << threads;
            std::vector<std::uint64_t> inside;
            erdos::for_each_sieving_prime(list, 65537, 199999, [&](std::uint64_t q) { inside.push_back(q); });
            std::vector<std::uint64_t> want_inside;
            for (const std::uint64_t q : want) {
                if (q >= 65537 && q <= 199999) want_inside.push_back(q);
            }
            EXPECT_EQ(inside, want_inside) << bound << " in " << threads;
            // In blocks: the same primes, none empty, none too long.
            std::vector<std::uint64_t> blocked;
            erdos::for_each_sieving_block(list, 65537, 199999, [&](const std::uint32_t* primes, std::size_t count) {
                EXPECT_GE(count, 1U);
                EXPECT_LE(count, erdos::sieving_block_primes);
                blocked.insert(blocked.end(), primes, primes + count);
            });
            EXPECT_EQ(blocked, want_inside) << bound << " in " << threads;
        }
    }
}

// Every way cuts the same blocks: full ones and a shorter last, whatever the
// parts and wherever [lo, hi] falls (on a prime, between two, past the
// list, beyond 2^32, empty); a walk over stays over.
TEST(SievingPrimes, EveryWayCutsTheSameBlocks) {
    const erdos::sieving_primes list = erdos::list_sieving_primes(1000003, 3);
    std::vector<std::uint64_t> all;
    erdos::for_each_sieving_prime(list, 0, list.bound, [&](std::uint64_t q) { all.push_back(q); });
    const std::uint64_t big = std::uint64_t{1} << 32;
    const std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges = {
        {0, 4 * big}, {0, list.bound}, {65537, 199999}, {3, 3}, {all[5000], all[5000]},
        {all[5000] + 1, all[70000] - 1}, {0, 12345}, {500000, 400000}, {big + 1, 2 * big}};
    for (const auto& [lo, hi] : ranges) {
        std::vector<std::uint64_t> want;
        for (const std::uint64_t q : all) {
            if (q >= lo && q <= hi) want.push_back(q);
        }
        for (const erdos::vector_way way : {erdos::vector_way::plain, erdos::vector_way::avx512}) {
            if (!erdos::vector_way_available(way)) continue;
            const std::string how = std::to_string(lo) + " to " + std::to_string(hi) + ", way " +
                                    std::to_string(static_cast<int>(way));
            erdos::sieving_cursor cursor;
            std::uint32_t block[erdos::sieving_block_primes];
            std::vector<std::uint64_t> got;
            std::vector<std::size_t> sizes;
            while (const std::size_t count = erdos::next_sieving_block(list, cursor, lo, hi, block, way)) {
                sizes.push_back(count);
                got.insert(got.end(), block, block + count);
            }
            EXPECT_EQ(got, want) << how;
            for (std::size_t b = 0; b + 1 < sizes.size(); ++b) EXPECT_EQ(sizes[b], erdos::sieving_block_primes) << how;
            EXPECT_EQ(erdos::next_sieving_block(list, cursor, lo, hi, block, way), 0U) << how;
        }
    }
}

// Both sieves far out give the same with the list as with primes sieved
// afresh: near 10^15 (the factor sieve's bound inside the list) and with a
// list too short, which they must not use.
TEST(SievingPrimes, TheSievesGiveTheSameFromTheList) {
    const erdos::sieving_primes list = erdos::list_sieving_primes(31622777, 2);
    const erdos::sieving_primes short_list = erdos::list_sieving_primes(1000, 2);
    constexpr std::int64_t p_min = 1000000000000000;
    constexpr std::int64_t p_max = p_min + 3000000;
    for (const erdos::sieving_primes* listed : {&list, &short_list}) {
        erdos::examined_sieve plain = erdos::start_examined_sieve(p_min, p_max);
        erdos::examined_sieve from_list = erdos::start_examined_sieve(p_min, p_max, listed);
        std::vector<std::int64_t> want;
        std::vector<std::int64_t> got;
        while (erdos::next_examined_primes(plain, want, 1000)) {
        }
        while (erdos::next_examined_primes(from_list, got, 1000)) {
        }
        EXPECT_EQ(got, want);
        EXPECT_GT(want.size(), 1000U);

        constexpr std::uint64_t m_lo = p_min / 4;
        erdos::far_factor_sieve a = erdos::start_far_factor_sieve(m_lo, m_lo + 100000);
        erdos::far_factor_sieve b = erdos::start_far_factor_sieve(m_lo, m_lo + 100000, listed);
        while (erdos::sieve_next_far_segment(a)) {
            ASSERT_TRUE(erdos::sieve_next_far_segment(b));
            for (std::uint64_t m = a.segment_lo; m < a.segment_lo + a.segment_count; ++m) {
                ASSERT_EQ(erdos::far_factor_list_of(b, m), erdos::far_factor_list_of(a, m)) << m;
            }
        }
    }
}
