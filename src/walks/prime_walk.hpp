// The walk over the examined primes, in chunks: the fast windowed walk and the plain reference walk.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "stats/prime_chunk.hpp"

namespace erdos {


// Receives the chunks in prime order, on the calling thread; a non-zero
// return stops the walk and is passed back.
using chunk_sink = std::function<int(const prime_chunk&)>;

// What a walk tells its caller besides the chunks, for the status line: each
// phase by its name as it begins ("sieving", "building tables", "scanning
// primes"), and, where the walk lists its primes in advance, how many it will
// visit. Either may be empty.
struct walk_events {
    std::function<void(const char* phase)> phase;
    std::function<void(std::int64_t examined)> listed;
};
inline void announce_phase(const walk_events& events, const char* phase) {
    if (events.phase) events.phase(phase);
}

// How many examined primes the walk will visit, for progress and reservations.
struct walk_setup {
    std::vector<std::int32_t> examined;  // every examined prime, ascending
};

// Sieves the examined primes from p_min to p_max (p_max < 2^31).
walk_setup prepare_walk(std::int64_t p_min, std::int32_t p_max);

// Sets the verdicts, the rows and the tally of chunk.scans.
void add_verdicts_and_rows(prime_chunk& chunk);

// Primes per chunk of the plain walks over `shift_count` shifts (see tuning.hpp).
std::size_t plain_chunk_primes(std::uint64_t shift_count);

// Scans every examined prime over the shifts up to c_max with `threads`
// workers (1: on the calling thread alone). Chunks reach the sink in prime
// order whatever the thread count, so the outputs are identical for every
// count. Exceptions of the workers are rethrown here; run_stopped among them
// when a signal asks the run to stop, which every worker notices before its
// next chunk.
int walk_primes_fast(const walk_setup& setup, std::int32_t p_max, std::int32_t c_max, unsigned threads,
                     const chunk_sink& sink);

// The same walk done the plain way (of the primes from p_min on): a full
// sieve, a factor table over every m, and the divisor-listing scan, on one
// thread. The reference for the fast walk (the straightforward program runs
// it). Chunks hold fewer primes the more shifts there are. The tables can take
// longer than many primes: the phase "scanning primes" is announced once they
// are built. Throws run_stopped when a signal asks the run to stop.
int walk_primes_plain(std::int64_t p_min, std::int32_t p_max, std::int32_t c_max, const chunk_sink& sink,
                      const walk_events& events = {});

}  // namespace erdos
