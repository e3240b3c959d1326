#include "numtheory/prime_sieve.hpp"

#include <gtest/gtest.h>

#include <algorithm>

using erdos::sieve_primes;
using list = std::vector<std::int32_t>;

TEST(SievePrimes, SmallBounds) {
    EXPECT_EQ(sieve_primes(-7), list{});
    EXPECT_EQ(sieve_primes(0), list{});
    EXPECT_EQ(sieve_primes(1), list{});
    EXPECT_EQ(sieve_primes(2), list{2});
    EXPECT_EQ(sieve_primes(3), (list{2, 3}));
    EXPECT_EQ(sieve_primes(4), (list{2, 3}));
    // 25 = 5*5 is struck out by the last i whose square reaches the bound.
    EXPECT_EQ(sieve_primes(25), (list{2, 3, 5, 7, 11, 13, 17, 19, 23}));
    EXPECT_EQ(sieve_primes(49).back(), 47);
    EXPECT_EQ(sieve_primes(100).size(), 25U);
}

TEST(SievePrimes, DefaultBound) {
    const list primes = sieve_primes(2000000);
    EXPECT_EQ(primes.size(), 148933U);
    EXPECT_EQ(primes.back(), 1999993);
    EXPECT_TRUE(std::is_sorted(primes.begin(), primes.end()));
    list examined;
    std::copy_if(primes.begin(), primes.end(), std::back_inserter(examined), [](std::int32_t p) { return p % 24 == 1; });
    EXPECT_EQ(examined.size(), 18507U);
    EXPECT_EQ(list(examined.begin(), examined.begin() + 4), (list{73, 97, 193, 241}));
}
