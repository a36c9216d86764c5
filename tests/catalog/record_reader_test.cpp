#include "catalog/record_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <variant>

namespace qz {
namespace {

MediaItem item(std::string id, std::function<void(MediaItem&)> more = {}) {
    MediaItem m;
    m.id = id;
    m.title = "T" + id;
    m.slug = "s" + id;
    if (more) more(m);
    return m;
}

std::string item_json(const std::string& id, const std::string& extra = "") {
    return "{\"id\":\"" + id + "\",\"title\":\"T" + id + "\",\"slug\":\"s" + id + "\"" + extra + "}";
}

MediaDetail detail(std::function<void(MediaDetail&)> more = {}) {
    MediaDetail d;
    d.id = "d1";
    d.title = "Tên phim";
    d.slug = "ten-phim";
    if (more) more(d);
    return d;
}

std::string detail_json(const std::string& extra) {
    return "{\"id\":\"d1\",\"title\":\"Tên phim\",\"slug\":\"ten-phim\"" + extra + "}";
}

std::string episode_json(const std::string& number) {
    return detail_json(",\"episodes\":[{\"title\":\"Tập 1\",\"url\":\"https://v/1.m3u8\",\"number\":" + number + "}]");
}

std::string fifty_items_one_without_slug() {
    std::string body = "[";
    for (int i = 0; i < 50; ++i) {
        if (i) body += ",";
        body += i == 37 ? "{\"id\":\"37\",\"title\":\"T\"}" : item_json(std::to_string(i));
    }
    return body + "]";
}

std::string deeply_nested_unknown(int depth) {
    return "[" + item_json("1", ",\"junk\":" + std::string(depth, '[') + std::string(depth, ']')) + "]";
}

using Items = std::vector<MediaItem>;
// What a case expects: a value, or an error text starting with the string.
struct ErrorPrefix {
    std::string text;
};
using Expected = std::variant<Items, MediaDetail, ExtractResp, ErrorPrefix>;

enum class Kind { Items, Detail, Extract };

struct ReadCase {
    const char* name;
    Kind kind;
    std::string body;
    Expected expected;
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

std::variant<Items, MediaDetail, ExtractResp, std::string> read(Kind kind, const std::string& body) {
    switch (kind) {
        case Kind::Items: {
            auto r = read_media_items(body);
            if (auto* e = std::get_if<std::string>(&r)) return *e;
            return std::get<Items>(r);
        }
        case Kind::Detail: {
            auto r = read_media_detail(body);
            if (auto* e = std::get_if<std::string>(&r)) return *e;
            return std::get<MediaDetail>(r);
        }
        case Kind::Extract: {
            auto r = read_extract_resp(body);
            if (auto* e = std::get_if<std::string>(&r)) return *e;
            return std::get<ExtractResp>(r);
        }
    }
    return std::string("unreachable");
}

class RecordReading : public ::testing::TestWithParam<ReadCase> {};

TEST_P(RecordReading, ValueOrError) {
    const auto& c = GetParam();
    auto got = read(c.kind, c.body);
    if (auto* prefix = std::get_if<ErrorPrefix>(&c.expected)) {
        ASSERT_TRUE(std::holds_alternative<std::string>(got)) << "accepted a bad body";
        EXPECT_TRUE(std::get<std::string>(got).starts_with(prefix->text))
            << "error: " << std::get<std::string>(got) << "\nwanted prefix: " << prefix->text;
        return;
    }
    if (auto* e = std::get_if<std::string>(&got)) FAIL() << "rejected: " << *e;
    if (auto* items = std::get_if<Items>(&c.expected)) {
        EXPECT_TRUE(std::get<Items>(got) == *items);
    } else if (auto* d = std::get_if<MediaDetail>(&c.expected)) {
        EXPECT_TRUE(std::get<MediaDetail>(got) == *d);
    } else {
        EXPECT_TRUE(std::get<ExtractResp>(got) == std::get<ExtractResp>(c.expected));
    }
}

const std::string FULL_ITEM =
    "{\"id\":\"7\",\"title\":\"Mắt Biếc\",\"slug\":\"mat-biec\",\"thumbnail\":\"https://i/p.jpg\","
    "\"backdrop\":\"https://i/b.jpg\",\"year\":2019,\"quality\":\"FHD\",\"time\":\"117 phút\","
    "\"lang\":\"Vietsub\",\"category\":\"Tình cảm\"}";

INSTANTIATE_TEST_SUITE_P(
    Bodies, RecordReading,
    ::testing::Values(
        ReadCase{"MinimalItem", Kind::Items, "[" + item_json("1") + "]", Items{item("1")}},
        ReadCase{"AllFields", Kind::Items, "[" + FULL_ITEM + "]", Items{[] {
                     MediaItem m{"7", "Mắt Biếc", "mat-biec", "https://i/p.jpg", "https://i/b.jpg", RawJson{"2019"},
                                 "FHD", "117 phút", "Vietsub", "Tình cảm"};
                     return m;
                 }()}},
        ReadCase{"EmptyArray", Kind::Items, "[]", Items{}},
        ReadCase{"WhitespaceAround", Kind::Items, " \n\t[ " + item_json("1") + " ]\r\n ", Items{item("1")}},
        ReadCase{"YearStringKeptAsReceived", Kind::Items, "[" + item_json("1", ",\"year\":\"2023 \"") + "]",
                 Items{item("1", [](MediaItem& m) { m.year = RawJson{"\"2023 \""}; })}},
        ReadCase{"YearFractionIsAnyValue", Kind::Items, "[" + item_json("1", ",\"year\":2023.0") + "]",
                 Items{item("1", [](MediaItem& m) { m.year = RawJson{"2023.0"}; })}},
        ReadCase{"YearObjectIsAnyValue", Kind::Items, "[" + item_json("1", ",\"year\":{\"y\":[1,true]}") + "]",
                 Items{item("1", [](MediaItem& m) { m.year = RawJson{"{\"y\":[1,true]}"}; })}},
        ReadCase{"NullOptionalsAreNotSet", Kind::Items,
                 "[" + item_json("1", ",\"year\":null,\"thumbnail\":null,\"category\":null") + "]", Items{item("1")}},
        ReadCase{"UnknownKeysSkipped", Kind::Items,
                 "[" + item_json("1", ",\"extra\":{\"a\":[1,{\"b\":null}],\"a\":2},\"extra\":5,\"n\":-1.5e9") + "]",
                 Items{item("1")}},
        ReadCase{"DeepUnknownValue", Kind::Items, deeply_nested_unknown(20000), Items{item("1")}},
        ReadCase{"NumberForString", Kind::Items, "[{\"id\":5,\"title\":\"A\",\"slug\":\"a\"}]",
                 ErrorPrefix{"invalid type: integer `5`, expected a string at line 1 column 8"}},
        ReadCase{"NumberForOptionalString", Kind::Items, "[" + item_json("1", ",\"quality\":7") + "]",
                 ErrorPrefix{"invalid type: integer `7`, expected a string"}},
        ReadCase{"NullForRequired", Kind::Items, "[\n {\"id\":\"1\",\n  \"title\":null, \"slug\":\"s\"}]",
                 ErrorPrefix{"invalid type: null, expected a string at line 3 column 14"}},
        ReadCase{"MissingField", Kind::Items, "[{\"id\":\"1\",\"title\":\"A\"}]",
                 ErrorPrefix{"missing field `slug` at line 1 column 23"}},
        ReadCase{"DuplicateField", Kind::Items, "[{\"id\":\"1\",\"id\":\"2\",\"title\":\"A\",\"slug\":\"s\"}]",
                 ErrorPrefix{"duplicate field `id` at line 1 column 15"}},
        ReadCase{"DuplicateOptionalField", Kind::Items, "[" + item_json("1", ",\"year\":1,\"year\":2") + "]",
                 ErrorPrefix{"duplicate field `year`"}},
        ReadCase{"OneBadOfFifty", Kind::Items, fifty_items_one_without_slug(), ErrorPrefix{"missing field `slug`"}},
        ReadCase{"ElementNotObject", Kind::Items, "[" + item_json("1") + ",1]",
                 ErrorPrefix{"invalid type: integer `1`, expected struct MediaItem"}},
        ReadCase{"EnvelopeObject", Kind::Items, "{\"items\":[" + item_json("1") + "]}",
                 ErrorPrefix{"invalid type: map, expected a sequence"}},
        ReadCase{"TrailingGarbage", Kind::Items, "[] x", ErrorPrefix{"parse error at line 1, column 4"}},
        ReadCase{"SecondValue", Kind::Items, "[] []", ErrorPrefix{"parse error at line 1, column 4"}},
        ReadCase{"EmptyBody", Kind::Items, "", ErrorPrefix{"parse error at line 1, column 1"}},
        ReadCase{"HtmlErrorPage", Kind::Items, "<html><body>404 Not Found</body></html>",
                 ErrorPrefix{"parse error at line 1, column 1"}},
        ReadCase{"InvalidUtf8", Kind::Items, "[{\"id\":\"\xff\",\"title\":\"A\",\"slug\":\"a\"}]",
                 ErrorPrefix{"parse error at line 1, column"}},
        ReadCase{"ByteOrderMark", Kind::Items, "\xEF\xBB\xBF[]", ErrorPrefix{"syntax error"}},
        ReadCase{"Truncated", Kind::Items, "[" + item_json("1"), ErrorPrefix{"parse error"}},
        ReadCase{"DetailWithoutEpisodes", Kind::Detail, detail_json(""), detail()},
        ReadCase{"DetailNullEpisodes", Kind::Detail, detail_json(",\"episodes\":null,\"description\":null"), detail()},
        ReadCase{"DetailEmptyEpisodes", Kind::Detail, detail_json(",\"episodes\":[]"),
                 detail([](MediaDetail& d) { d.episodes = std::vector<EpisodeItem>{}; })},
        ReadCase{"DetailFull", Kind::Detail,
                 detail_json(",\"description\":\"Mô tả\",\"year\":\"2024\",\"time\":\"45 phút/tập\","
                             "\"episodes\":[{\"title\":\"Tập 1\",\"url\":\"https://v/1\",\"serverName\":\"VIP\","
                             "\"number\":1},{\"title\":\"Tập 2\",\"url\":\"https://v/2\",\"number\":4294967295},"
                             "{\"title\":\"Tập đặc biệt\",\"url\":\"https://v/x\",\"number\":null,\"n\":\"x\"}]"),
                 detail([](MediaDetail& d) {
                     d.description = "Mô tả";
                     d.year = RawJson{"\"2024\""};
                     d.time = "45 phút/tập";
                     d.episodes = std::vector<EpisodeItem>{{"Tập 1", "https://v/1", "VIP", 1u},
                                                           {"Tập 2", "https://v/2", std::nullopt, 4294967295u},
                                                           {"Tập đặc biệt", "https://v/x", std::nullopt, std::nullopt}};
                 })},
        ReadCase{"EpisodeNumberAsString", Kind::Detail, episode_json("\"3\""),
                 ErrorPrefix{"invalid type: string \"3\", expected u32"}},
        ReadCase{"EpisodeNumberFraction", Kind::Detail, episode_json("2.0"),
                 ErrorPrefix{"invalid type: floating point `2.0`, expected u32"}},
        ReadCase{"EpisodeNumberNegative", Kind::Detail, episode_json("-1"),
                 ErrorPrefix{"invalid value: integer `-1`, expected u32"}},
        ReadCase{"EpisodeNumberTooBig", Kind::Detail, episode_json("4294967296"),
                 ErrorPrefix{"invalid value: integer `4294967296`, expected u32"}},
        ReadCase{"EpisodeWithoutUrl", Kind::Detail, detail_json(",\"episodes\":[{\"title\":\"Tập 1\"}]"),
                 ErrorPrefix{"missing field `url`"}},
        ReadCase{"DuplicateServerName", Kind::Detail,
                 detail_json(",\"episodes\":[{\"title\":\"a\",\"url\":\"u\",\"serverName\":\"x\",\"serverName\":\"y\"}]"),
                 ErrorPrefix{"duplicate field `serverName`"}},
        ReadCase{"EpisodesNotArray", Kind::Detail, detail_json(",\"episodes\":{}"),
                 ErrorPrefix{"invalid type: map, expected a sequence"}},
        ReadCase{"DetailAsArray", Kind::Detail, "[" + detail_json("") + "]",
                 ErrorPrefix{"invalid type: sequence, expected struct MediaDetail"}},
        ReadCase{"Extract", Kind::Extract, "{\"url\":\"https://cdn/x.m3u8\",\"ok\":true}",
                 ExtractResp{"https://cdn/x.m3u8"}},
        ReadCase{"ExtractNullUrl", Kind::Extract, "{\"url\":null}",
                 ErrorPrefix{"invalid type: null, expected a string"}},
        ReadCase{"ExtractEmptyObject", Kind::Extract, "{}", ErrorPrefix{"missing field `url` at line 1 column 2"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CatalogMapReading, ShelvesOfItems) {
    auto r = read_catalog_map("{\"phim-le\":[" + item_json("1") + "],\"trending\":[]}");
    ASSERT_TRUE(std::holds_alternative<CatalogMap>(r)) << std::get<std::string>(r);
    CatalogMap expected{{"phim-le", {item("1")}}, {"trending", {}}};
    EXPECT_TRUE(std::get<CatalogMap>(r) == expected);
}

TEST(CatalogMapReading, RejectsWrongShapes) {
    for (std::string body : {"[]", "{\"phim-le\":{}}", "{\"phim-le\":[{\"id\":\"1\"}]}",
                             "{\"phim-le\":[],\"phim-le\":[]}", "{\"a\":[]} {}", "null"}) {
        EXPECT_TRUE(std::holds_alternative<std::string>(read_catalog_map(body))) << body;
    }
}

}  // namespace
}  // namespace qz

namespace qz {
namespace {

std::string read_text(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The demo and test data the loopback server serves must stay readable
// (except the fixtures that are wrong on purpose).
TEST(FixtureData, ShelvesAndDetailsRead) {
    const std::set<std::string> wrong_on_purpose = {"so-tap-chu.json"};
    for (const char* folder : {"/tools/fixtures/demo", "/tools/fixtures/catalog"}) {
        std::filesystem::path dir = std::string(QZ_SOURCE_DIR) + folder;
        int shelves = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            if (!entry.path().filename().string().starts_with("home")) continue;
            ++shelves;
            auto r = read_media_items(read_text(entry.path()));
            EXPECT_TRUE(std::holds_alternative<std::vector<MediaItem>>(r)) << entry.path() << ": " << std::get<1>(r);
        }
        EXPECT_EQ(shelves, 4) << dir;
        for (const auto& entry : std::filesystem::directory_iterator(dir / "videos")) {
            auto r = read_media_detail(read_text(entry.path()));
            bool ok = std::holds_alternative<MediaDetail>(r);
            EXPECT_EQ(ok, !wrong_on_purpose.count(entry.path().filename().string())) << entry.path();
        }
    }
}

}  // namespace
}  // namespace qz
