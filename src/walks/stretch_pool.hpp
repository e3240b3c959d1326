// Stretches of an interval made by workers each on its own, their chunks handed on in order.
#pragma once

#include <cstddef>
#include <functional>

#include "walks/prime_walk.hpp"

namespace erdos {

// Takes a finished chunk of the stretch being made (the chunk is moved from).
// Returns false when the walk is stopping: the maker should then return at
// once.
using chunk_emit = std::function<bool(prime_chunk& chunk)>;

// Makes stretch number `stretch` as worker `worker`, passing its chunks to
// emit in order. Calls for different workers may run at the same time, calls
// for one worker never do. Returns false when there is no such stretch: then
// there is none with a higher number either.
using stretch_maker = std::function<bool(unsigned worker, std::size_t stretch, const chunk_emit& emit)>;

// Makes the stretches 0, 1, 2, ... with `threads` workers, each taking the
// next stretch not yet taken, and hands every chunk to the sink on the
// calling thread, stretch by stretch and within a stretch in emitted order.
// A worker holds at most max_held chunks not yet handed to the sink, of all
// the stretches it made: emit waits while it holds that many. A non-zero return of the sink stops the
// walk and is returned; otherwise 0. The first exception of a worker or of
// the sink stops the pool and is rethrown here.
int make_stretches_in_pool(unsigned threads, std::size_t max_held, const stretch_maker& make,
                           const chunk_sink& sink);

}  // namespace erdos
