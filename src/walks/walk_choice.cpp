// The one rule that picks a run's walk, and the walks over a part of an interval.
#include "walks/walk_choice.hpp"

#include <stdexcept>

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
              const chunk_sink& sink, const walk_events& events, const std::string& spill_directory) {
    if (p_lo > p_hi) return 0;
    // choose_walk gives the 32-bit walks only runs whose p_max, and so p_hi,
    // is at most max_p_32: the one narrowing of a prime bound to 32 bits.
    const bool narrow = walk == walk_kind::fast || walk == walk_kind::plain;
    if (narrow && p_hi > max_p_32) throw std::logic_error("a 32-bit walk was given a prime beyond 2^31");
    const auto p_hi_32 = static_cast<std::int32_t>(narrow ? p_hi : 0);
    switch (walk) {
        case walk_kind::fast: {
            announce_phase(events, "sieving");
            const walk_setup setup = prepare_walk(p_lo, p_hi_32);
            if (events.listed) events.listed(static_cast<std::int64_t>(setup.examined.size()));
            announce_phase(events, "scanning primes");
            return walk_primes_fast(setup, p_hi_32, c_max, threads, sink);
        }
        case walk_kind::plain:
            announce_phase(events, "building tables");
            return walk_primes_plain(p_lo, p_hi_32, c_max, sink, events);
        case walk_kind::far:
            announce_phase(events, "building tables");
            return walk_primes_far(p_lo, p_hi, c_max, threads, sink, spill_directory);
        case walk_kind::plain_far:
            announce_phase(events, "building tables");
            return walk_primes_plain_far(p_lo, p_hi, c_max, sink);
    }
    return 0;
}

}  // namespace erdos
