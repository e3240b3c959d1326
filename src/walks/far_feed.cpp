// Chunks of primes far out, with the factorisations of their m taken from one forward-moving sieve.
#include "walks/far_feed.hpp"

#include <algorithm>

#include "search/shift_list.hpp"

namespace erdos {

namespace {

std::int64_t first_m(const far_feed& feed, std::int64_t p) { return (p + feed.first_shift) / 4; }

// The first m of the sieve segment that holds m.
std::uint64_t segment_start(const far_feed& feed, std::uint64_t m) {
    const std::uint64_t offset = (m - feed.sieve.lo) >> far_factor_sieve::segment_bits;
    return feed.sieve.lo + (offset << far_factor_sieve::segment_bits);
}

// Gives the pairs of primes[j] whose m lie in the sieve's current segment
// the entries of their m, factoring each m of the segment the first time a
// pair of the chunk needs it. The primes come in ascending order, so the m
// the prime before already took are the start of this one's, and their
// entries count back from the end of the run.
void copy_segment_part(far_feed& feed, std::int64_t p, std::size_t j, far_pair_factors& factors) {
    const far_factor_sieve& sieve = feed.sieve;
    const auto m0 = static_cast<std::uint64_t>(first_m(feed, p));
    const std::uint64_t a = sieve.segment_lo;
    const std::uint64_t b = sieve.segment_lo + sieve.segment_count;
    const std::uint64_t from = std::max(m0, a);
    const std::uint64_t to = std::min<std::uint64_t>(m0 + feed.shifts, b);  // exclusive
    if (from >= to) return;
    std::uint32_t* pair_entry = factors.pair_entry.data() + j * feed.shifts + (from - m0);
    std::uint64_t m = from;
    for (; m < to && m < feed.factored_end; ++m) {
        *pair_entry++ = feed.end_entry - static_cast<std::uint32_t>(feed.factored_end - m);
    }
    if (m == to) return;
    // Room first, then every m written through plain pointers: the lists
    // of the entries grow by exactly one each, and the powers' lists keep
    // room for a whole row past the last one in use.
    const auto count = static_cast<std::size_t>(to - m);
    const std::size_t first_entry = factors.cofactor.size();
    std::uint32_t used = factors.entry_start.back();
    if (const std::size_t room = used + count * (far_factor_sieve::max_struck + 1) + far_pair_factors::padding;
        factors.primes.size() < room) {
        factors.primes.resize(2 * room);
        factors.exponents.resize(2 * room);
    }
    factors.cofactor.resize(first_entry + count);
    factors.key.resize(first_entry + count);
    factors.entry_start.resize(first_entry + 1 + count);
    std::uint32_t* const primes = factors.primes.data();
    std::uint8_t* const exponents = factors.exponents.data();
    std::uint64_t* cofactor = factors.cofactor.data() + first_entry;
    std::uint64_t* key = factors.key.data() + first_entry;
    std::uint32_t* end = factors.entry_start.data() + first_entry + 1;
    auto entry = static_cast<std::uint32_t>(first_entry);
    for (; m < to; ++m) {
        std::uint64_t rest = 1;
        const int n = far_sieved_factors(sieve, m, primes + used, exponents + used, rest);
        *pair_entry++ = entry++;
        *cofactor++ = rest;
        *key++ = far_batch_key(exponents + used, n, rest > 1);
        used += static_cast<std::uint32_t>(n);
        *end++ = used;
    }
    feed.factored_end = to;
    feed.end_entry = static_cast<std::uint32_t>(factors.cofactor.size());
}

}  // namespace

far_feed start_far_feed(prime_source source, std::int64_t p_min, std::int64_t p_max, std::int32_t c_max,
                        const sieving_primes* listed) {
    far_feed feed;
    feed.pending.source = std::move(source);
    feed.shifts = count_shifts(c_max);
    if (feed.shifts > 0) {
        const std::int64_t last_shift = 3 + 4 * static_cast<std::int64_t>(feed.shifts - 1);
        const std::int64_t lo = (std::max<std::int64_t>(p_min, 1) + feed.first_shift) / 4;
        const std::int64_t hi = (p_max + last_shift) / 4;
        feed.sieve = start_far_factor_sieve(static_cast<std::uint64_t>(lo),
                                             static_cast<std::uint64_t>(std::max(hi, lo)), listed);
    }
    return feed;
}

bool next_far_chunk(far_feed& feed, std::size_t max_primes, std::vector<std::int64_t>& primes,
                     far_pair_factors& factors) {
    const std::size_t shifts = feed.shifts;
    // The sieve never goes back: the next chunk must not need an m below
    // the segment this one ends in, so primes whose first m lies below it
    // join this chunk.
    auto run_end = [&](std::int64_t q) { return static_cast<std::uint64_t>(first_m(feed, q)) + shifts - 1; };
    const bool any = take_chunk(feed.pending, max_primes, primes, [&](std::int64_t last, std::int64_t next) {
        return shifts > 0 && static_cast<std::uint64_t>(first_m(feed, next)) < segment_start(feed, run_end(last));
    });
    if (!any) return false;
    size_far_pair_factors(factors, primes.size(), shifts);
    if (shifts == 0) return true;

    if (!feed.segment_loaded) feed.segment_loaded = sieve_next_far_segment(feed.sieve);
    // Segment by segment, every prime whose m reach into it takes them.
    std::size_t done = 0;
    while (true) {
        feed.factored_end = feed.sieve.segment_lo;  // none of this segment yet
        const std::uint64_t b = feed.sieve.segment_lo + feed.sieve.segment_count;
        for (std::size_t j = done; j < primes.size(); ++j) {
            if (static_cast<std::uint64_t>(first_m(feed, primes[j])) >= b) break;
            copy_segment_part(feed, primes[j], j, factors);
        }
        while (done < primes.size() && run_end(primes[done]) < b) ++done;
        if (done == primes.size()) return true;
        sieve_next_far_segment(feed.sieve);
    }
}

}  // namespace erdos
