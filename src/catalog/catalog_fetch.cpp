#include "catalog/catalog_fetch.h"

#include <utility>

#include "catalog/record_reader.h"
#include "common/detached_thread.h"
#include "common/log.h"
#include "common/utf8.h"
#include "process/command.h"
#include "process/curl_args.h"

namespace qz {

namespace {

struct CurlFailed {};
using CurlResult = std::variant<std::string, SpawnError, CurlFailed>;

// One API request. A URL that is not http(s) never reaches curl (it could be
// read as an option) and fails like a transfer that failed.
CurlResult run_api_request(const std::string& url) {
    if (!is_fetchable_url(url)) return CurlFailed{};
    auto run = run_capture("curl", curl_args_catalog(url));
    if (auto* e = std::get_if<SpawnError>(&run)) return *e;
    auto& out = std::get<CommandOutput>(run);
    if (!out.ok()) return CurlFailed{};
    return std::move(out.stdout_data);
}

// Turns the request's outcome into the message result: the record, or the
// error text of the failure table.
template <class T, class Reader>
std::variant<T, std::string> judge(CurlResult curl, const char* failed_text, const char* parse_prefix,
                                   Reader reader) {
    if (auto* e = std::get_if<SpawnError>(&curl)) return "Curl execution error: " + e->message;
    if (std::holds_alternative<CurlFailed>(curl)) return std::string(failed_text);
    auto parsed = reader(std::get<std::string>(curl));
    if (auto* e = std::get_if<std::string>(&parsed)) return parse_prefix + *e;
    return std::move(std::get<T>(parsed));
}

}  // namespace

std::string shelf_url(const std::string& base_url, const Category& category) { return base_url + category.path; }

std::string detail_url(const std::string& base_url, const std::string& slug) {
    return base_url + "/api/videos/" + slug;
}

std::string search_url(const std::string& base_url, std::string_view query) {
    std::string encoded = utf8::trim(query);
    for (char& c : encoded) {
        if (c == ' ') c = '+';
    }
    return base_url + "/api/videos/search?q=" + encoded;
}

namespace {

void log_shelf_fetch(const std::string& url) { log::nuvalto("Fetching catalog from: " + url); }

ItemsResult load_shelf(const std::string& url) {
    return judge<std::vector<MediaItem>>(run_api_request(url), "Failed to connect to streaming server",
                                         "JSON parse error: ", read_media_items);
}

}  // namespace

ItemsResult fetch_shelf_now(const std::string& url) {
    log_shelf_fetch(url);
    return load_shelf(url);
}

DetailResult fetch_detail_now(const std::string& slug, const std::string& base_url) {
    std::string url = detail_url(base_url, slug);
    log::nuvalto("Fetching detail from: " + url);
    return judge<MediaDetail>(run_api_request(url), "Failed to fetch media metadata",
                              "JSON detail error: ", read_media_detail);
}

ItemsResult search_now(const std::string& query, const std::string& base_url) {
    std::string url = search_url(base_url, query);
    log::nuvalto("Searching: " + url);
    return judge<std::vector<MediaItem>>(run_api_request(url), "Failed to search movies",
                                         "JSON parse error: ", read_media_items);
}

void fetch_all_shelves(const std::string& base_url, ShelfDone done) {
    for (const Category& category : CATEGORIES) {
        std::string url = shelf_url(base_url, category);
        // Logged here rather than by the thread, so the lines keep table order.
        log_shelf_fetch(url);
        spawn_detached([done, key = std::string(category.key), url] { done(key, load_shelf(url)); });
    }
}

void fetch_detail(const std::string& slug, const std::string& base_url, std::function<void(DetailResult)> done) {
    spawn_detached([done = std::move(done), slug, base_url] { done(fetch_detail_now(slug, base_url)); });
}

void start_search(const std::string& query, const std::string& base_url, std::function<void(ItemsResult)> done) {
    spawn_detached([done = std::move(done), query, base_url] { done(search_now(query, base_url)); });
}

}  // namespace qz
