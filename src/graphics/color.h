#pragma once

#include <cstdint>

namespace qz {

// 0xAARRGGBB; in memory one little-endian word (blue, green, red, alpha),
// the same layout as the device's pixels.
using Color = uint32_t;

}  // namespace qz
