// The examined primes of a narrow interval by Miller-Rabin, their m by Pollard-Brent rho.
#include "walks/lone_feed.hpp"

#include <cmath>

#include "numtheory/factorize64.hpp"
#include "numtheory/prime_test64.hpp"
#include "search/shift_list.hpp"
#include "stop_request.hpp"
#include "tuning.hpp"

namespace erdos {

namespace {

// Appends m's factorisation as a new entry and returns its number.
std::uint32_t add_entry(far_pair_factors& factors, std::uint64_t m) {
    const auto entry = static_cast<std::uint32_t>(factors.cofactor.size());
    const std::size_t used = factors.entry_start.back();
    constexpr std::size_t slots = far_pair_factors::max_factors + far_pair_factors::padding;
    if (factors.primes.size() < used + slots) {
        factors.primes.resize(2 * (used + slots));
        factors.exponents.resize(2 * (used + slots));
    }
    std::uint64_t cofactor = 1;
    int n = 0;
    for (const auto& [q, e] : factorize64(static_cast<std::int64_t>(m))) {
        // m < 2^61 has at most one prime factor from 2^31 on, to the first power.
        if (q >= (std::int64_t{1} << 31)) {
            cofactor = static_cast<std::uint64_t>(q);
            continue;
        }
        factors.primes[used + static_cast<std::size_t>(n)] = static_cast<std::uint32_t>(q);
        factors.exponents[used + static_cast<std::size_t>(n)] = static_cast<std::uint8_t>(e);
        ++n;
    }
    factors.cofactor.push_back(cofactor);
    factors.key.push_back(far_batch_key(factors.exponents.data() + used, n, cofactor > 1));
    factors.entry_start.push_back(static_cast<std::uint32_t>(used + static_cast<std::size_t>(n)));
    return entry;
}

}  // namespace

lone_feed start_lone_feed(std::int64_t p_lo, std::int64_t p_hi, std::int32_t c_max) {
    lone_feed feed;
    feed.next = p_lo <= 1 ? 25 : p_lo + (25 - p_lo % 24) % 24;  // the first 24k + 1 >= max(p_lo, 2)
    feed.p_hi = p_hi;
    feed.shifts = count_shifts(c_max);
    return feed;
}

bool next_lone_chunk(lone_feed& feed, std::size_t max_primes, std::vector<std::int64_t>& primes,
                     far_pair_factors& factors) {
    primes.clear();
    for (; primes.size() < max_primes && feed.next <= feed.p_hi; feed.next += 24) {
        if (is_prime_u64(static_cast<std::uint64_t>(feed.next))) primes.push_back(feed.next);
    }
    if (primes.empty()) return false;
    const std::size_t shifts = feed.shifts;
    size_far_pair_factors(factors, primes.size(), shifts);
    // The m of prime j are m0 .. m0 + shifts - 1, m0 = (p + 3)/4; those the
    // prime before also needed keep its entries.
    std::uint64_t previous_m0 = 0;
    for (std::size_t j = 0; j < primes.size(); ++j) {
        stop_if_requested();
        const auto m0 = static_cast<std::uint64_t>((primes[j] + 3) / 4);
        for (std::size_t k = 0; k < shifts; ++k) {
            const std::uint64_t m = m0 + k;
            const bool shared = j > 0 && m < previous_m0 + shifts;
            factors.pair_entry[j * shifts + k] =
                shared ? factors.pair_entry[(j - 1) * shifts + (m - previous_m0)] : add_entry(factors, m);
        }
        previous_m0 = m0;
    }
    factors.primes.resize(factors.entry_start.back() + far_pair_factors::padding);
    factors.exponents.resize(factors.entry_start.back() + far_pair_factors::padding);
    return true;
}

bool lone_feed_pays(std::int64_t p_min, std::int64_t p_max, std::size_t shifts) {
    if (p_min > p_max) return true;
    const double top = static_cast<double>(std::max<std::int64_t>(p_max, 4));
    const double root = std::sqrt(top);
    const double sieving_primes = root / std::log(root);
    // The examined primes by their density 1/(8 ln p), without the margin
    // of estimate_examined_primes, which would swamp a narrow interval.
    const double examined = static_cast<double>(p_max - p_min) / (8.0 * std::log(top));
    const double lone = examined * static_cast<double>(shifts) * tuning::lone_m_cost;
    return lone < sieving_primes * tuning::sieving_prime_cost;
}

}  // namespace erdos
