// The first hits of blocks of sieving primes, in a stretch of the numbers 24k + 1 and of consecutive m, against plain arithmetic.
#include "numtheory/block_hits.hpp"

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

// Primes just above 2^15, just below 2^31 and at random between.
std::vector<std::uint32_t> test_primes(std::mt19937_64& random) {
    const auto is_prime = [](std::uint32_t q) {
        for (std::uint32_t d = 3; d * d <= q; d += 2) {
            if (q % d == 0) return false;
        }
        return true;
    };
    std::vector<std::uint32_t> primes;
    for (const std::int32_t q : erdos::sieve_primes(40000)) {
        if (q >= 32768) primes.push_back(static_cast<std::uint32_t>(q));
    }
    for (std::uint32_t q = 2147483647U; primes.size() < 800; q -= 2) {
        if (is_prime(q)) primes.push_back(q);
    }
    // Between, at random: there the estimated quotients of the multiples
    // fall short or over by one often.
    while (primes.size() < 1200) {
        const auto q = static_cast<std::uint32_t>((32768 + random() % ((std::uint64_t{1} << 31) - 32768)) | 1);
        if (is_prime(q)) primes.push_back(q);
    }
    return primes;
}

// Every way the processor has gives the primes of the block whose offset,
// offset_of(q) (negative for none), is kept, in order, each with it.
template <typename OffsetOf, typename Find>
void expect_kept(const std::uint32_t* block, std::size_t count, OffsetOf offset_of, Find find,
                 const std::string& where) {
    std::vector<std::uint32_t> want_primes;
    std::vector<std::uint32_t> want_offsets;
    for (std::size_t k = 0; k < count; ++k) {
        const std::int64_t offset = offset_of(block[k]);
        if (offset >= 0) {
            want_primes.push_back(block[k]);
            want_offsets.push_back(static_cast<std::uint32_t>(offset));
        }
    }
    for (const erdos::vector_way way : {erdos::vector_way::plain, erdos::vector_way::avx2, erdos::vector_way::avx512}) {
        if (!erdos::vector_way_available(way)) continue;
        std::vector<std::uint32_t> got_primes(count);
        std::vector<std::uint32_t> got_offsets(count);
        const std::size_t hits = find(way, got_primes.data(), got_offsets.data());
        const std::string how = where + ", " + std::to_string(count) + " primes, way " + std::to_string(static_cast<int>(way));
        ASSERT_EQ(hits, want_primes.size()) << how;
        got_primes.resize(hits);
        got_offsets.resize(hits);
        EXPECT_EQ(got_primes, want_primes) << how;
        EXPECT_EQ(got_offsets, want_offsets) << how;
    }
}

// The primes of the block that hit [from, from + length), each at its first hit.
void expect_first_hits(std::int64_t from, std::int64_t length, const std::uint32_t* block, std::size_t count) {
    expect_kept(
        block, count,
        [&](std::uint32_t q) {
            const std::int64_t offset = first_hit(q, from) - from;
            return offset < length ? offset : -1;
        },
        [&](erdos::vector_way way, std::uint32_t* primes, std::uint32_t* offsets) {
            return erdos::first_examined_hits_by(way, from, length, block, count, primes, offsets);
        },
        "from " + std::to_string(from) + ", length " + std::to_string(length));
}

