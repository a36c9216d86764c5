#include "main/app_workers.h"

#include <utility>

#include "catalog/catalog_fetch.h"
#include "player/launcher.h"
#include "update/ota_client.h"

namespace qz {

AppWorkers::AppWorkers(Sender<WorkerMessage> results, AppConfig config)
    : results_(std::move(results)), config_(std::move(config)) {}

// A closed channel (the main loop is gone) is not an error: the send is dropped.
void AppWorkers::fetch_all_shelves() {
    qz::fetch_all_shelves(config_.catalog_base_url, [tx = results_](const std::string& key, ItemsResult result) {
        tx.send(CatalogLoaded{key, std::move(result)});
    });
}

void AppWorkers::fetch_detail(const std::string& slug) {
    qz::fetch_detail(slug, config_.catalog_base_url,
                     [tx = results_](DetailResult result) { tx.send(DetailLoaded{std::move(result)}); });
}

void AppWorkers::start_search(const std::string& query) {
    qz::start_search(query, config_.catalog_base_url, [tx = results_, query](ItemsResult result) {
        tx.send(SearchFinished{std::move(result), query});
    });
}

void AppWorkers::start_update_check() {
    qz::start_update_check({config_.update_manifest_url, config_.app_version},
                           [tx = results_](UpdateCheckResult result) { tx.send(UpdateChecked{std::move(result)}); });
}

bool AppWorkers::start_update_install(const OtaManifest& manifest) {
    UpdateInstallOptions options;
    options.download_url = manifest.download_url;
    options.sha256 = manifest.sha256;
    return qz::start_update_install(std::move(options),
                                    [tx = results_](UpdateState state) { tx.send(UpdateStatus{std::move(state)}); });
}

PlaybackOutcome AppPlayer::play(Framebuffer& fb, const PlayRequest& request) {
    const LaunchOptions options{config_.catalog_base_url, config_.signed_stream_host, config_.signed_stream_marker};
    return start_playback(fb, request, options, production_backends());
}

}  // namespace qz
