// ctest-labels: threads
// The real executable against the loopback catalog server on the port it was
// built to ask: the four shelf fetches, the catalog cache file it writes, and
// a clean exit on B. A regular file stands in for "/dev/fb0" (the program
// draws into memory while the input thread runs) and named pipes for the
// evdev nodes.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "build_config.h"
#include "support/child.h"
#include "support/evdev_fifo.h"
#include "support/files.h"
#include "support/loopback_server.h"
#include "support/temp_dir.h"

namespace qz {
namespace {

using namespace std::chrono_literals;
using ordered_json = nlohmann::ordered_json;

const std::string BANNER_END = " Version: 1.0.0\n=================================================\n";
const std::string EXIT_LINE = "Exiting QZ-Nuvalto...\n";
const std::string FETCH = "[Nuvalto] Fetching catalog from: ";
const char* const APP_DIR = "root/mnt/SDCARD/Apps/qz-nuvalto";
constexpr uint16_t KEY = 1, BTN_SOUTH = 304;
constexpr auto SETTLE = 300ms;
constexpr auto ARRIVAL = 20s;  // four curl runs on a loaded machine

// What the service answers, shelf by shelf. Keys in varied order, an unknown
// key, escapes, and years that sort in every way the cache must keep.
const std::string PHIM_LE = R"([
  {"id": "le-1", "title": "Mắt Biếc", "slug": "mat-biec", "year": 2020, "quality": "FHD", "rating": 9.1},
  {"slug": "hai-phuong", "title": "Hai \"Phượng\" \\ 2/3", "id": "le-2", "year": "2024",
   "thumbnail": "http://x/p.png", "backdrop": "http://x/b.png", "time": "98 phút", "lang": "Vietsub",
   "category": "Hành động"},
  {"id": "le-3", "title": "Chưa Rõ Năm", "slug": "chua-ro-nam", "year": null, "backdrop": null},
  {"id": "le-4", "title": "Bố Già", "slug": "bo-gia", "year": 2024},
  {"id": "le-5", "title": "Năm Chữ", "slug": "nam-chu", "year": "Năm 2022"}
])";
const std::string PHIM_BO = R"([{"id":"bo-1","title":"Hành Trình Dài","slug":"hanh-trinh-dai","year":"2023 "},
 {"id":"bo-2","title":"Số Tập","slug":"so-tap","year":2023.0}])";
const std::string HOAT_HINH = "[ ]\n";
const std::string TRENDING = R"([{"id":"tr-1","title":"Đất Rừng Phương Nam","slug":"dat-rung",
 "thumbnail":"http://x/t.png","backdrop":"http://x/t.png","year":2023,"quality":"4K","time":"1h","lang":"TM",
 "category":"Phiêu lưu","extra":{"a":[1,2]}}])";

// The cached lists: newest first (a stable sort: equal years keep the
// service's order, year 0 last), all ten keys in order, null where unset,
// the year as it was received.
const std::string CACHED_PHIM_LE =
    R"([{"id":"le-2","title":"Hai \"Phượng\" \\ 2/3","slug":"hai-phuong","thumbnail":"http://x/p.png",)"
    R"("backdrop":"http://x/b.png","year":"2024","quality":null,"time":"98 phút","lang":"Vietsub",)"
    R"("category":"Hành động"},)"
    R"({"id":"le-4","title":"Bố Già","slug":"bo-gia","thumbnail":null,"backdrop":null,"year":2024,)"
    R"("quality":null,"time":null,"lang":null,"category":null},)"
    R"({"id":"le-1","title":"Mắt Biếc","slug":"mat-biec","thumbnail":null,"backdrop":null,"year":2020,)"
    R"("quality":"FHD","time":null,"lang":null,"category":null},)"
    R"({"id":"le-3","title":"Chưa Rõ Năm","slug":"chua-ro-nam","thumbnail":null,"backdrop":null,"year":null,)"
    R"("quality":null,"time":null,"lang":null,"category":null},)"
    R"({"id":"le-5","title":"Năm Chữ","slug":"nam-chu","thumbnail":null,"backdrop":null,"year":"Năm 2022",)"
    R"("quality":null,"time":null,"lang":null,"category":null}])";
