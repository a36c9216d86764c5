#pragma once

#include <string>
#include <variant>
#include <vector>

#include "catalog/catalog_fetch.h"
#include "update/ota_client.h"
#include "update/update_state.h"

namespace qz {

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

struct UpdateChecked {
    UpdateCheckResult result;
};

struct UpdateStatus {
    UpdateState state;
};

// What worker threads send to the main loop on the results channel.
using WorkerMessage = std::variant<CatalogLoaded, SearchFinished, DetailLoaded, UpdateChecked, UpdateStatus>;

}  // namespace qz
