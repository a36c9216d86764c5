#pragma once

#include <functional>

#include "graphics/framebuffer.h"
#include "player/playback.h"

namespace qz {

using BackendRunner = std::function<PlaybackOutcome(Framebuffer&, const PlayRequest&)>;
// Sees each overlay frame the session presents, on the session's thread.
using FrameObserver = std::function<void(const Framebuffer&)>;

// Plays one stream with the firmware's hardware player: the video shows
// through a transparent framebuffer, the overlay is drawn over it while it is
// wanted, and the player is steered through its command pipe. Blocks until the
// user leaves, asks for another episode or the stream ends. Without the
// player program the session goes to fallback (the ffmpeg pipeline).
PlaybackOutcome run_hardware_player(Framebuffer& fb, const PlayRequest& request, const BackendRunner& fallback,
                                    const FrameObserver& observe_overlay = {});

}  // namespace qz
