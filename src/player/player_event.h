#pragma once

#include <cstdint>
#include <iosfwd>
#include <string_view>

namespace qz {

// What the player's button reader sends to the playback back-end.
enum class PlayerEvent : uint8_t {
    TogglePause = 0,   // pause or resume; during a seek gesture, commit it
    SeekForward = 1,   // one forward seek step (press, auto-repeat or d-pad repeat)
    SeekBackward = 2,  // one backward seek step
    SeekRelease = 3,   // the seek direction was let go
    VolumeUp = 4,
    VolumeDown = 5,
    ToggleAspect = 6,  // letterbox or full screen (hardware player only)
    NextRequested = 7,
    PreviousRequested = 8,
    ExitRequested = 9,
};

std::string_view player_event_name(PlayerEvent e);

// Writes the name, so test failures read "SeekForward", not a byte.
std::ostream& operator<<(std::ostream& os, PlayerEvent e);

}  // namespace qz
