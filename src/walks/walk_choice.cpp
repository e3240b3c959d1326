// The one rule that picks a run's walk, and the walks over a part of an interval.
#include "walks/walk_choice.hpp"

#include "walks/far_walk.hpp"

namespace erdos {

namespace {

// The largest p_max of a run whose m all fit the 32-bit walks' tables.
constexpr std::int64_t max_p_32 = 2147483646;

}  // namespace

walk_kind choose_walk(std::int64_t p_max, std::int32_t c_max, scan_engine engine) {
    const bool far = p_max > max_p_32 || p_max + c_max > max_p_32 + 1;
    const bool plain = engine == scan_engine::plain;
    if (far) return plain ? walk_kind::plain_far : walk_kind::far;
    return plain ? walk_kind::plain : walk_kind::fast;
}

int walk_part(walk_kind walk, std::int64_t p_lo, std::int64_t p_hi, std::int32_t c_max, unsigned threads,
              const chunk_sink& sink) {
    if (p_lo > p_hi) return 0;
    switch (walk) {
        case walk_kind::fast: {
            const walk_setup setup = prepare_walk(p_lo, static_cast<std::int32_t>(p_hi));
            return walk_primes_fast(setup, static_cast<std::int32_t>(p_hi), c_max, threads, sink);
        }
        case walk_kind::plain:
            return walk_primes_plain(p_lo, static_cast<std::int32_t>(p_hi), c_max, sink);
        case walk_kind::far:
            return walk_primes_far(p_lo, p_hi, c_max, threads, sink);
        case walk_kind::plain_far:
            return walk_primes_plain_far(p_lo, p_hi, c_max, sink);
    }
    return 0;
}

}  // namespace erdos
