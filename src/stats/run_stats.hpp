// The run-wide aggregates, and folding each examined prime into them.
#pragma once

#include <cstdint>

#include "search/prime_scan.hpp"
#include "stats/mass_store.hpp"
#include "stats/prime_chunk.hpp"
#include "stats/record_primes.hpp"
#include "stats/run_profile.hpp"

namespace erdos {

// Run-wide aggregates, folded in one examined prime at a time: the counts
// and extremes, the examined primes, and what the percentiles, records and
// profile need.
struct run_stats : prime_counts {
    std::int64_t processed = 0;
    mass_store masses;  // both masses of every prime, for the percentiles; makes run_stats move-only
    record_primes records;  // the record primes, when the run writes them
    run_profile profile;    // the bins of p, when the run writes them
};

// Folds one examined prime into stats (everything but `processed`, which the
// walk counts before the scan). A covered prime raises `covered`, `verified`
// when its first witness passed, its least shift's histogram count and, on a
// strictly larger least shift, the maximum. Every prime appends its masses and
// replaces a minimum only when strictly below it, so a NaN never becomes one;
// it is also folded into the records and the profile, when they are wanted.
void update_run_stats(run_stats& stats, const prime_scan& scan, bool witness_verified);

// Whether every examined prime was covered and its first witness verified:
// the run's exit status is 0 exactly then, 2 otherwise.
bool every_prime_covered_and_verified(const run_stats& stats);

// Folds one more prime of a chunk into its tally, as update_run_stats folds
// it into a run's.
void tally_prime(chunk_tally& tally, const prime_scan& scan, bool witness_verified);

// Empties a tally for the next chunk, keeping its memory.
void clear_chunk_tally(chunk_tally& tally);

// Adds to whole the covered and verified counts, the histogram and the
// extremes of part (a run's or a chunk's) over primes disjoint from
// whole's, as if both had been folded one prime at a time in prime order:
// the largest least shift wins, on a tie the smaller prime; each minimum goes
// to the smaller value, on a tie the smaller prime (the initial 0 and 1.0 are
// at prime 0 on both sides, so an empty part changes nothing). `processed`
// and the masses are left to the caller.
void add_counts_and_extremes(prime_counts& whole, const prime_counts& part);

// Counts each prime of the chunk as processed and folds it into stats, as if
// its primes were folded one by one in order: from the chunk's tally when
// that holds every prime of the chunk, else prime by prime. The records and
// the profile, when wanted, take the chunk's primes one by one.
void fold_chunk_stats(run_stats& stats, const prime_chunk& chunk);

}  // namespace erdos
