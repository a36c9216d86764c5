#include "input/button.h"

#include <array>
#include <ostream>

namespace qz {

namespace {
constexpr std::array<std::string_view, 15> NAMES = {"Up", "Down", "Left", "Right",  "A",
                                                    "B",  "X",    "Y",    "L1",     "R1",
                                                    "R2", "L2",   "Select", "Start", "Menu"};
}

std::string_view button_name(Button b) { return NAMES.at(static_cast<size_t>(b)); }

std::optional<Button> button_from_name(std::string_view name) {
    for (size_t i = 0; i < NAMES.size(); ++i) {
        if (NAMES[i] == name) return static_cast<Button>(i);
    }
    return std::nullopt;
}

std::ostream& operator<<(std::ostream& os, Button b) {
    const auto value = static_cast<size_t>(b);
    if (value >= NAMES.size()) return os << "Button(" << value << ")";
    return os << NAMES[value];
}

}  // namespace qz
