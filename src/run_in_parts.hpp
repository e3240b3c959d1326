// Work cut into parts that run at once, one thread each.
#pragma once

#include <functional>

namespace erdos {

// Calls work(k) for every k in [0, parts): work(0) on the calling thread,
// each other part on a thread of its own, all at once, and returns when
// every part has returned. The first exception of a part (by part number)
// is rethrown then. parts == 0 counts as 1.
void run_in_parts(unsigned parts, const std::function<void(unsigned part)>& work);

}  // namespace erdos
