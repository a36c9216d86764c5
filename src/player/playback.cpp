#include "player/playback.h"

#include "common/log.h"

namespace qz {

// No player back-end is built in yet: the session ends at once where it was
// asked to start, so the watch history keeps its resume position.
PlaybackOutcome start_playback(Framebuffer&, const std::string&, const std::string&, const std::string&,
                               std::optional<int64_t> resume_secs) {
    log::playback("not available in this build");
    return PlaybackOutcome{resume_secs.value_or(0), PlaybackAction::Exited, 0};
}

}  // namespace qz
