#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string_view>

namespace qz {

enum class Button : uint8_t {
    Up = 0,
    Down = 1,
    Left = 2,
    Right = 3,
    A = 4,
    B = 5,
    X = 6,
    Y = 7,
    L1 = 8,
    R1 = 9,
    R2 = 10,
    L2 = 11,
    Select = 12,
    Start = 13,
    Menu = 14,
};

std::string_view button_name(Button b);
std::optional<Button> button_from_name(std::string_view name);

// Writes the name, so test failures and diagnostics read "Left", not a byte.
std::ostream& operator<<(std::ostream& os, Button b);

}  // namespace qz