// Primes just above 2^15, near 2^31 and between; from around their
// multiples, at the low end of what they allow and near 2^58; blocks of
// lengths short of, at and past four and eight lanes; stretches from
// one k to beyond the largest prime.
TEST(BlockHits, EveryWayFindsEveryFirstExaminedHit) {
    std::mt19937_64 random(58);
    const std::vector<std::uint32_t> primes = test_primes(random);
    const std::int64_t top = (std::int64_t{1} << 58) - 1;
    std::vector<std::int64_t> froms = {std::int64_t{2147483647} * 2147483647 / 24 + 1, top, top - 12345, std::int64_t{1} << 57};
    // Around the multiples of the block's primes, where the quotient's
    // estimate may fall short or over by one: blocks of one prime nine
    // times over (eight lanes and one more).
    for (std::size_t i = 0; i < 300; ++i) {
        const std::uint32_t q = primes[random() % primes.size()];
        const std::vector<std::uint32_t> block(9, q);
        const std::int64_t multiple = static_cast<std::int64_t>(top / q / 2 + random() % (top / q / 2)) * q;
        for (const std::int64_t from : {multiple - 1, multiple, multiple + 1}) {
            expect_first_hits(from, (std::int64_t{1} << 31) - 1, block.data(), block.size());
        }
    }
    for (const std::int64_t from : froms) {
        for (const std::int64_t length : {std::int64_t{1}, std::int64_t{1000}, std::int64_t{1} << 24, (std::int64_t{1} << 31) - 1}) {
            for (const std::size_t count : {std::size_t{1}, std::size_t{3}, std::size_t{4}, std::size_t{7}, std::size_t{8}, std::size_t{15}, primes.size()}) {
                const std::size_t start = count == primes.size() ? 0 : random() % (primes.size() - count + 1);
                const std::uint32_t* block = primes.data() + start;
                expect_first_hits(from, length, block, count);
            }
        }
    }
}

// The primes of the block with a multiple in [lo, lo + span], each at its
// least one.
void expect_first_multiples(std::uint64_t lo, std::uint64_t span, const std::uint32_t* block, std::size_t count) {
    expect_kept(
        block, count,
        [&](std::uint32_t q) {
            const std::uint64_t ahead = (q - lo % q) % q;
            return ahead <= span ? static_cast<std::int64_t>(ahead) : -1;
        },
        [&](erdos::vector_way way, std::uint32_t* primes, std::uint32_t* offsets) {
            return erdos::first_multiples_by(way, lo, span, block, count, primes, offsets);
        },
        "lo " + std::to_string(lo) + ", span " + std::to_string(span));
}

// The first multiples at or after lo: lo at and around the multiples of
// the block's prime, near 2^61 and far below; spans from none to 2^32 - 1;
// primes from 2^11 on.
TEST(BlockHits, EveryWayFindsEveryFirstMultiple) {
    std::mt19937_64 random(61);
    std::vector<std::uint32_t> primes = test_primes(random);
    for (const std::int32_t q : erdos::sieve_primes(2200)) {
        if (q >= 2048) primes.push_back(static_cast<std::uint32_t>(q));
    }
    const std::uint64_t top = (std::uint64_t{1} << 61) - 1;
    for (std::size_t i = 0; i < 300; ++i) {
        const std::uint32_t q = primes[random() % primes.size()];
        const std::vector<std::uint32_t> block(9, q);
        const std::uint64_t multiple = (top / q / 2 + random() % (top / q / 2)) * q;
        for (const std::uint64_t lo : {multiple - 1, multiple, multiple + 1, top / q * q}) {
            expect_first_multiples(lo, 0, block.data(), block.size());
            expect_first_multiples(lo, q - 1, block.data(), block.size());
        }
    }
    for (const std::uint64_t lo : {std::uint64_t{1}, std::uint64_t{65536}, std::uint64_t{250000000000000000}, top}) {
        for (const std::uint64_t span : {std::uint64_t{0}, std::uint64_t{1000}, std::uint64_t{1} << 24, std::uint64_t{0xFFFFFFFF}}) {
            for (const std::size_t count : {std::size_t{1}, std::size_t{3}, std::size_t{4}, std::size_t{7}, std::size_t{8}, std::size_t{15}, primes.size()}) {
                const std::size_t start = count == primes.size() ? 0 : random() % (primes.size() - count + 1);
                expect_first_multiples(lo, span, primes.data() + start, count);
            }
        }
    }
}

}  // namespace
