// Where each of a block of sieving primes first strikes a stretch: of the numbers 24k + 1, or of consecutive m.
#pragma once

#include <cstddef>
#include <cstdint>

#include "numtheory/vector_way.hpp"

namespace erdos {

// The primes of a block that divide 24k + 1 for some k in [from, from +
// length), each with the least such k as its offset k - from, in the
// block's order; returns how many. Requires 2^11 <= primes[k] < 2^31,
// primes[k]^2 <= 24 from (so that the first hit at or after from is simply
// the first k = k0 (mod q) there: q itself and the numbers below q^2 lie
// before the stretch), from < 2^58 and 0 < length < 2^31. hit_primes and
// hit_offsets must hold count entries (every slot up to the prime's own
// may be written, kept or not). Takes the fastest way the processor has;
// the result does not depend on it.
std::size_t first_examined_hits(std::int64_t from, std::int64_t length, const std::uint32_t* primes, std::size_t count,
                                std::uint32_t* hit_primes, std::uint32_t* hit_offsets);

// The primes of a block with a multiple in [lo, lo + span], each with its
// least such multiple as its offset from lo, in the block's order; returns
// how many. Requires 2^11 <= primes[k] < 2^31, 0 < lo < 2^61 and
// span < 2^32; hit_primes and hit_offsets hold count entries, as above.
// Takes the fastest way the processor has; the result does not depend on it.
std::size_t first_multiples(std::uint64_t lo, std::uint64_t span, const std::uint32_t* primes, std::size_t count,
                            std::uint32_t* hit_primes, std::uint32_t* hit_offsets);

// The two functions above, the way given (which the processor must have):
// a prime at a time, four at a time with AVX2, or eight with AVX-512.
std::size_t first_examined_hits_by(vector_way way, std::int64_t from, std::int64_t length, const std::uint32_t* primes,
                                   std::size_t count, std::uint32_t* hit_primes, std::uint32_t* hit_offsets);
std::size_t first_multiples_by(vector_way way, std::uint64_t lo, std::uint64_t span, const std::uint32_t* primes,
                               std::size_t count, std::uint32_t* hit_primes, std::uint32_t* hit_offsets);

}  // namespace erdos
