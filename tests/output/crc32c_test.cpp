#include "output/crc32c.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/crc32c_reference.hpp"

namespace {

std::string random_bytes(std::size_t n, std::mt19937& random) {
    std::string bytes(n, '\0');
    for (char& ch : bytes) ch = static_cast<char>(random());
    return bytes;
}

}  // namespace

// The check value of the Castagnoli CRC, and every length around the eight
// bytes a step, by the instruction and by the tables alike.
TEST(Crc32c, AgreesWithTheBitwiseDefinition) {
    EXPECT_EQ(erdos::crc32c_extend(0, "123456789"), 0xE3069283U);
    EXPECT_EQ(erdos::crc32c_extend_portable(0, "123456789"), 0xE3069283U);
    EXPECT_EQ(erdos::crc32c_extend(0, ""), 0U);
    std::mt19937 random(23);
    for (std::size_t n = 0; n < 80; ++n) {
        const std::string bytes = random_bytes(n, random);
        EXPECT_EQ(erdos::crc32c_extend(0, bytes), erdos_test::crc32c_bitwise(bytes)) << n;
        EXPECT_EQ(erdos::crc32c_extend_portable(0, bytes), erdos_test::crc32c_bitwise(bytes)) << n;
    }
}

// Extending piece by piece and joining pieces computed apart give the CRC of the whole.
TEST(Crc32c, PiecesExtendAndCombineToTheWhole) {
    std::mt19937 random(24);
    const std::string bytes = random_bytes(5000, random);
    const std::uint32_t whole = erdos_test::crc32c_bitwise(bytes);
    for (const std::size_t cut : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{8}, std::size_t{1234},
                                  std::size_t{4999}, std::size_t{5000}}) {
        const std::string_view a = std::string_view(bytes).substr(0, cut);
        const std::string_view b = std::string_view(bytes).substr(cut);
        EXPECT_EQ(erdos::crc32c_extend(erdos::crc32c_extend(0, a), b), whole) << cut;
        EXPECT_EQ(erdos::crc32c_combine(erdos::crc32c_extend(0, a), erdos::crc32c_extend(0, b), b.size()), whole)
            << cut;
    }
}
