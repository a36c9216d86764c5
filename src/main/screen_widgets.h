#pragma once

#include <cstdint>
#include <string>

namespace qz {

// A watched position as "mm:ss", both at least two digits. A negative
// position (only a hand-edited history holds one) reads "00:00" rather than
// a minus sign inside the seconds.
std::string watched_clock(int64_t secs);

}  // namespace qz
