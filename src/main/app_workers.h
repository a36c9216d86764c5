#pragma once

#include <memory>
#include <string>

#include "catalog/worker_message.h"
#include "common/channel.h"
#include "main/poster_lookup.h"
#include "main/workers.h"
#include "thumbnail/thumbnail_cache.h"

namespace qz {

// Where the workers send their requests, and which stream URLs the catalog
// signs; the defaults are the build's.
struct ServiceUrls {
    std::string catalog_base;
    std::string update_manifest;
    std::string signed_stream_host;
    std::string signed_stream_marker;
};
ServiceUrls default_service_urls();

// The real workers: detached threads reporting on the results channel, and
// the playback launcher.
class AppWorkers final : public Workers {
public:
    AppWorkers(Sender<WorkerMessage> results, ServiceUrls urls);
    void fetch_all_shelves() override;
    void fetch_detail(const std::string& slug) override;
    void start_search(const std::string& query) override;
    void start_update_check() override;
    bool start_update_install(const OtaManifest& manifest) override;
    PlaybackOutcome play(Framebuffer& fb, const std::string& url, const std::string& title, const std::string& label,
                         std::optional<int64_t> resume_secs) override;

private:
    Sender<WorkerMessage> results_;
    ServiceUrls urls_;
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
