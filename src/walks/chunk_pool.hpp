// Makes numbered chunks of primes, on one thread or on a pool of workers, and hands them on in order.
#pragma once

#include <cstddef>
#include <functional>

#include "walks/prime_walk.hpp"

namespace erdos {

// Fills `chunk` (whatever it held before) with the chunk numbered `index`,
// as worker `worker`: calls for different workers may run at the same time,
// calls for one worker never do. Returns false when there is no such chunk:
// then there is none with a higher number either, and the walk ends there.
using chunk_maker = std::function<bool(unsigned worker, std::size_t index, prime_chunk& chunk)>;

// A chunk count for a walk that learns its end only from the maker.
inline constexpr std::size_t chunks_until_exhausted = static_cast<std::size_t>(-1);

// Makes the chunks 0 .. chunk_count - 1 one after the other on the calling
// thread, as worker 0, passing each to the sink. A non-zero return of the
// sink stops the walk and is returned; otherwise 0.
int make_chunks_alone(std::size_t chunk_count, const chunk_maker& make, const chunk_sink& sink);

// The same with `threads` workers (0 .. threads - 1), each on a thread of its
// own. The sink still receives the chunks in order, on the calling thread,
// and no worker runs more than tuning::chunks_ahead_per_thread * threads
// chunks ahead of it. The first exception of a worker or of the sink stops
// the pool and is rethrown here.
int make_chunks_in_pool(std::size_t chunk_count, unsigned threads, const chunk_maker& make, const chunk_sink& sink);

}  // namespace erdos
