#include "driver/status_line.hpp"

#include <gtest/gtest.h>

using erdos::status_scan_text;

TEST(StatusLineText, ShareRateAndTimeLeft) {
    // No share without a total; no rate in the first second.
    EXPECT_EQ(status_scan_text(0, 0, 0, 0.0), "scanning primes  p=0");
    EXPECT_EQ(status_scan_text(431, 1000, 8803369, 0.9), "scanning primes 43.1%  p=8803369");
    // The share is rounded down: 100.0% only at the very end.
    EXPECT_EQ(status_scan_text(999999, 1000000, 73, 0.5), "scanning primes 99.9%  p=73");
    EXPECT_EQ(status_scan_text(50000, 150000, 97, 2.0), "scanning primes 33.3%  p=97  25000 primes/s  4s left");
    EXPECT_EQ(status_scan_text(1000, 66000, 97, 10.0), "scanning primes 1.5%  p=97  100 primes/s  10m 50s left");
    EXPECT_EQ(status_scan_text(1, 7201, 97, 1.0), "scanning primes 0.0%  p=97  1 primes/s  2h 00m left");
    EXPECT_EQ(status_scan_text(7201, 7201, 2147483629, 3.0),
              "scanning primes 100.0%  p=2147483629  2400 primes/s  0s left");
}

TEST(StatusLineText, AnIntervalFarOutIsMeasuredByPosition) {
    // No total counted in advance: the share is the prime's place in the
    // interval, and the time left follows from it; primes print in full.
    const std::int64_t lo = 1000000000000000000;
    const std::int64_t hi = lo + 1000000000;
    EXPECT_EQ(status_scan_text(1000, 0, lo + 250000000, 4.0, lo, hi),
              "scanning primes 25.0%  p=1000000000250000000  250 primes/s  12s left");
    EXPECT_EQ(status_scan_text(10, 0, lo, 0.5, lo, hi), "scanning primes 0.0%  p=1000000000000000000");
    EXPECT_EQ(status_scan_text(10, 0, 4611686018427387847, 0.5, 4611686018427387847, 4611686018427387847),
              "scanning primes  p=4611686018427387847");
}

TEST(StatusLineText, AResumedRunCountsTheKeptPrimesInTheShareOnly) {
    // 100000 of 150000 kept: 20000 scanned in 2 s since, 30000 left.
    EXPECT_EQ(status_scan_text(120000, 150000, 97, 2.0, 0, 0, 100000, 50),
              "scanning primes 80.0%  p=97  10000 primes/s  3s left");
    // By position: half the interval was kept; a quarter more in 4 s.
    const std::int64_t lo = 1000000000000000000;
    const std::int64_t hi = lo + 1000000000;
    EXPECT_EQ(status_scan_text(1000, 0, lo + 750000000, 4.0, lo, hi, 600, lo + 500000000),
              "scanning primes 75.0%  p=1000000000750000000  100 primes/s  4s left");
    // Nothing scanned yet: no rate.
    EXPECT_EQ(status_scan_text(600, 0, lo + 500000000, 4.0, lo, hi, 600, lo + 500000000),
              "scanning primes 50.0%  p=1000000000500000000");
}
