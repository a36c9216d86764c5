#pragma once

#include <optional>
#include <string>

#include "graphics/framebuffer.h"
#include "player/playback.h"
#include "update/ota_manifest.h"

namespace qz {

// What key handling may start: background workers, and a playback session
// that blocks the loop. An interface so the loop's logic runs in tests
// without threads, network or players.
class Workers {
public:
    virtual ~Workers() = default;
    virtual void fetch_all_shelves() = 0;
    virtual void fetch_detail(const std::string& slug) = 0;
    virtual void start_search(const std::string& query) = 0;
    virtual void start_update_check() = 0;
    // False when an installation is already running (nothing is started).
    virtual bool start_update_install(const OtaManifest& manifest) = 0;
    virtual PlaybackOutcome play(Framebuffer& fb, const std::string& url, const std::string& title,
                                 const std::string& label, std::optional<int64_t> resume_secs) = 0;
};

}  // namespace qz
