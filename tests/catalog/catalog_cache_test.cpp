#include "catalog/catalog_cache.h"
#include "support/files.h"
#include "support/stderr_capture.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>


namespace qz {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::write_file;
using test::stderr_of;
using test::TempDir;

MediaItem item(const std::string& id, std::optional<std::string> year = std::nullopt) {
    MediaItem m;
    m.id = id;
    m.title = "T" + id;
    m.slug = "s" + id;
    if (year) m.year = RawJson{*year};
    return m;
}

TEST(CatalogCacheWrite, ExactCompactBytes) {
    MediaItem full{"42",
                   "Say \"hi\" \\ Tạm biệt\n\x01",
                   "say-hi",
                   "https://i/p.jpg?a=1&b=2",
                   std::nullopt,
                   RawJson{"\"2023 \""},
                   "HD",
                   std::nullopt,
                   "Vietsub",
                   "Hài/Phiêu lưu"};
    CatalogMap cache{{"trending", {item("1", "2024.0")}}, {"phim-bo", {full, item("2")}}};
    EXPECT_EQ(serialize_catalog_cache(cache),
              "{\"phim-bo\":[{\"id\":\"42\",\"title\":\"Say \\\"hi\\\" \\\\ Tạm biệt\\n\\u0001\",\"slug\":\"say-hi\","
              "\"thumbnail\":\"https://i/p.jpg?a=1&b=2\",\"backdrop\":null,\"year\":\"2023 \",\"quality\":\"HD\","
              "\"time\":null,\"lang\":\"Vietsub\",\"category\":\"Hài/Phiêu lưu\"},"
              "{\"id\":\"2\",\"title\":\"T2\",\"slug\":\"s2\",\"thumbnail\":null,\"backdrop\":null,\"year\":null,"
              "\"quality\":null,\"time\":null,\"lang\":null,\"category\":null}],"
              "\"trending\":[{\"id\":\"1\",\"title\":\"T1\",\"slug\":\"s1\",\"thumbnail\":null,\"backdrop\":null,"
              "\"year\":2024.0,\"quality\":null,\"time\":null,\"lang\":null,\"category\":null}]}");
    EXPECT_EQ(serialize_catalog_cache({}), "{}");
}

TEST(CatalogCacheWrite, RoundTripKeepsYearsAsReceived) {
    TempDir dir;
    std::string path = (dir / "catalog_cache.json");
    CatalogMap cache{{"phim-le",
                      {item("a", "2023"), item("b", "2023.0"), item("c", "\"  2021\""), item("d", "{\"y\":[1]}"),
                       item("e", "-5"), item("f")}},
                     {"hoat-hinh", {}}};
    ASSERT_TRUE(save_catalog_cache(path, cache));
    EXPECT_TRUE(load_catalog_cache(path) == cache);
    EXPECT_FALSE(fs::exists(dir / "catalog_cache.tmp"));
}

TEST(CatalogCacheWrite, TempPathReplacesTheExtension) {
    EXPECT_EQ(catalog_cache_temp_path("/mnt/SDCARD/Apps/qz-nuvalto/catalog_cache.json"),
              "/mnt/SDCARD/Apps/qz-nuvalto/catalog_cache.tmp");
    EXPECT_EQ(catalog_cache_temp_path("./catalog_cache.json"), "./catalog_cache.tmp");
}

TEST(CatalogCacheWrite, StaleTempFileIsReplaced) {
    TempDir dir;
    std::string path = (dir / "catalog_cache.json");
    write_file(dir / "catalog_cache.tmp", std::string(100000, 'x'));
    CatalogMap cache{{"trending", {item("1")}}};
    ASSERT_TRUE(save_catalog_cache(path, cache));
    EXPECT_EQ(read_file(path), serialize_catalog_cache(cache));
    EXPECT_FALSE(fs::exists(dir / "catalog_cache.tmp"));
}

// A write that cannot complete must leave the previous cache as it was.
struct FailCase {
    const char* name;
    void (*arrange)(const TempDir&);
};

void PrintTo(const FailCase& c, std::ostream* os) { *os << c.name; }

class CatalogCacheWriteFailure : public ::testing::TestWithParam<FailCase> {};

TEST_P(CatalogCacheWriteFailure, OldFileUntouched) {
    TempDir dir;
    std::string path = (dir / "catalog_cache.json");
    const std::string old_text = "{\"phim-le\":[]}";
    write_file(path, old_text);
    GetParam().arrange(dir);
    CatalogMap cache{{"phim-le", {item("new")}}};
    std::string err = stderr_of([&] { EXPECT_FALSE(save_catalog_cache(path, cache)); });
    EXPECT_EQ(read_file(path), old_text);
    EXPECT_EQ(err, "");
}

INSTANTIATE_TEST_SUITE_P(
    Failures, CatalogCacheWriteFailure,
    ::testing::Values(
        // The temporary file cannot be created.
        FailCase{"TempIsADirectory", [](const TempDir& d) { fs::create_directory(d / "catalog_cache.tmp"); }},
        // A dangling link in a folder that does not exist.
        FailCase{"TempLinksNowhere",
                 [](const TempDir& d) { fs::create_symlink(d / "no/such/dir", d / "catalog_cache.tmp"); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CatalogCacheWriteFault, WriteCutShortLikeAFullDisk) {
    // A file size limit makes the write stop part-way, as a full card would.
    TempDir dir;
    std::string path = (dir / "catalog_cache.json");
    const std::string old_text = "{\"phim-le\":[]}";
    write_file(path, old_text);
    CatalogMap cache;
    for (int i = 0; i < 2000; ++i) cache["phim-le"].push_back(item(std::to_string(i)));
    auto old_handler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit old_limit{};
    ::getrlimit(RLIMIT_FSIZE, &old_limit);
    rlimit small = old_limit;
    small.rlim_cur = 4096;
    ::setrlimit(RLIMIT_FSIZE, &small);
    bool saved = save_catalog_cache(path, cache);
    ::setrlimit(RLIMIT_FSIZE, &old_limit);
    ::signal(SIGXFSZ, old_handler);
    EXPECT_FALSE(saved);
    EXPECT_EQ(read_file(path), old_text);
    EXPECT_FALSE(fs::exists(dir / "catalog_cache.tmp"));
}

TEST(CatalogCacheWriteFault, TargetThatCannotBeReplaced) {
    TempDir dir;
    std::string path = (dir / "catalog_cache.json");
    fs::create_directories(path + "/occupied");
    EXPECT_FALSE(save_catalog_cache(path, {{"phim-le", {item("1")}}}));
    EXPECT_TRUE(fs::is_directory(path + "/occupied"));
    EXPECT_FALSE(fs::exists(dir / "catalog_cache.tmp"));
}

TEST(CatalogCacheWriteFault, MissingDirectory) {
    TempDir dir;
    EXPECT_FALSE(save_catalog_cache(dir / "gone/catalog_cache.json", {}));
}

struct LoadCase {
    const char* name;
    std::string content;
};

void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.name; }

class CatalogCacheLoadFallback : public ::testing::TestWithParam<LoadCase> {};

TEST_P(CatalogCacheLoadFallback, EmptyMapAndNothingLogged) {
    TempDir dir;
    std::string path = (dir / "catalog_cache.json");
    write_file(path, GetParam().content);
    CatalogMap loaded{{"x", {}}};
    std::string err = stderr_of([&] { loaded = load_catalog_cache(path); });
    EXPECT_TRUE(loaded.empty());
    EXPECT_EQ(err, "");
}

INSTANTIATE_TEST_SUITE_P(
    Corrupt, CatalogCacheLoadFallback,
    ::testing::Values(LoadCase{"Empty", ""}, LoadCase{"Truncated", "{\"phim-le\":[{\"id\":\"1\",\"tit"},
                      LoadCase{"NotUtf8", "{\"phim-le\":[{\"id\":\"\xc3\x28\",\"title\":\"t\",\"slug\":\"s\"}]}"},
                      LoadCase{"TopLevelArray", "[]"}, LoadCase{"ShelfNotArray", "{\"phim-le\":{}}"},
                      LoadCase{"ItemWithoutSlug", "{\"phim-le\":[{\"id\":\"1\",\"title\":\"t\"}],\"phim-bo\":[]}"},
                      LoadCase{"RepeatedShelf", "{\"phim-le\":[],\"phim-le\":[]}"},
                      LoadCase{"TrailingText", "{\"phim-le\":[]}\n{}"}, LoadCase{"Binary", std::string("\0\1\2", 3)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CatalogCacheLoad, MissingFileOrDirectoryGivesEmptyMap) {
    TempDir dir;
    EXPECT_TRUE(load_catalog_cache(dir / "catalog_cache.json").empty());
    EXPECT_TRUE(load_catalog_cache(dir.path()).empty());
}

TEST(CatalogCacheLoad, FifoOrOversizedFileGivesEmptyMapAtOnce) {
    TempDir dir;
    // A FIFO with no writer would hold a blocking reader for ever.
    const std::string fifo = dir / "fifo.json";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_TRUE(load_catalog_cache(fifo).empty());

    // Valid JSON, but past the 16 MiB a cache may take.
    const std::string shelf = "{\"phim-le\":[]}";
    const std::string path = dir / "catalog_cache.json";
    write_file(path, shelf + std::string(16 * 1024 * 1024 + 1 - shelf.size(), ' '));
    EXPECT_TRUE(load_catalog_cache(path).empty());
    write_file(path, shelf + std::string(16 * 1024 * 1024 - shelf.size(), ' '));
    EXPECT_EQ(load_catalog_cache(path).count("phim-le"), 1u);
}

TEST(CatalogCacheLoad, LackingAKeyKeepsTheOthers) {
    TempDir dir;
    std::string path = (dir / "catalog_cache.json");
    write_file(path,
               "{\"phim-le\":[{\"id\":\"1\",\"title\":\"T1\",\"slug\":\"s1\",\"year\":2020}],\"trending\":[],"
               "\"phim-bo\":[{\"id\":\"2\",\"title\":\"T2\",\"slug\":\"s2\",\"extra\":true}]}");
    CatalogMap expected{{"phim-le", {item("1", "2020")}}, {"phim-bo", {item("2")}}, {"trending", {}}};
    EXPECT_TRUE(load_catalog_cache(path) == expected);
}

TEST(StoreShelf, SortsReplacesTheKeyAndRewritesTheWholeMap) {
    TempDir dir;
    std::string path = (dir / "catalog_cache.json");
    CatalogMap cache{{"phim-le", {item("old")}}, {"phim-bo", {item("kept", "1999")}}};
    const auto& shelf =
        store_shelf(cache, "phim-le", {item("a", "2020"), item("b", "\"2024\""), item("c"), item("d", "2024")}, path);
    std::vector<std::string> ids;
    for (const auto& m : shelf) ids.push_back(m.id);
    EXPECT_EQ(ids, (std::vector<std::string>{"b", "d", "a", "c"}));
    EXPECT_TRUE(load_catalog_cache(path) == cache);
    EXPECT_EQ(cache.at("phim-bo").front().id, "kept");
    EXPECT_EQ(cache.at("phim-le").size(), 4u);
}

TEST(StoreShelf, CorruptFileIsReplacedByAValidOne) {
    TempDir dir;
    std::string path = (dir / "catalog_cache.json");
    write_file(path, "{\"phim-le\":[{");
    CatalogMap cache = load_catalog_cache(path);
    ASSERT_TRUE(cache.empty());
    store_shelf(cache, "trending", {}, path);
    EXPECT_EQ(read_file(path), "{\"trending\":[]}");
}

}  // namespace
}  // namespace qz
