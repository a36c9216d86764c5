#pragma once

#include <memory>
#include <string>

#include "common/channel.h"
#include "main/app_config.h"
#include "main/poster_lookup.h"
#include "main/worker_message.h"
#include "main/workers.h"
#include "thumbnail/thumbnail_cache.h"

namespace qz {

// The real workers: detached threads reporting on the results channel.
class AppWorkers final : public Workers {
public:
    AppWorkers(Sender<WorkerMessage> results, AppConfig config);
    void fetch_all_shelves() override;
    void fetch_detail(const std::string& slug) override;
    void start_search(const std::string& query) override;
    void start_update_check() override;
    bool start_update_install(const OtaManifest& manifest) override;

private:
    Sender<WorkerMessage> results_;
    AppConfig config_;
};

// The real player: the playback launcher.
class AppPlayer final : public Player {
public:
    explicit AppPlayer(AppConfig config) : config_(std::move(config)) {}
    PlaybackOutcome play(Framebuffer& fb, const PlayRequest& request) override;

private:
    AppConfig config_;
};

// Posters from the thumbnail cache.
class ThumbnailPosters final : public PosterLookup {
public:
    explicit ThumbnailPosters(ThumbnailCache& cache) : cache_(cache) {}
    std::shared_ptr<const RgbaBitmap> get(const std::string& url) override { return cache_.get(url); }

private:
    ThumbnailCache& cache_;
};

}  // namespace qz
