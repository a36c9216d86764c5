#pragma once

#include <string>
#include <string_view>

#include "catalog/categories.h"
#include "catalog/worker_message.h"
#include "build_config.h"
#include "common/channel.h"

namespace qz {

// Request URLs: the base (scheme and host, no trailing slash) followed by
// the path. The slug goes in unchanged.
std::string shelf_url(const std::string& base_url, const Category& category);
std::string detail_url(const std::string& base_url, const std::string& slug);
// The query trimmed of Unicode white space, each space byte turned into "+".
std::string search_url(const std::string& base_url, std::string_view query);

// The work of one worker thread, run on the calling thread: log the request,
// run curl, read the answer. Tests and tools call these directly.
CatalogLoaded fetch_shelf_now(const std::string& key, const std::string& url);
DetailLoaded fetch_detail_now(const std::string& slug, const std::string& base_url = CATALOG_BASE_URL);
SearchFinished search_now(const std::string& query, const std::string& base_url = CATALOG_BASE_URL);

// Each starts detached threads that send exactly one message and end; they
// return at once. A thread that cannot be started throws std::system_error,
// which start-up reports as "failed to spawn thread".
//
// One thread per category, in table order, each sending CatalogLoaded.
void fetch_all_shelves(const Sender<WorkerMessage>& results, const std::string& base_url = CATALOG_BASE_URL);
// One thread sending DetailLoaded.
void fetch_detail(const Sender<WorkerMessage>& results, const std::string& slug,
                  const std::string& base_url = CATALOG_BASE_URL);
// One thread sending SearchFinished with the query as given here.
void start_search(const Sender<WorkerMessage>& results, const std::string& query,
                  const std::string& base_url = CATALOG_BASE_URL);

}  // namespace qz
