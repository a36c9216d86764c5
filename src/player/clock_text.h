#pragma once

#include <cstdint>
#include <string>

namespace qz {

// "{m:02}:{s:02}", or "{h:02}:{m:02}:{s:02}" from 3600 s on. A negative time
// reads as 0: a clock before the start has no meaning on screen.
std::string clock_string(int64_t secs);

// A distance in seconds: "{d}s" under a minute, else "{m}m{s:02}s" (90 gives
// "1m30s"). A distance has no sign; a negative one reads as 0.
std::string delta_string(int64_t secs);

}  // namespace qz
