// The first hits of sieving primes in a stretch of the numbers 24k + 1, against modular inverses.
#include "numtheory/examined_hits.hpp"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "numtheory/int128.hpp"
#include "numtheory/prime_sieve.hpp"

namespace {

// The least k >= from with q | 24k + 1: k = -24^(-1) (mod q), the inverse by
// Fermat's little theorem.
std::int64_t first_hit(std::uint64_t q, std::int64_t from) {
    std::uint64_t inverse = 1;
    for (std::uint64_t b = 24 % q, e = q - 2; e != 0; e >>= 1, b = static_cast<std::uint64_t>(erdos::uint128{b} * b % q)) {
        if ((e & 1) != 0) inverse = static_cast<std::uint64_t>(erdos::uint128{inverse} * b % q);
    }
    const std::uint64_t k = (q - inverse) % q;
    const std::uint64_t at = static_cast<std::uint64_t>(from) % q;
    return from + static_cast<std::int64_t>((k + q - at) % q);
}

// Both ways give the primes of the block that hit, in order, each at its
// first hit.
void expect_first_hits(std::int64_t from, std::int64_t length, const std::uint32_t* block, std::size_t count) {
    std::vector<std::uint32_t> want_primes;
    std::vector<std::uint32_t> want_offsets;
    for (std::size_t k = 0; k < count; ++k) {
        const std::int64_t hit = first_hit(block[k], from);
        if (hit - from < length) {
            want_primes.push_back(block[k]);
            want_offsets.push_back(static_cast<std::uint32_t>(hit - from));
        }
    }
    for (const bool plain : {false, true}) {
        std::vector<std::uint32_t> got_primes(count);
        std::vector<std::uint32_t> got_offsets(count);
        const std::size_t hits =
            plain ? erdos::first_examined_hits_plain(from, length, block, count, got_primes.data(), got_offsets.data())
                  : erdos::first_examined_hits(from, length, block, count, got_primes.data(), got_offsets.data());
        const std::string where = "from " + std::to_string(from) + ", length " + std::to_string(length) + ", " +
                                  std::to_string(count) + " primes" + (plain ? ", plain" : "");
        ASSERT_EQ(hits, want_primes.size()) << where;
        got_primes.resize(hits);
        got_offsets.resize(hits);
        EXPECT_EQ(got_primes, want_primes) << where;
        EXPECT_EQ(got_offsets, want_offsets) << where;
    }
}

// Primes just above 2^15, near 2^31 and between; from around their
// multiples, at the low end of what they allow and near 2^58; blocks of
// every length up to a few lanes past a multiple of four; stretches from
// one k to beyond the largest prime.
TEST(ExaminedHits, BothWaysFindEveryFirstHit) {
    std::mt19937_64 random(58);
    std::vector<std::uint32_t> primes;
    for (const std::int32_t q : erdos::sieve_primes(40000)) {
        if (q >= 32768) primes.push_back(static_cast<std::uint32_t>(q));
    }
    for (std::uint32_t q = 2147483647U; primes.size() < 800; q -= 2) {  // the primes just below 2^31
        bool prime = true;
        for (std::uint32_t d = 3; d * d <= q && prime; d += 2) prime = q % d != 0;
        if (prime) primes.push_back(q);
    }
    // And primes between, at random: there the estimated quotients of the
    // multiples below fall short or over by one often.
    while (primes.size() < 1200) {
        const auto q = static_cast<std::uint32_t>((32768 + random() % ((std::uint64_t{1} << 31) - 32768)) | 1);
        bool prime = true;
        for (std::uint32_t d = 3; d * d <= q && prime; d += 2) prime = q % d != 0;
        if (prime) primes.push_back(q);
    }
    const std::int64_t top = (std::int64_t{1} << 58) - 1;
    std::vector<std::int64_t> froms = {std::int64_t{2147483647} * 2147483647 / 24 + 1, top, top - 12345, std::int64_t{1} << 57};
    // Around the multiples of the block's primes, where the quotient's
    // estimate may fall short or over by one: blocks of one prime five
    // times over (four lanes and one more).
    for (std::size_t i = 0; i < 300; ++i) {
        const std::uint32_t q = primes[random() % primes.size()];
        const std::vector<std::uint32_t> block(5, q);
        const std::int64_t multiple = static_cast<std::int64_t>(top / q / 2 + random() % (top / q / 2)) * q;
        for (const std::int64_t from : {multiple - 1, multiple, multiple + 1}) {
            expect_first_hits(from, (std::int64_t{1} << 31) - 1, block.data(), block.size());
        }
    }
    for (const std::int64_t from : froms) {
        for (const std::int64_t length : {std::int64_t{1}, std::int64_t{1000}, std::int64_t{1} << 24, (std::int64_t{1} << 31) - 1}) {
            for (const std::size_t count : {std::size_t{1}, std::size_t{3}, std::size_t{4}, std::size_t{7}, primes.size()}) {
                const std::size_t start = count == primes.size() ? 0 : random() % (primes.size() - count + 1);
                const std::uint32_t* block = primes.data() + start;
                expect_first_hits(from, length, block, count);
            }
        }
    }
}

}  // namespace
