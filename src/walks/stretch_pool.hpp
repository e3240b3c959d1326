// Stretches of an interval made by workers each on its own, their chunks handed on in order.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "walks/prime_walk.hpp"

namespace erdos {

// Takes a finished chunk of the stretch being made. The chunk is left empty
// (no scans, verdicts, rows or tally), though perhaps with the room of one
// of the worker's chunks handed on before, for the next chunk to reuse.
// Returns false when the walk is stopping: the maker should then return at
// once.
using chunk_emit = std::function<bool(prime_chunk& chunk)>;

// Makes stretch number `stretch` as worker `worker`, passing its chunks to
// emit in order. Calls for different workers may run at the same time, calls
// for one worker never do. Returns false when there is no such stretch: then
// there is none with a higher number either.
using stretch_maker = std::function<bool(unsigned worker, std::size_t stretch, const chunk_emit& emit)>;

// How much a worker may make ahead of the stretch being handed on.
struct stretch_pool_limits {
    // Chunks a worker may hold not yet handed to the sink, of all the
    // stretches it made, in memory or on file: emit waits while it holds
    // that many.
    std::size_t max_held = 1;
    // Of those, the chunks of stretches not yet being handed on that stay in
    // memory; the others wait in an unnamed file of the worker's (in
    // spill_directory, or $TMPDIR or /tmp when it is empty) and are read
    // back in their turn. Where no such file can be made or written, they
    // stay in memory up to this bound instead, and emit waits beyond it.
    std::size_t kept_in_memory = static_cast<std::size_t>(-1);
    std::string spill_directory;
};

// Makes the stretches 0, 1, 2, ... with `threads` workers, each taking the
// next stretch not yet taken, and hands every chunk to the sink on the
// calling thread, stretch by stretch and within a stretch in emitted order,
// each as it was emitted. A non-zero return of the sink stops the walk and
// is returned; otherwise 0. The first exception of a worker or of the sink
// stops the pool and is rethrown here.
int make_stretches_in_pool(unsigned threads, const stretch_pool_limits& limits, const stretch_maker& make,
                           const chunk_sink& sink);

// The same with every held chunk kept in memory.
int make_stretches_in_pool(unsigned threads, std::size_t max_held, const stretch_maker& make,
                           const chunk_sink& sink);

}  // namespace erdos
