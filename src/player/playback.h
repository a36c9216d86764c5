#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "graphics/framebuffer.h"

namespace qz {

enum class PlaybackAction { Exited, NextEpisode, PrevEpisode };

// How a session ended, in whole seconds.
struct PlaybackOutcome {
    int64_t position_secs = 0;
    PlaybackAction action = PlaybackAction::Exited;
    int64_t duration_secs = 0;
};

// Plays one stream, taking over the screen until the session ends.
PlaybackOutcome start_playback(Framebuffer& fb, const std::string& url, const std::string& title,
                               const std::string& label, std::optional<int64_t> resume_secs);

}  // namespace qz
