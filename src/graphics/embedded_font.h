#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace qz {

// DejaVu Sans Bold 2.37, compiled into the executable.
std::span<const uint8_t> embedded_font();

}  // namespace qz
