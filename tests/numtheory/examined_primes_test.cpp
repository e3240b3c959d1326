// Tests of the sieve of the examined primes of an interval against Miller-Rabin and the plain sieves.
#include "numtheory/examined_primes.hpp"
#include "numtheory/examined_cursor.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

#include "numtheory/prime_range.hpp"
#include "numtheory/prime_sieve.hpp"
#include "support/miller_rabin.hpp"

namespace {

using list = std::vector<std::int64_t>;
constexpr std::int64_t two_62 = std::int64_t{1} << 62;

list sieve_interval(std::int64_t p_min, std::int64_t p_max, std::size_t max_count = 4096) {
    erdos::examined_sieve sieve = erdos::start_examined_sieve(p_min, p_max);
    list out;
    while (erdos::next_examined_primes(sieve, out, max_count)) {
    }
    return out;
}

// The examined primes of [p_min, p_max] by testing every number of the class.
list tested_interval(std::int64_t p_min, std::int64_t p_max) {
    list out;
    for (std::int64_t n = p_min + (25 - p_min % 24) % 24; n <= p_max && n >= p_min; n += 24) {
        if (erdos_test::is_prime(static_cast<std::uint64_t>(n))) out.push_back(n);
    }
    return out;
}

struct known_interval {
    std::int64_t p_min;
    std::int64_t p_max;
    std::size_t count;
    list first;
};

TEST(ExaminedSieve, KnownIntervals) {
    const known_interval known[] = {
        {2147400000, 2147600000, 1142, {2147400001, 2147400217}},
        {5000000000000, 5000000100000, 425, {5000000000353}},
        {1000000000000000000, 1000000000000050000, 163, {1000000000000000009, 1000000000000000177}},
        {4611686018427287904, two_62, 296, {4611686018427287977}},
    };
    for (const known_interval& k : known) {
        const list primes = sieve_interval(k.p_min, k.p_max);
        EXPECT_EQ(primes.size(), k.count) << k.p_min;
        EXPECT_EQ(list(primes.begin(), primes.begin() + static_cast<std::ptrdiff_t>(k.first.size())), k.first);
        EXPECT_EQ(primes, tested_interval(k.p_min, k.p_max)) << k.p_min;
    }
}

// Ends on, just inside and just outside examined primes, single points,
// empty and reversed intervals, at both ends of the range.
TEST(ExaminedSieve, Ends) {
    constexpr std::int64_t a = 5000000000353;  // the first two examined primes from 5 * 10^12
    constexpr std::int64_t b = 5000000000449;
    EXPECT_EQ(sieve_interval(a, b), (list{a, b}));
    EXPECT_EQ(sieve_interval(a + 1, b), (list{b}));
    EXPECT_EQ(sieve_interval(a, b - 1), (list{a}));
    EXPECT_EQ(sieve_interval(a + 1, b - 1), list{});
    EXPECT_EQ(sieve_interval(a, a), (list{a}));
    EXPECT_EQ(sieve_interval(a + 24, a + 24), list{});
    EXPECT_EQ(sieve_interval(b, a), list{});

    EXPECT_EQ(sieve_interval(0, 100), (list{73, 97}));
    EXPECT_EQ(sieve_interval(1, 97), (list{73, 97}));
    EXPECT_EQ(sieve_interval(0, 72), list{});
    EXPECT_EQ(sieve_interval(74, 96), list{});
    EXPECT_EQ(sieve_interval(0, 0), list{});
    EXPECT_EQ(sieve_interval(1, 1), list{});
    EXPECT_EQ(sieve_interval(0, 300), (list{73, 97, 193, 241}));
    EXPECT_EQ(sieve_interval(two_62, two_62), list{});  // 2^62 = 16 (mod 24)

    EXPECT_THROW(erdos::start_examined_sieve(-1, 100), std::invalid_argument);
    EXPECT_THROW(erdos::start_examined_sieve(0, two_62 + 1), std::invalid_argument);
}

// Where the hits of the large sieving primes pass from segment to segment,
// against Miller-Rabin: across 2^31 and at 10^12, 10^15 and 10^18.
TEST(ExaminedSieve, ManySegmentsFarOut) {
    for (const std::int64_t p_min : {std::int64_t{2147483648} - 3000000, std::int64_t{1000000000000} - 1,
                                     std::int64_t{1000000000000000}, std::int64_t{1000000000000000000} + 7}) {
        const std::int64_t p_max = p_min + 4000000;  // about five segments
        EXPECT_EQ(sieve_interval(p_min, p_max), tested_interval(p_min, p_max)) << p_min;
    }
}

// Several stretches of the buckets, with sieving primes from the buckets in
// all of them, against the primes of the wheel sieve in the class.
TEST(ExaminedSieve, SeveralStretches) {
    constexpr std::int64_t p_min = 1000000001;
    constexpr std::int64_t p_max = 2800000000;  // the second stretch starts near 2.61 * 10^9
    list expected;
    erdos::for_each_prime_in(p_min, p_max + 1, [&](std::uint32_t p) {
        if (p % 24 == 1) expected.push_back(p);
    });
    EXPECT_EQ(sieve_interval(p_min, p_max, 1 << 20), expected);
}

// The same primes whatever the batch size; each call hands out exactly
// min(max_count, number left), and nothing once the walk is over.
TEST(ExaminedSieve, BatchSizes) {
    constexpr std::int64_t p_min = 1000000000000;
    constexpr std::int64_t p_max = p_min + 3000000;
    const list whole = sieve_interval(p_min, p_max, 1000000);
    ASSERT_GT(whole.size(), 1000U);
    for (const std::size_t max_count : {std::size_t{1}, std::size_t{7}, std::size_t{1000}}) {
        erdos::examined_sieve sieve = erdos::start_examined_sieve(p_min, p_max);
        list out;
        while (true) {
            const std::size_t before = out.size();
            const bool more = erdos::next_examined_primes(sieve, out, max_count);
            EXPECT_EQ(out.size() - before, std::min(max_count, whole.size() - before));
            EXPECT_EQ(more, out.size() > before);
            if (!more) break;
        }
        EXPECT_EQ(out, whole) << max_count;
        EXPECT_FALSE(erdos::next_examined_primes(sieve, out, max_count));
    }
}

TEST(ExaminedPrimes, SameAsTheFullSieve) {
    for (const std::int32_t p_max : {0, 72, 73, 96, 97, 1000, 1000003, 2000000}) {
        std::vector<std::int32_t> expected;
        for (const std::int32_t p : erdos::sieve_primes(p_max)) {
            if (p % 24 == 1) expected.push_back(p);
        }
        EXPECT_EQ(erdos::sieve_examined_primes(p_max), expected) << p_max;
    }
    const std::vector<std::int32_t> examined = erdos::sieve_examined_primes(2000000);
    EXPECT_EQ(examined.size(), 18507U);
    EXPECT_EQ(std::vector<std::int32_t>(examined.begin(), examined.begin() + 4), (std::vector<std::int32_t>{73, 97, 193, 241}));
    EXPECT_EQ(erdos::sieve_examined_primes(-5), std::vector<std::int32_t>{});
}

}  // namespace

