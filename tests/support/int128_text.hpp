// 128-bit integers as decimal text, for test failure messages (streams cannot print them).
#pragma once

#include <string>

#include "numtheory/int128.hpp"
#include "stats/number_format.hpp"

namespace erdos_test {

inline std::string decimal(erdos::int128 v) {
    std::string out;
    erdos::append_integer(out, v);
    return out;
}

}  // namespace erdos_test