const std::string CACHED_PHIM_BO =
    R"([{"id":"bo-1","title":"Hành Trình Dài","slug":"hanh-trinh-dai","thumbnail":null,"backdrop":null,)"
    R"("year":"2023 ","quality":null,"time":null,"lang":null,"category":null},)"
    R"({"id":"bo-2","title":"Số Tập","slug":"so-tap","thumbnail":null,"backdrop":null,"year":2023.0,)"
    R"("quality":null,"time":null,"lang":null,"category":null}])";
const std::string CACHED_HOAT_HINH = "[]";
const std::string CACHED_TRENDING =
    R"([{"id":"tr-1","title":"Đất Rừng Phương Nam","slug":"dat-rung","thumbnail":"http://x/t.png",)"
    R"("backdrop":"http://x/t.png","year":2023,"quality":"4K","time":"1h","lang":"TM","category":"Phiêu lưu"}])";

const std::string SHELF_PATHS[] = {"/api/videos/home?category=phim-le", "/api/videos/home?category=phim-bo",
                                   "/api/videos/home?category=hoat-hinh", "/api/videos/home"};

bool wait_until(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

std::optional<ordered_json> parse_object(const std::string& text) {
    ordered_json j = ordered_json::parse(text, nullptr, false);
    if (j.is_discarded() || !j.is_object()) return std::nullopt;
    return j;
}

class CatalogProgram : public ::testing::Test {
protected:
    void SetUp() override {
        test::write_file(dir_ / "data/home-phim-le.json", PHIM_LE);
        test::write_file(dir_ / "data/home-phim-bo.json", PHIM_BO);
        test::write_file(dir_ / "data/home-hoat-hinh.json", HOAT_HINH);
        test::write_file(dir_ / "data/home.json", TRENDING);
        test::write_file(dir_ / "root/dev/fb0", "");
        test::make_dirs(dir_ / "work");
        fifos_ = test::make_app_event_fifos(dir_ / "root");
    }

    std::vector<std::string> serve(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"--data", dir_ / "data"};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }

    // Starts with a stale B waiting in every node and returns once the
    // program's initial flush took them; later presses reach the loop.
    void start() {
        ASSERT_TRUE(test::start_past_flush(child_, test::options_under_root(test::program_path(), dir_.path()), fifos_));
    }

    void press_b_and_expect_clean_exit() {
        fifos_[0]->write_event(KEY, BTN_SOUTH, 1);
        ASSERT_EQ(child_->wait_exit(), 0) << child_->stderr_text();
        const std::string err = child_->stderr_text();
        EXPECT_EQ(test::count_of(err, EXIT_LINE), 1u) << err;
        EXPECT_TRUE(err.ends_with(EXIT_LINE)) << err;
    }

    std::string fetch_line(const std::string& path) const { return FETCH + CATALOG_BASE_URL + path + "\n"; }

    test::TempDir dir_;
    test::AppEventFifos fifos_;
    std::unique_ptr<test::Child> child_;
};

struct PlaceCase {
    const char* name;
    bool app_dir;
    const char* cache_at;     // where the cache must be written
    const char* nothing_at;   // where no cache may appear
};
void PrintTo(const PlaceCase& c, std::ostream* os) { *os << c.name; }

class FetchAndCache : public CatalogProgram, public ::testing::WithParamInterface<PlaceCase> {};

