#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qz {

enum class PlaybackAction { Exited, NextEpisode, PrevEpisode };

// How a session ended, in whole seconds.
struct PlaybackOutcome {
    int64_t position_secs = 0;
    PlaybackAction action = PlaybackAction::Exited;
    int64_t duration_secs = 0;
};

// One episode to play: the stream URL as the catalog gave it, the title and
// episode label the overlay shows, and where to resume (whole seconds).
struct PlayRequest {
    std::string url;
    std::string title;
    std::string episode_label;
    std::optional<int64_t> resume_secs;
};

}  // namespace qz
