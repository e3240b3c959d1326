// The summary's percentiles of mass stores, one per process, found exactly by radix passes without gathering the masses.
#pragma once

#include <cstdint>
#include <vector>

#include "stats/mass_store.hpp"
#include "stats/radix_select.hpp"
#include "stats/summary_format.hpp"

namespace erdos {

// The searches for the entries the summary's percentiles need: of the
// uniform masses the two ranks around each of the three quantiles, of the
// weighted ones the two around the median, each rank searched once.
struct percentile_search {
    std::uint64_t total = 0;  // masses in each list, over all processes
    struct target {
        bool weighted = false;
        std::uint64_t rank = 0;  // among all masses of its list
        rank_search search;
        std::uint64_t sharing = 0;  // masses of its list, over all processes, sharing search's known bits
    };
    std::vector<target> targets;
};

// The searches for lists of `total` masses in all (the same for both lists).
percentile_search start_percentile_search(std::uint64_t total);

// One pass on one process: the masses of its store counted into counts,
// which is resized to targets.size() * select_digit_values and zeroed
// first, the work shared by up to `threads` threads. The searches must all
// know the same bits, fewer than 64 (as the passes keep them); the first
// pass reads no file. Returns 0, the store's error or the errno value of a
// failed read.
int count_percentile_pass(const percentile_search& search, const mass_store& store,
                          std::vector<std::uint64_t>& counts, unsigned threads = 1);

// Fixes the next digit of every search from the counts of all processes
// added up entry by entry.
void take_percentile_pass(percentile_search& search, const std::vector<std::uint64_t>& total_counts);

// Once every search knows all 64 bits: the percentiles, interpolated
// exactly as percentile() does; NaN (sign clear) for empty lists.
summary_percentiles finish_percentile_search(const percentile_search& search);

// The summary's percentiles of one store's masses, to the bit those that
// percentile() finds in the lists of all of them. A store that never used
// its file is searched in memory, by passes over the lists until the keys
// that share the sought ranks' leading digits, gathered, take at most an
// eighth of the lists' memory (or 512 KiB); one that did has its buffer
// written out and freed first, and is searched in passes over the file.
// The passes share their work among up to `threads` threads. Returns 0 or
// the errno value of the store's failure or of a failed read, which is then
// kept in store.error too. Throws run_stopped when a signal asks the run to
// stop.
int find_summary_percentiles(mass_store& store, summary_percentiles& percentiles, unsigned threads = 1);

}  // namespace erdos
