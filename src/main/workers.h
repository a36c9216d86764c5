#pragma once

#include <string>

#include "graphics/framebuffer.h"
#include "player/playback.h"
#include "update/ota_manifest.h"

namespace qz {

// What key handling may start in the background. An interface so the loop's
// logic runs in tests without threads or network.
class Workers {
public:
    virtual ~Workers() = default;
    virtual void fetch_all_shelves() = 0;
    virtual void fetch_detail(const std::string& slug) = 0;
    virtual void start_search(const std::string& query) = 0;
    virtual void start_update_check() = 0;
    // False when an installation is already running (nothing is started).
    virtual bool start_update_install(const OtaManifest& manifest) = 0;
};

// A playback session: takes over the screen and blocks the loop until it
// ends. Tests and the screenshot tool hand in a scripted player.
class Player {
public:
    virtual ~Player() = default;
    virtual PlaybackOutcome play(Framebuffer& fb, const PlayRequest& request) = 0;
};

}  // namespace qz