// The estimate that sizes the mass lists: never below the count, and not far
// above it, for the runs whose counts are known.
TEST(ExaminedPrimes, EstimateIsALittleAboveTheCount) {
    struct known {
        std::int64_t p_min, p_max, count;
    };
    for (const known k : {known{0, 2000000, 18507}, known{0, 2147483520, 13134703},
                          known{2147400000, 2147600000, 1142}, known{5000000000000, 5000000100000, 425},
                          known{1000000000000000000, 1000000000000050000, 163},
                          known{4611686018427287904, 4611686018427387904, 296},
                          known{1000000000000, 1002000000000, 9049570},
                          known{1000000000000000000, 1000000001000000000, 3015701}}) {
        const std::int64_t estimate = erdos::estimate_examined_primes(k.p_min, k.p_max);
        EXPECT_GE(estimate, k.count) << k.p_min;
        EXPECT_LE(estimate, k.count + k.count / 10 + 1500) << k.p_min;
    }
    EXPECT_EQ(erdos::estimate_examined_primes(0, 72), 0);
    EXPECT_EQ(erdos::estimate_examined_primes(200, 100), 0);
    EXPECT_LE(erdos::estimate_examined_primes(1000, 1100), 5);  // never more than the candidates
}

// One at a time, whether the interval is sieved (wide) or each candidate
// tested (narrow for its sieving primes), the same primes as the sieve.
TEST(ExaminedCursor, SameAsTheSieveWideOrNarrow) {
    const std::pair<std::int64_t, std::int64_t> intervals[] = {
        {0, 100000}, {1, 73}, {74, 96}, {2147400000, 2147600000}, {1000000000000000000, 1000000000000050000},
        {two_62 - 20000, two_62}, {500, 400}};
    for (const auto& [p_min, p_max] : intervals) {
        erdos::examined_cursor cursor = erdos::start_examined_cursor(p_min, p_max);
        list primes;
        for (std::int64_t p; (p = erdos::next_examined_prime(cursor)) != 0;) primes.push_back(p);
        EXPECT_EQ(primes, sieve_interval(p_min, p_max)) << p_min;
        EXPECT_EQ(erdos::next_examined_prime(cursor), 0) << p_min;
    }
    EXPECT_TRUE(erdos::start_examined_cursor(0, 100000).sieved);
    EXPECT_FALSE(erdos::start_examined_cursor(1000000000000000000, 1000000000000050000).sieved);
}
