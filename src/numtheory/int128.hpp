// The compilers' 128-bit integers under short names.
#pragma once

namespace erdos {

__extension__ typedef __int128 int128;
__extension__ typedef unsigned __int128 uint128;

}  // namespace erdos