TEST_P(FetchAndCache, FetchesEveryShelfWritesTheCompactCacheAndExitsOnB) {
    const PlaceCase& c = GetParam();
    if (c.app_dir) test::make_dirs(dir_ / APP_DIR);
    const auto catalog = test::fixed_port_catalog(CATALOG_BASE_URL, serve());
    REQUIRE_FIXED_PORT_SERVER(*catalog);
    ASSERT_NO_FATAL_FAILURE(start());

    const std::string cache_path = dir_ / c.cache_at;
    const bool complete = wait_until(
        [&] {
            auto j = parse_object(test::read_file(cache_path));
            return j && j->size() == 4;
        },
        ARRIVAL);
    ASSERT_TRUE(complete) << "cache: " << test::read_file(cache_path) << "\n" << child_->stderr_text();

    const std::string text = test::read_file(cache_path);
    const ordered_json cache = *parse_object(text);
    EXPECT_EQ(text, cache.dump()) << "not in the compact form, or something after the object";
    const std::pair<const char*, const std::string*> expected[] = {{"phim-le", &CACHED_PHIM_LE},
                                                                   {"phim-bo", &CACHED_PHIM_BO},
                                                                   {"hoat-hinh", &CACHED_HOAT_HINH},
                                                                   {"trending", &CACHED_TRENDING}};
    for (const auto& [key, list] : expected) {
        ASSERT_TRUE(cache.contains(key)) << key << " missing: " << text;
        EXPECT_EQ(cache[key].dump(), *list) << key;
    }
    EXPECT_FALSE(test::path_exists(dir_ / c.nothing_at));
    EXPECT_FALSE(test::path_exists(cache_path.substr(0, cache_path.size() - 4) + "tmp"));

    // Each shelf is fetched once, after the banner, in category-table order.
    const std::string err = child_->stderr_text();
    size_t previous = err.find(BANNER_END);
    ASSERT_NE(previous, std::string::npos) << err;
    for (const std::string& path : SHELF_PATHS) {
        EXPECT_EQ(test::count_of(err, fetch_line(path)), 1u) << path << "\n" << err;
        const size_t at = err.find(fetch_line(path));
        EXPECT_GT(at, previous) << path << "\n" << err;
        previous = at;
    }
    EXPECT_EQ(test::count_of(err, FETCH), 4u) << err;
    EXPECT_EQ(err.find("[Error]"), std::string::npos) << err;

    const std::string seen = catalog->server().get("/__requests");
    for (const std::string& path : SHELF_PATHS) {
        EXPECT_EQ(test::count_of(seen, "\"path\": \"" + path + "\""), 1u) << seen;
    }
    ASSERT_NO_FATAL_FAILURE(press_b_and_expect_clean_exit());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FetchAndCache,
    ::testing::Values(PlaceCase{"InTheAppDirectory", true, "root/mnt/SDCARD/Apps/qz-nuvalto/catalog_cache.json",
                                "work/catalog_cache.json"},
                      PlaceCase{"InTheWorkingDirectoryWithoutIt", false, "work/catalog_cache.json",
                                "root/mnt/SDCARD/Apps/qz-nuvalto"}),
    [](const ::testing::TestParamInfo<PlaceCase>& info) { return std::string(info.param.name); });

const std::string CORRUPT_CACHE = R"({"phim-le":[{"id":"old","title":"Old","slug":"old"}],"phim-bo":[{"id":)";

struct CorruptCase {
    const char* name;
    const char* spoiled;  // requests whose path starts with this get an HTML error page
    int failures;
    std::string cache_after;
};
void PrintTo(const CorruptCase& c, std::ostream* os) { *os << c.name; }

class CorruptCache : public CatalogProgram, public ::testing::WithParamInterface<CorruptCase> {};

TEST_P(CorruptCache, OnlyASuccessfulShelfReplacesIt) {
    const CorruptCase& c = GetParam();
    const std::string cache_path = dir_ / (std::string(APP_DIR) + "/catalog_cache.json");
    test::write_file(cache_path, CORRUPT_CACHE);
    const auto catalog =
        test::fixed_port_catalog(CATALOG_BASE_URL, serve({"--mode", "status", "--status", "500", "--path", c.spoiled}));
    REQUIRE_FIXED_PORT_SERVER(*catalog);
    ASSERT_NO_FATAL_FAILURE(start());

    const std::string failure = "[Error] Shelf '";
    ASSERT_TRUE(wait_until([&] { return test::count_of(child_->stderr_text(), failure) == size_t(c.failures); },
                           ARRIVAL))
        << child_->stderr_text();
    if (c.failures < 4) {
        ASSERT_TRUE(wait_until([&] { return test::read_file(cache_path) == c.cache_after; }, ARRIVAL))
            << test::read_file(cache_path) << "\n" << child_->stderr_text();
    } else {
        std::this_thread::sleep_for(SETTLE);
        EXPECT_EQ(test::read_file(cache_path), c.cache_after) << "a failed shelf rewrote the cache";
    }
    const std::string err = child_->stderr_text();
    EXPECT_EQ(test::count_of(err, "' load failed: JSON parse error: "), size_t(c.failures)) << err;
    ASSERT_NO_FATAL_FAILURE(press_b_and_expect_clean_exit());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CorruptCache,
    ::testing::Values(CorruptCase{"FirstSuccessWritesAValidCache", "/api/videos/home?category=", 3,
                                  "{\"trending\":" + CACHED_TRENDING + "}"},
                      CorruptCase{"FailuresLeaveItAlone", "/api/videos/home", 4, CORRUPT_CACHE}),
    [](const ::testing::TestParamInfo<CorruptCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qz
