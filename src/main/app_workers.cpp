#include "main/app_workers.h"

#include "build_config.h"
#include "catalog/catalog_fetch.h"
#include "player/launcher.h"
#include "update/ota_client.h"

namespace qz {

ServiceUrls default_service_urls() {
    return {CATALOG_BASE_URL, UPDATE_MANIFEST_URL, SIGNED_STREAM_HOST, SIGNED_STREAM_MARKER};
}

AppWorkers::AppWorkers(Sender<WorkerMessage> results, ServiceUrls urls)
    : results_(std::move(results)), urls_(std::move(urls)) {}

void AppWorkers::fetch_all_shelves() { qz::fetch_all_shelves(results_, urls_.catalog_base); }

void AppWorkers::fetch_detail(const std::string& slug) { qz::fetch_detail(results_, slug, urls_.catalog_base); }

void AppWorkers::start_search(const std::string& query) { qz::start_search(results_, query, urls_.catalog_base); }

void AppWorkers::start_update_check() {
    UpdateCheckOptions options;
    options.manifest_url = urls_.update_manifest;
    qz::start_update_check(results_, options);
}

bool AppWorkers::start_update_install(const OtaManifest& manifest) {
    return qz::start_update_install(results_, manifest.download_url, manifest.sha256);
}

PlaybackOutcome AppWorkers::play(Framebuffer& fb, const std::string& url, const std::string& title,
                                 const std::string& label, std::optional<int64_t> resume_secs) {
    const LaunchOptions options{urls_.catalog_base, urls_.signed_stream_host, urls_.signed_stream_marker};
    return start_playback(fb, PlayRequest{url, title, label, resume_secs}, options, production_backends());
}

}  // namespace qz
