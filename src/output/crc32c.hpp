// CRC-32C (Castagnoli) of the bytes of a file, extended as they are written and joined from pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace erdos {

// The CRC-32C of the bytes whose CRC-32C is crc followed by bytes (crc 0 for
// nothing before): crc32c_extend(0, "123456789") is 0xE3069283. The same
// value on every processor; the SSE 4.2 instruction is used where there is one.
std::uint32_t crc32c_extend(std::uint32_t crc, std::string_view bytes);

// The same without the instruction, as on a processor that lacks it.
std::uint32_t crc32c_extend_portable(std::uint32_t crc, std::string_view bytes);

// The CRC-32C of a followed by b, from the CRC-32C of each and the length of
// b, for bytes written in pieces by several processes.
std::uint32_t crc32c_combine(std::uint32_t crc_a, std::uint32_t crc_b, std::uint64_t length_b);

}  // namespace erdos
