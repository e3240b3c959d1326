// Combining the aggregates of disjoint parts of a run into those of the whole run.
#pragma once

#include <cstdint>
#include <vector>

#include "stats/run_stats.hpp"

namespace erdos {

// Folds part into whole, as if whole's primes and part's primes had been
// folded one at a time in prime order: counts and histogram add up; the
// largest least shift wins, on a tie the smaller prime; each minimum goes to
// the smaller value, on a tie the smaller prime. The parts must hold disjoint
// primes (an empty part, at its initial values, changes nothing: its 0 at
// prime 0 and 1.0 at prime 0 lose every tie). The mass lists are left alone.
// The result does not depend on the order of the merges.
void merge_run_stats(run_stats& whole, const run_stats& part);

// Everything of stats but the mass lists as one list of 64-bit words (the
// doubles by their bits), for sending to another process; and back.
std::vector<std::int64_t> pack_run_stats(const run_stats& stats);

// Reads one packed record starting at words[at], advances at past it.
// Throws std::invalid_argument on a truncated record.
run_stats unpack_run_stats(const std::vector<std::int64_t>& words, std::size_t& at);

}  // namespace erdos
