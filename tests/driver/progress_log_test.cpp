#include "driver/progress_log.hpp"

#include <gtest/gtest.h>

using erdos::progress_log_text;

TEST(ProgressLogText, APhaseAloneThenTheScanWithItsCount) {
    // Before the scan reports: the phase and how long it has run.
    EXPECT_EQ(progress_log_text("erdos-straus", 12.7, "building tables", 3.2, false, 0, 0, 0, 0, 0, 0, 0),
              "erdos-straus: 12s  building tables  3s");
    // The terminal's text with the primes done before the current prime.
    EXPECT_EQ(progress_log_text("erdos-straus", 130.0, "scanning primes", 2.0, true, 50000, 150000, 97, 0, 0, 0, 0),
              "erdos-straus: 2m 10s  scanning primes 33.3%  50000 primes  p=97  25000 primes/s  4s left");
    // Far out, by position in the interval; a resumed run's kept primes count in the share only.
    const std::int64_t lo = 1000000000000000000;
    EXPECT_EQ(progress_log_text("erdos-straus-mpi", 4.0, "scanning primes", 4.0, true, 1000, 0, lo + 750000000, lo,
                                lo + 1000000000, 600, lo + 500000000),
              "erdos-straus-mpi: 4s  scanning primes 75.0%  1000 primes  p=1000000000750000000  100 primes/s  4s left");
}
