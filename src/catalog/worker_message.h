#pragma once

#include <string>
#include <variant>
#include <vector>

#include "catalog/media_records.h"
#include "update/ota_manifest.h"
#include "update/update_state.h"

namespace qz {

// Results carry either the value or an English error text for the log.
using ItemsResult = std::variant<std::vector<MediaItem>, std::string>;
using DetailResult = std::variant<MediaDetail, std::string>;

// One shelf fetch finished; key is the shelf key of the category table.
struct CatalogLoaded {
    std::string key;
    ItemsResult result;
};

// query is the text exactly as the search was started with.
struct SearchFinished {
    ItemsResult result;
    std::string query;
};

// Does not say which slug it answers: the last one to arrive wins.
struct DetailLoaded {
    DetailResult result;
};

// The update server has nothing newer than the running version.
struct NoNewerVersion {
    bool operator==(const NoNewerVersion&) const = default;
};

using UpdateCheckResult = std::variant<OtaManifest, NoNewerVersion, std::string>;

struct UpdateChecked {
    UpdateCheckResult result;
};

struct UpdateStatus {
    UpdateState state;
};

// What worker threads send to the main loop on the results channel.
using WorkerMessage = std::variant<CatalogLoaded, SearchFinished, DetailLoaded, UpdateChecked, UpdateStatus>;

}  // namespace qz
