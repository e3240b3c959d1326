// Signed and unsigned 128-bit integers, for products and divisors beyond 64 bits.
#pragma once

namespace erdos {

__extension__ typedef __int128 int128;
__extension__ typedef unsigned __int128 uint128;

}  // namespace erdos
