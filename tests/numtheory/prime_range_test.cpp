// Tests of the primes of an interval against the plain sieve and Miller-Rabin.
#include "numtheory/prime_range.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "numtheory/prime_sieve.hpp"
#include "support/miller_rabin.hpp"

namespace {

using list = std::vector<std::uint32_t>;

list primes_in(std::int64_t lo, std::int64_t hi) {
    list out;
    erdos::for_each_prime_in(lo, hi, [&](std::uint32_t p) { out.push_back(p); });
    return out;
}

list sieved_in(std::int64_t lo, std::int64_t hi, const std::vector<std::int32_t>& all) {
    list out;
    for (const std::int32_t p : all) {
        if (p >= lo && p < hi) out.push_back(static_cast<std::uint32_t>(p));
    }
    return out;
}

list tested_in(std::int64_t lo, std::int64_t hi) {
    list out;
    for (std::int64_t n = lo; n < hi; ++n) {
        if (erdos_test::is_prime(static_cast<std::uint64_t>(n))) out.push_back(static_cast<std::uint32_t>(n));
    }
    return out;
}

// Every pair of ends up to 200: the ends fall on every place within the
// bytes of 30 numbers, and on the primes that the pattern strikes.
TEST(PrimeRange, AllSmallIntervals) {
    const std::vector<std::int32_t> all = erdos::sieve_primes(200);
    for (std::int64_t lo = 0; lo <= 200; ++lo) {
        for (std::int64_t hi = lo - 1; hi <= 200; ++hi) {
            ASSERT_EQ(primes_in(lo, hi), sieved_in(lo, hi, all)) << lo << ' ' << hi;
        }
    }
}

// Intervals that end around the square of a sieving prime, where that prime
// alone strikes the last number: 361 = 19^2 in [lo, 362) for every lo.
TEST(PrimeRange, EndsAtTheSquaresOfSievingPrimes) {
    const std::vector<std::int32_t> all = erdos::sieve_primes(1100000);
    for (const std::int32_t q : erdos::sieve_primes(1040)) {
        const std::int64_t square = std::int64_t{q} * q;
        for (std::int64_t hi = square - 1; hi <= square + 2; ++hi) {
            for (const std::int64_t lo : {std::int64_t{0}, square / 2, std::max<std::int64_t>(0, square - 30), square - 1, square}) {
                ASSERT_EQ(primes_in(lo, hi), sieved_in(lo, hi, all)) << lo << ' ' << hi;
            }
        }
    }
}

// Many segments of about a million numbers, with ends inside them.
TEST(PrimeRange, SameAsThePlainSieve) {
    const std::vector<std::int32_t> all = erdos::sieve_primes(5000000);
    for (const auto& [lo, hi] : {std::pair<std::int64_t, std::int64_t>{0, 5000000}, {983039, 983041 + 30}, {1234567, 4999999}}) {
        EXPECT_EQ(primes_in(lo, hi), sieved_in(lo, hi, all)) << lo << ' ' << hi;
    }
}

TEST(PrimeRange, FarEnds) {
    constexpr std::int64_t top = std::int64_t{1} << 32;
    EXPECT_EQ(primes_in(top - 300000, top), tested_in(top - 300000, top));
    EXPECT_EQ(primes_in(top - 5, top), (list{4294967291U}));
    constexpr std::int64_t half = std::int64_t{1} << 31;
    EXPECT_EQ(primes_in(half - 200000, half + 200000), tested_in(half - 200000, half + 200000));
    // All the sieving primes a window of m up to 2^60 uses.
    std::int64_t count = 0;
    erdos::for_each_prime_in(0, std::int64_t{1} << 30, [&](std::uint32_t) { ++count; });
    EXPECT_EQ(count, 54400028);
}

// Batches follow on from each other whatever their ends.
TEST(PrimeRange, BatchesAndBounds) {
    erdos::prime_range range = erdos::start_prime_range(1, 3000000);
    list batches;
    int calls = 0;
    for (list batch; erdos::next_primes(range, batch); ++calls) {
        EXPECT_FALSE(batch.empty());
        batches.insert(batches.end(), batch.begin(), batch.end());
        batch.clear();
    }
    EXPECT_GT(calls, 2);
    EXPECT_EQ(batches, sieved_in(1, 3000000, erdos::sieve_primes(3000000)));
    list none;
    EXPECT_FALSE(erdos::next_primes(range, none));
    EXPECT_TRUE(none.empty());

    EXPECT_THROW(erdos::start_prime_range(-1, 10), std::invalid_argument);
    EXPECT_THROW(erdos::start_prime_range(0, (std::int64_t{1} << 32) + 1), std::invalid_argument);
}

}  // namespace
