// A segmented sieve of Eratosthenes on the wheel of the residues modulo 30, for intervals below 2^32.
#include "numtheory/prime_range.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <stdexcept>

#include "numtheory/prime_sieve.hpp"

namespace erdos {

namespace {

// Byte b of the flags stands for the eight numbers 30b + r prime to 30, bit k
// for the residue r = residues[k].
constexpr std::array<std::uint32_t, 9> residues = {1, 7, 11, 13, 17, 19, 23, 29, 31};

// Flag bytes per segment: a segment stays in the first-level cache.
constexpr std::uint64_t segment_bytes = std::uint64_t{1} << 15;

// The bit of residue x modulo 30 (x prime to 30).
constexpr int bit_of(std::uint32_t x) {
    int k = 0;
    while (residues[static_cast<std::size_t>(k)] != x) ++k;
    return k;
}

// A multiple n = q * m of a sieving prime q = 30a + r walks m over the
// numbers prime to 30: m = 30c + residues[w], w = 0 .. 7 and around. The
// residue of n modulo 30 depends on (r, w) alone, and so does the carry into
// the byte when m steps on by gap(w): n / 30 grows by a * gap(w) + carry.
struct wheel_tables {
    std::uint8_t mask[8][8];   // [bit of r][w]: clears the bit of n
    std::uint8_t carry[8][8];  // [bit of r][w]
};

constexpr wheel_tables make_wheel_tables() {
    wheel_tables t{};
    for (std::size_t i = 0; i < 8; ++i) {
        const std::uint32_t r = residues[i];
        for (std::size_t w = 0; w < 8; ++w) {
            const std::uint32_t s = r * residues[w] % 30;
            const std::uint32_t gap = residues[w + 1] - residues[w];
            t.mask[i][w] = static_cast<std::uint8_t>(~(1U << bit_of(s)));
            t.carry[i][w] = static_cast<std::uint8_t>((s + r * gap) / 30);
        }
    }
    return t;
}
constexpr wheel_tables wheel = make_wheel_tables();

// The multiples of 7, 11, 13 and 17 (these primes themselves included) recur
// with a period of 17017 bytes: a segment starts as a copy of this pattern,
// and the primes from 19 on strike one by one.
constexpr std::uint64_t pattern_period = 7 * 11 * 13 * 17;
constexpr std::uint32_t first_striking_prime = 19;

const std::vector<std::uint8_t>& presieved_pattern() {
    static const std::vector<std::uint8_t> pattern = [] {
        std::vector<std::uint8_t> p(pattern_period + segment_bytes, 0xff);
        for (const std::uint64_t q : {7U, 11U, 13U, 17U}) {
            for (std::uint64_t n = q; n < 30 * p.size(); n += 2 * q) {
                const auto r = static_cast<std::uint32_t>(n % 30);
                if (r % 3 != 0 && r % 5 != 0) p[n / 30] &= static_cast<std::uint8_t>(~(1U << bit_of(r)));
            }
        }
        return p;
    }();
    return pattern;
}

// The position on the wheel of the least m >= x prime to 30, for x mod 30.
constexpr std::array<std::uint8_t, 30> next_wheel = [] {
    std::array<std::uint8_t, 30> t{};
    for (std::uint32_t x = 0; x < 30; ++x) {
        std::uint8_t w = 0;
        while (residues[w] < x) ++w;
        t[x] = w;  // 8 when x > 29: the next turn's residue 1
    }
    return t;
}();

// The largest r with r * r <= n.
std::uint64_t isqrt(std::uint64_t n) {
    std::uint64_t r = 0;
    for (std::uint64_t bit = std::uint64_t{1} << 31; bit != 0; bit >>= 1) {
        const std::uint64_t t = r | bit;
        if (t * t <= n) r = t;
    }
    return r;
}

// The bit of each residue modulo 30 that is prime to 30 (others unused).
constexpr std::array<std::uint8_t, 30> bit_index = [] {
    std::array<std::uint8_t, 30> t{};
    for (std::size_t k = 0; k < 8; ++k) t[residues[k]] = static_cast<std::uint8_t>(k);
    return t;
}();

constexpr std::array<std::uint32_t, 8> gaps = {6, 4, 2, 4, 2, 4, 6, 2};

// Strikes the multiples of one prime from a segment's flags and leaves it at
// its first multiple past the segment.
inline void strike(prime_range::sieving_prime& s, std::uint8_t* flags, std::uint32_t length) {
    const std::uint32_t q = s.prime;
    const std::uint32_t a = q / 30;
    const std::uint8_t* const mask = wheel.mask[bit_index[q % 30]];
    const std::uint8_t* const carry = wheel.carry[bit_index[q % 30]];
    std::uint32_t i = s.byte;
    std::uint32_t w = s.wheel;
    auto step = [&] {
        flags[i] &= mask[w];
        i += a * gaps[w] + carry[w];
        w = (w + 1) & 7U;
    };
    while (w != 0 && i < length) step();
    if (w == 0) {
        // Whole turns of the wheel: eight strikes at fixed offsets, then the
        // multiple 30q further on, q bytes.
        std::uint32_t o[8] = {0};
        for (std::size_t k = 1; k < 8; ++k) o[k] = o[k - 1] + a * gaps[k - 1] + carry[k - 1];
        for (; i + o[7] < length; i += q) {
            flags[i] &= mask[0];
            flags[i + o[1]] &= mask[1];
            flags[i + o[2]] &= mask[2];
            flags[i + o[3]] &= mask[3];
            flags[i + o[4]] &= mask[4];
            flags[i + o[5]] &= mask[5];
            flags[i + o[6]] &= mask[6];
            flags[i + o[7]] &= mask[7];
        }
        while (i < length) step();
    }
    s.byte = i - length;
    s.wheel = w;
}

}  // namespace

prime_range start_prime_range(std::int64_t lo, std::int64_t hi) {
    if (lo < 0 || hi > (std::int64_t{1} << 32)) throw std::invalid_argument("start_prime_range: need 0 <= lo, hi <= 2^32");
    prime_range range;
    if (lo >= hi) return range;
    range.lo = static_cast<std::uint64_t>(lo);
    range.hi = static_cast<std::uint64_t>(hi);
    for (const std::uint32_t p : {2U, 3U, 5U}) {
        if (range.lo <= p && p < range.hi) range.small_pending.push_back(p);
    }
    range.next_byte = range.lo / 30;
    range.end_byte = (range.hi + 29) / 30;
    const std::uint64_t start = 30 * range.next_byte;
    for (const std::int32_t prime : sieve_primes(static_cast<std::int32_t>(isqrt(range.hi - 1)))) {
        const auto q = static_cast<std::uint64_t>(prime);
        if (q < first_striking_prime) continue;
        // The least cofactor m >= q (below q^2 lies no composite of least
        // factor q) that reaches the range's first byte, moved on to the
        // wheel: q * m is the first multiple to strike.
        const std::uint64_t least = std::max(q, (start + q - 1) / q);
        std::uint64_t turn = least / 30;
        std::uint32_t w = next_wheel[least % 30];
        if (w == 8) {
            w = 0;
            ++turn;
        }
        const std::uint64_t multiple = q * (30 * turn + residues[w]);
        range.primes.push_back({static_cast<std::uint32_t>(q), static_cast<std::uint32_t>(multiple / 30 - range.next_byte), w});
    }
    return range;
}

bool next_primes(prime_range& range, std::vector<std::uint32_t>& out) {
    const std::size_t before = out.size();
    out.insert(out.end(), range.small_pending.begin(), range.small_pending.end());
    range.small_pending.clear();
    const std::vector<std::uint8_t>& pattern = presieved_pattern();
    // A segment can hold no prime at all only near the end of the range (or
    // when the whole range is short), so the loop runs more than once only there.
    while (out.size() == before && range.next_byte < range.end_byte) {
        const std::uint64_t first = range.next_byte;
        const auto length = static_cast<std::uint32_t>(std::min(segment_bytes, range.end_byte - first));
        // Padded with zeros to whole words for the scan below.
        range.flags.resize(segment_bytes + 8);
        std::uint8_t* const flags = range.flags.data();
        std::memcpy(flags, pattern.data() + first % pattern_period, length);
        std::memset(flags + length, 0, range.flags.size() - length);
        if (first == 0) {
            // 1 is no prime; the pattern struck 7, 11, 13 and 17 themselves.
            flags[0] = static_cast<std::uint8_t>(flags[0] | 0x1eU);
            flags[0] = static_cast<std::uint8_t>(flags[0] & ~1U);
        }
        // The range's own ends within their bytes.
        for (std::size_t k = 0; k < 8; ++k) {
            if (30 * first + residues[k] < range.lo) flags[0] = static_cast<std::uint8_t>(flags[0] & ~(1U << k));
            const std::uint64_t last = first + length - 1;
            if (30 * last + residues[k] >= range.hi) {
                flags[length - 1] = static_cast<std::uint8_t>(flags[length - 1] & ~(1U << k));
            }
        }

        for (prime_range::sieving_prime& s : range.primes) strike(s, flags, length);

        // Eight bytes at a time, one survivor per set bit.
        for (std::uint32_t b = 0; b < length; b += 8) {
            std::uint64_t word;
            std::memcpy(&word, flags + b, 8);
            while (word != 0) {
                const auto bit = static_cast<std::uint32_t>(std::countr_zero(word));
                out.push_back(static_cast<std::uint32_t>(30 * (first + b + bit / 8) + residues[bit % 8]));
                word &= word - 1;
            }
        }
        range.next_byte = first + length;
    }
    return out.size() > before;
}

}  // namespace erdos
