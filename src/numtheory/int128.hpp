// The compilers' 128-bit integer types under names that -Wpedantic accepts.
#pragma once

namespace erdos {

__extension__ typedef __int128 int128;
__extension__ typedef unsigned __int128 uint128;

}  // namespace erdos
