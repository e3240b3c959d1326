// CRC-32C bit by bit, the definition the program's checksums are held to.
#pragma once

#include <cstdint>
#include <string_view>

namespace erdos_test {

inline std::uint32_t crc32c_bitwise(std::string_view bytes) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (const char ch : bytes) {
        crc ^= static_cast<unsigned char>(ch);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0x82F63B78 & (0U - (crc & 1U)));
    }
    return ~crc;
}

}  // namespace erdos_test
