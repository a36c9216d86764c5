#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "catalog/categories.h"
#include "catalog/media_records.h"

namespace qz {

// Results carry either the value or an English error text for the log.
using ItemsResult = std::variant<std::vector<MediaItem>, std::string>;
using DetailResult = std::variant<MediaDetail, std::string>;

// Request URLs: the base (scheme and host, no trailing slash) followed by
// the path. The slug goes in unchanged.
std::string shelf_url(const std::string& base_url, const Category& category);
std::string detail_url(const std::string& base_url, const std::string& slug);
// The query trimmed of Unicode white space, each space byte turned into "+".
std::string search_url(const std::string& base_url, std::string_view query);

// The work of one worker thread, run on the calling thread: log the request,
// run curl, read the answer. Tests and tools call these directly.
ItemsResult fetch_shelf_now(const std::string& url);
DetailResult fetch_detail_now(const std::string& slug, const std::string& base_url);
ItemsResult search_now(const std::string& query, const std::string& base_url);

// Each starts detached threads that report exactly once and end; they return
// at once. A thread that cannot be started ends the program.
//
// One thread per category, in table order, each reporting its shelf key.
using ShelfDone = std::function<void(const std::string& key, ItemsResult)>;
void fetch_all_shelves(const std::string& base_url, ShelfDone done);
void fetch_detail(const std::string& slug, const std::string& base_url, std::function<void(DetailResult)> done);
void start_search(const std::string& query, const std::string& base_url, std::function<void(ItemsResult)> done);

}  // namespace qz
