#include "player/player_event.h"

#include <array>
#include <ostream>

namespace qz {

namespace {
constexpr std::array<std::string_view, 10> NAMES = {
    "TogglePause", "SeekForward",  "SeekBackward",  "SeekRelease",       "VolumeUp",
    "VolumeDown",  "ToggleAspect", "NextRequested", "PreviousRequested", "ExitRequested"};
}

std::string_view player_event_name(PlayerEvent e) {
    const auto value = static_cast<size_t>(e);
    return value < NAMES.size() ? NAMES[value] : "PlayerEvent(?)";
}

std::ostream& operator<<(std::ostream& os, PlayerEvent e) { return os << player_event_name(e); }

}  // namespace qz
