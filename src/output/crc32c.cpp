// CRC-32C: eight bytes a step by the SSE 4.2 instruction, or by tables eight bytes at a time.
#include "output/crc32c.hpp"

#include <nmmintrin.h>

#include <array>
#include <cstring>

namespace erdos {

namespace {

constexpr std::uint32_t polynomial = 0x82F63B78;  // reflected Castagnoli polynomial

// table[k][b]: the CRC of byte b followed by k zero bytes, for slicing by eight.
constexpr std::array<std::array<std::uint32_t, 256>, 8> make_tables() {
    std::array<std::array<std::uint32_t, 256>, 8> table{};
    for (std::uint32_t b = 0; b < 256; ++b) {
        std::uint32_t crc = b;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (polynomial & (0U - (crc & 1U)));
        table[0][b] = crc;
    }
    for (std::size_t k = 1; k < 8; ++k) {
        for (std::uint32_t b = 0; b < 256; ++b) table[k][b] = (table[k - 1][b] >> 8) ^ table[0][table[k - 1][b] & 0xFF];
    }
    return table;
}
constexpr auto tables = make_tables();

std::uint32_t extend_by_tables(std::uint32_t crc, const unsigned char* p, std::size_t n) {
    for (; n >= 8; n -= 8, p += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, p, 8);  // x86-64 is little-endian
        word ^= crc;
        crc = tables[7][word & 0xFF] ^ tables[6][(word >> 8) & 0xFF] ^ tables[5][(word >> 16) & 0xFF] ^
              tables[4][(word >> 24) & 0xFF] ^ tables[3][(word >> 32) & 0xFF] ^ tables[2][(word >> 40) & 0xFF] ^
              tables[1][(word >> 48) & 0xFF] ^ tables[0][word >> 56];
    }
    for (; n > 0; --n, ++p) crc = (crc >> 8) ^ tables[0][(crc ^ *p) & 0xFF];
    return crc;
}

__attribute__((target("sse4.2"))) std::uint32_t extend_by_instruction(std::uint32_t crc, const unsigned char* p,
                                                                      std::size_t n) {
    std::uint64_t wide = crc;
    for (; n >= 8; n -= 8, p += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, p, 8);
        wide = _mm_crc32_u64(wide, word);
    }
    auto narrow = static_cast<std::uint32_t>(wide);
    for (; n > 0; --n, ++p) narrow = _mm_crc32_u8(narrow, *p);
    return narrow;
}

const bool has_instruction = __builtin_cpu_supports("sse4.2");

// Multiplication of 32-bit polynomials over GF(2) modulo the polynomial, in
// the reflected order of the CRC.
std::uint32_t multiply(std::uint32_t a, std::uint32_t b) {
    std::uint32_t product = 0;
    for (std::uint32_t bit = 0x80000000U; bit != 0; bit >>= 1) {
        if (a & bit) product ^= b;
        b = (b >> 1) ^ (polynomial & (0U - (b & 1U)));
    }
    return product;
}

}  // namespace

std::uint32_t crc32c_extend(std::uint32_t crc, std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    crc = ~crc;
    crc = has_instruction ? extend_by_instruction(crc, p, bytes.size()) : extend_by_tables(crc, p, bytes.size());
    return ~crc;
}

std::uint32_t crc32c_extend_portable(std::uint32_t crc, std::string_view bytes) {
    return ~extend_by_tables(~crc, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

std::uint32_t crc32c_combine(std::uint32_t crc_a, std::uint32_t crc_b, std::uint64_t length_b) {
    // crc(a b) = crc(a) * x^(8 length_b) + crc(b), the pre- and post-
    // conditioning cancelling out; the power by squaring x^(2^k) bytes.
    std::uint32_t power = 0x00800000;  // x^8 in reflected order: one byte of zeros
    std::uint32_t shift = 0x80000000;  // x^0
    for (std::uint64_t n = length_b; n != 0; n >>= 1) {
        if (n & 1U) shift = multiply(shift, power);
        power = multiply(power, power);
    }
    return multiply(crc_a, shift) ^ crc_b;
}

}  // namespace erdos
