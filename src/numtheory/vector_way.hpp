// The ways a loop over many primes may take on this processor: a prime at a time, or several in vector lanes.
#pragma once

namespace erdos {

// A prime at a time, four or eight to a vector with AVX2, or eight or
// sixteen with AVX-512 (F, DQ and VL). Every loop that offers several ways
// gives the same result by each; tests compare them.
enum class vector_way { plain, avx2, avx512 };

// Whether the processor can take `way` (plain: always).
bool vector_way_available(vector_way way);

// The fastest way the processor can take.
vector_way fastest_vector_way();

}  // namespace erdos
