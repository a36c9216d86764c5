// ctest-labels: threads
// The home screen as the real program draws it, through qz-shot (real
// start-up and main loop, drawing into memory), probed pixel by pixel in the
// PNG it writes, at both screen sizes. Texts are compared glyph for glyph
// against the same text drawn alone at the expected place.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "graphics/framebuffer.h"
#include "support/child.h"
#include "support/files.h"
#include "support/loopback_server.h"
#include "support/pixel_probe.h"
#include "support/screen_colors.h"
#include "support/temp_dir.h"

namespace qz {
namespace {

using test::region_is;
using test::text_at;
using test::text_width;

using namespace test::screen_colors;

constexpr Color FOOTER_LINE = 0xff2d1f5e;
constexpr Color HERO_FILL = 0xff17102d;
constexpr Color HERO_OUTLINE = 0xff2f2154;
constexpr Color PLACEHOLDER = 0xff191133;
constexpr Color NO_POSTER = 0xff150e2a;
constexpr int32_t CARD_TOP = 260;  // of the top row

const char* const APP_DIR = "root/mnt/SDCARD/Apps/qz-nuvalto";
const std::string FOOTER =
    "[SELECT] Tìm kiếm   [D-Pad] Chọn phim   [A] Phát / Chi tiết   [L1/R1] Nhảy Kệ   [X] Tải lại   "
    "[START] OTA   [B] Thoát";


using Profile = test::ScreenProfile;

class HomeShot : public ::testing::Test {
protected:
    void SetUp() override {
        test::make_dirs(dir_ / "root");
        test::make_dirs(dir_ / "work");
    }

    // Runs qz-shot against the catalog at url under a temporary device root
    // and reads the frame back.
    void shot(const Profile& p, const std::string& url, const std::string& script) {
        test::ShotRequest request;
        request.catalog_url = url;
        request.width = p.width;
        request.height = p.height;
        request.script = script;
        ASSERT_TRUE(run_.run(request));
        fb_ = run_.frame("final");
    }

    // A server that reads every request and never answers: what the cache and
    // the history put on screen stays there for the whole run.
    std::string silent_catalog() {
        hang_ = std::make_unique<test::CatalogServer>(std::vector<std::string>{"--mode", "hang"});
        EXPECT_TRUE(hang_->running()) << hang_->error();
        return hang_->base_url();
    }

    const Framebuffer& fb() const { return *fb_; }
    int32_t w() const { return int32_t(fb_->width()); }
    int32_t h() const { return int32_t(fb_->height()); }

    // What every home frame has, whatever the shelves hold.
    void expect_frame(const std::string& pill_text) {
        const Framebuffer& f = fb();
        EXPECT_TRUE(region_is(f, 0, 0, w(), 10, BAR)) << "top bar above its content";
        EXPECT_TRUE(region_is(f, 0, 42, w(), 8, BAR)) << "top bar below its content";
        EXPECT_TRUE(region_is(f, 0, 50, w(), 2, ACCENT)) << "accent line under the top bar";
        EXPECT_TRUE(region_is(f, 0, 52, w(), 4, BACKGROUND));
        EXPECT_TRUE(region_is(f, 0, 56, 20, 168, BACKGROUND)) << "left of the hero panel";
        EXPECT_TRUE(region_is(f, 0, 214, w(), 16, BACKGROUND)) << "between the hero panel and the rows";

        const int32_t tw = text_width(pill_text, 12.0f);
        const int32_t px = (w() - tw - 24) / 2;
        EXPECT_TRUE(text_at(f, "QZ-NUVALTO", 60, 15, WHITE, 20.0f, BAR));
        EXPECT_TRUE(text_at(f, pill_text, px + 12, 18, WHITE, 12.0f, 0xff281a4e));
        EXPECT_TRUE(region_is(f, px + 2, 22, 8, 8, 0xff281a4e)) << "row pill";
        EXPECT_TRUE(text_at(f, "[L1]", px - 34, 19, SECONDARY, 12.0f, BAR));
        EXPECT_TRUE(text_at(f, "[R1]", px + tw + 32, 19, SECONDARY, 12.0f, BAR));
        EXPECT_TRUE(text_at(f, "[SELECT] TÌM KIẾM", w() - 150, 19, WHITE, 11.5f, 0xff2a1c50));

        EXPECT_TRUE(region_is(f, 20, 56, w() - 40, 1, HERO_OUTLINE)) << "hero top edge";
        EXPECT_TRUE(region_is(f, 20, 213, w() - 40, 1, HERO_OUTLINE)) << "hero bottom edge";
        EXPECT_TRUE(region_is(f, 20, 56, 1, 158, HERO_OUTLINE)) << "hero left edge";
        EXPECT_TRUE(region_is(f, w() - 21, 56, 1, 158, HERO_OUTLINE)) << "hero right edge";

        EXPECT_TRUE(region_is(f, 0, h() - 42, w(), 1, FOOTER_LINE)) << "footer line";
        EXPECT_TRUE(region_is(f, 0, h() - 41, w(), 10, BAR)) << "footer above its text";
        EXPECT_TRUE(region_is(f, 0, h() - 6, w(), 6, BAR)) << "footer below its text";
        EXPECT_TRUE(text_at(f, FOOTER, 24, h() - 27, WHITE, 13.5f, BAR));
    }

    void expect_focused_row_title(const std::string& title, size_t count) {
        EXPECT_TRUE(region_is(fb(), 24, 233, 4, 14, ACCENT)) << "bar before the focused title";
        // Cards and the focus ring, drawn later, cover the lowest glyph rows.
        EXPECT_TRUE(text_at(fb(), title, 36, 246, WHITE, 15.0f, BACKGROUND, CARD_TOP - 3));
        EXPECT_TRUE(text_at(fb(), "(" + std::to_string(count) + " phim)", 36 + text_width(title, 15.0f) + 8,
                            246, SECONDARY, 12.0f, BACKGROUND, CARD_TOP - 3));
    }

    // The focused card's frame: two accent rings outside a white one.
    void expect_focus_ring(int32_t x, int32_t top) {
        const Framebuffer& f = fb();
        EXPECT_TRUE(region_is(f, x - 3, top - 3, 174, 2, ACCENT)) << "outer ring, top";
        EXPECT_TRUE(region_is(f, x - 3, top + 241, 174, 2, ACCENT)) << "outer ring, bottom";
        EXPECT_TRUE(region_is(f, x - 3, top - 3, 2, 246, ACCENT)) << "outer ring, left";
        EXPECT_TRUE(region_is(f, x + 169, top - 3, 2, 246, ACCENT)) << "outer ring, right";
        EXPECT_TRUE(region_is(f, x - 1, top - 1, 170, 1, WHITE)) << "inner ring, top";
        EXPECT_TRUE(region_is(f, x - 1, top + 240, 170, 1, WHITE)) << "inner ring, bottom";
        EXPECT_TRUE(region_is(f, x - 1, top - 1, 1, 242, WHITE)) << "inner ring, left";
        EXPECT_TRUE(region_is(f, x + 168, top - 1, 1, 242, WHITE)) << "inner ring, right";
    }

    test::TempDir dir_;
    std::unique_ptr<test::CatalogServer> hang_;
    std::unique_ptr<test::CatalogServer> server_;
    test::ShotRun run_{dir_ / "root", dir_ / "work"};
    const Framebuffer* fb_ = nullptr;
};

// ---------------------------------------------------------------------------
// Empty category shelves: placeholders while loading, then "nothing here".

enum class Source { Silent, ClosedPort, EmptyAnswers };

struct EmptyCase {
    const char* name;
    Source source;
    const char* script;
    const char* text;
    int32_t text_dx;
};
void PrintTo(const EmptyCase& c, std::ostream* os) { *os << c.name; }

const EmptyCase EMPTY_CASES[] = {
    {"LoadingWhileNothingArrived", Source::Silent, "", "Đang tải...", 48},
    {"NothingAfterAFailedFetch", Source::ClosedPort, "wait:2500", "Chưa có phim", 42},
    {"NothingAfterAnEmptyAnswer", Source::EmptyAnswers, "wait:2500", "Chưa có phim", 42},
};

class EmptyShelves : public HomeShot, public ::testing::WithParamInterface<std::tuple<Profile, EmptyCase>> {};

TEST_P(EmptyShelves, ShowFourPlaceholderCardsPerVisibleRow) {
    const auto& [profile, c] = GetParam();
    std::string url;
    switch (c.source) {
        case Source::Silent:
            url = silent_catalog();
            break;
        case Source::ClosedPort:
            url = "http://127.0.0.1:" + std::to_string(test::closed_port());
            break;
        case Source::EmptyAnswers:
            for (const char* name : {"home-phim-le", "home-phim-bo", "home-hoat-hinh", "home"}) {
                test::write_file(dir_ / ("data/" + std::string(name) + ".json"), "[]");
            }
            server_ = std::make_unique<test::CatalogServer>(std::vector<std::string>{"--data", dir_ / "data"});
            ASSERT_TRUE(server_->running()) << server_->error();
            url = server_->base_url();
            break;
    }
    ASSERT_NO_FATAL_FAILURE(shot(profile, url, c.script));
    const Framebuffer& f = fb();

    expect_frame("HÀNG 1/4 • PHIM LẺ MỚI NHẤT");
    // No focused card: the hero panel greets instead and has no poster area.
    EXPECT_TRUE(text_at(f, "QZ-NUVALTO • Rạp Phim & Hoạt Hình Full HD", 38, 96, WHITE, 20.0f, HERO_FILL));
    EXPECT_TRUE(text_at(f, "Sử dụng D-Pad để duyệt qua các danh mục phim.", 38, 136, SECONDARY, 14.0f,
                        HERO_FILL));
    EXPECT_TRUE(region_is(f, w() - 300, 70, 260, 130, HERO_FILL)) << "poster area drawn without a card";

    expect_focused_row_title("PHIM LẺ MỚI NHẤT", 0);
    EXPECT_TRUE(text_at(f, "PHIM BỘ HOT NHẤT", 24, 534, SECONDARY, 14.0f, BACKGROUND, CARD_TOP + 288));
    for (int32_t k = 0; k < 4; ++k) {
        const int32_t x = 24 + k * 184;
        for (int32_t y : {0, 288}) {
            SCOPED_TRACE("placeholder " + std::to_string(k) + " of the row at " + std::to_string(y));
            EXPECT_TRUE(region_is(f, x + 8, y + CARD_TOP + 2, 152, 100, PLACEHOLDER));
            EXPECT_TRUE(text_at(f, c.text, x + c.text_dx, y + 380, SECONDARY, 13.0f, PLACEHOLDER, h() - 42));
        }
        EXPECT_TRUE(region_is(f, x + 168, CARD_TOP, 16, 240, BACKGROUND)) << "gap after placeholder " << k;
    }
    EXPECT_TRUE(region_is(f, 24 + 3 * 184 + 168, 230, w() - 744, h() - 42 - 230, BACKGROUND))
        << "right of the fourth placeholder";
    EXPECT_TRUE(region_is(f, 0, 500, w(), 20, BACKGROUND)) << "between the rows";
}

INSTANTIATE_TEST_SUITE_P(Cases, EmptyShelves, ::testing::Combine(::testing::ValuesIn(test::SCREEN_PROFILES),
                                                                 ::testing::ValuesIn(EMPTY_CASES)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
                         });

// ---------------------------------------------------------------------------
// A watch history and a warm catalog cache: the continue-watching row first.

// Two records in the file layout the program writes.
const std::string HISTORY = R"([
  {
    "movie_id": "m-1",
    "movie_title": "Hành Trình Dài Của Những Người Bạn",
    "poster_url": "",
    "server_name": "Server VIP",
    "episode_number": 3,
    "episode_title": " Tập 3 ",
    "play_url": "http://127.0.0.1:9/m1.m3u8",
    "last_pos_secs": 125,
    "duration_secs": 3600,
    "updated_at": 1700000000
  },
  {
    "movie_id": "m-2",
    "movie_title": "Số Tập",
    "poster_url": "",
    "server_name": "Server 1",
    "episode_number": 12,
    "episode_title": "Tập 12",
    "play_url": "http://127.0.0.1:9/m2.m3u8",
    "last_pos_secs": 40,
    "duration_secs": 0,
    "updated_at": 1690000000
  }
])";

std::string cached_item(const std::string& id, const std::string& title, const std::string& year,
                        const std::string& quality) {
    return R"({"id":")" + id + R"(","title":")" + title + R"(","slug":")" + id +
           R"(","thumbnail":null,"backdrop":null,"year":)" + year + R"(,"quality":)" + quality +
           R"(,"time":"117 phút","lang":"Vietsub","category":null})";
}

class WatchHistory : public HomeShot, public ::testing::WithParamInterface<Profile> {};

TEST_P(WatchHistory, ContinueWatchingRowComesFirstAndFillsTheHero) {
    test::write_file(dir_ / (std::string(APP_DIR) + "/history.json"), HISTORY);
    test::write_file(dir_ / (std::string(APP_DIR) + "/catalog_cache.json"),
                     R"({"phim-le":[)" + cached_item("le-1", "Mắt Biếc", "\"2024\"", "null") + "," +
                         cached_item("le-2", "Bố Già", "2023", "\"FHD\"") + "]}");
    ASSERT_NO_FATAL_FAILURE(shot(GetParam(), silent_catalog(), ""));
    const Framebuffer& f = fb();

    // The row title has 31 characters: the pill shows 20 of them.
    expect_frame("HÀNG 1/5 • ▶ TIẾP TỤC XEM (ĐÃ X...");
    expect_focused_row_title("▶ TIẾP TỤC XEM (ĐÃ XEM GẦN ĐÂY)", 2);
    EXPECT_TRUE(text_at(f, "PHIM LẺ MỚI NHẤT", 24, 534, SECONDARY, 14.0f, BACKGROUND, CARD_TOP + 288)) << "second row";

    // Hero: the focused record, its episode (title blank-trimmed equals
    // "Tập 3": the short form), 125 of 3600 seconds.
    EXPECT_TRUE(text_at(f, "TIẾP TỤC XEM (ĐÃ XEM GẦN ĐÂY)", 38, 70, HIGHLIGHT, 12.0f, HERO_FILL));
    EXPECT_TRUE(text_at(f, "Hành Trình Dài Của Những Người...", 38, 92, WHITE, 21.0f, HERO_FILL));
    EXPECT_TRUE(text_at(f, "Tập 3 • Server VIP", 38, 124, ACCENT, 14.0f, HERO_FILL));
    EXPECT_TRUE(text_at(f, "Đã xem 02:05/60 phút  •  [A] Phát tiếp ngay đoạn dừng", 38, 168, HIGHLIGHT, 12.5f,
                        HERO_FILL));
    // The fill is 11 pixels wide; its rounded ends leave out its first and
    // last column on the middle rows.
    const Color track = test::blend_over(0x80333333, HERO_FILL);
    EXPECT_TRUE(region_is(f, 39, 152, 9, 2, ACCENT)) << "11 of 320 pixels watched";
    EXPECT_TRUE(region_is(f, 48, 151, 300, 4, track)) << "rest of the track";
    EXPECT_TRUE(region_is(f, w() - 280, 72, 60, 126, 0xff100a22)) << "poster stand-in";
    EXPECT_TRUE(text_at(f, "NUVALTO HD", w() - 208, 127, 0xff4a3b7a, 14.0f, 0xff100a22));

    // Cards: the first is focused, the second is not.
    expect_focus_ring(24, CARD_TOP);
    EXPECT_TRUE(region_is(f, 195, CARD_TOP + 10, 13, 233, BACKGROUND)) << "ring around an unfocused card";
    const Color badge = test::blend_over(0xd0a855f7, NO_POSTER);
    const int32_t tap3 = text_width("Tập 3", 11.0f);
    EXPECT_TRUE(region_is(f, 24 + 6, CARD_TOP + 10, 6, 12, badge)) << "episode badge, left padding";
    EXPECT_TRUE(region_is(f, 24 + 12 + tap3 + 1, CARD_TOP + 10, 4, 12, badge)) << "episode badge, right padding";
    EXPECT_EQ(f.at(uint32_t(24 + 6 + tap3 + 12), uint32_t(CARD_TOP + 16)), NO_POSTER) << "badge too wide";
    EXPECT_TRUE(text_at(f, "Tập 3", 24 + 12, CARD_TOP + 9, WHITE, 11.0f, badge));
    EXPECT_TRUE(text_at(f, "NUVALTO", 24 + 56, CARD_TOP + 114, 0xff4a3b7a, 12.5f, NO_POSTER));
    EXPECT_TRUE(region_is(f, 24 + 9, CARD_TOP + 235, 3, 2, ACCENT)) << "5 of 152 pixels watched";
    EXPECT_NE(f.at(24 + 12, CARD_TOP + 235), ACCENT) << "wider than 5 pixels";
    EXPECT_NE(f.at(208 + 9, CARD_TOP + 235), ACCENT) << "progress drawn without a duration";
    EXPECT_TRUE(text_at(f, "Tập 12", 208 + 12, CARD_TOP + 9, WHITE, 11.0f, badge));

    // Second row, from the cache: a year badge ends 6 pixels inside the card
    // and shows a quoted year without its quotes.
    const int32_t top2 = CARD_TOP + 288, yw = text_width("2024", 10.5f);
    const Color year_badge = test::blend_over(0xd0201540, NO_POSTER);
    EXPECT_TRUE(region_is(f, 24 + 152 - yw, top2 + 9, 4, 12, year_badge));
    EXPECT_TRUE(region_is(f, 24 + 159, top2 + 9, 3, 12, year_badge));
    EXPECT_TRUE(region_is(f, 24 + 162, top2 + 9, 6, 12, NO_POSTER));
    EXPECT_TRUE(text_at(f, "2024", 24 + 157 - yw, top2 + 9, WHITE, 10.5f, year_badge));
    EXPECT_TRUE(region_is(f, 21, top2 - 3, 3, h() - 42 - (top2 - 3), BACKGROUND)) << "ring on an unfocused row";
    EXPECT_TRUE(text_at(f, "FHD", 208 + 11, top2 + 9, HIGHLIGHT, 10.5f, year_badge));
}

INSTANTIATE_TEST_SUITE_P(Profiles, WatchHistory, ::testing::ValuesIn(test::SCREEN_PROFILES),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Moving along a row: the focused card stays in the second slot.

class Scrolling : public HomeShot, public ::testing::WithParamInterface<Profile> {};

TEST_P(Scrolling, SixthCardTakesTheSecondSlotAndTheHeroDescribesIt) {
    std::string items;
    for (int i = 0; i < 7; ++i) {
        const std::string title = i == 5 ? "Một Tựa Phim Rất Dài Để Thử Cắt Ngắn Chữ" : "Phim " + std::to_string(i);
        items += (i ? "," : "") + cached_item("le-" + std::to_string(i), title, "2023", "\"HD\"");
    }
    test::write_file(dir_ / "work/catalog_cache.json", R"({"phim-le":[)" + items + "]}");
    ASSERT_NO_FATAL_FAILURE(shot(GetParam(), silent_catalog(), "Right;Right;Right;Right;Right"));
    const Framebuffer& f = fb();

    expect_frame("HÀNG 1/4 • PHIM LẺ MỚI NHẤT");
    expect_focused_row_title("PHIM LẺ MỚI NHẤT", 7);
    expect_focus_ring(208, CARD_TOP);
    // Card 3 (x = -160) still shows its last 8 columns; the fifth starts at 24.
    EXPECT_TRUE(region_is(f, 0, CARD_TOP + 30, 8, 80, NO_POSTER)) << "the fourth card's edge";
    EXPECT_TRUE(region_is(f, 8, CARD_TOP - 3, 16, 246, BACKGROUND)) << "the fifth card starts at x = 24";
    EXPECT_TRUE(region_is(f, 24, CARD_TOP + 30, 168, 80, NO_POSTER)) << "the fifth card";

    // Hero: row title, the title cut to 32 characters, then badges left to
    // right (quality, year, time, language), 8 pixels apart.
    EXPECT_TRUE(text_at(f, "PHIM LẺ MỚI NHẤT", 38, 70, ACCENT, 12.0f, HERO_FILL));
    EXPECT_TRUE(text_at(f, "Một Tựa Phim Rất Dài Để Thử Cắt ...", 38, 92, WHITE, 21.0f, HERO_FILL));
    int32_t x = 38;
    const struct {
        const char* text;
        Color fill;
        Color color;
    } badges[] = {{"HD", 0xff6a38b3, WHITE},
                  {"2023", 0xff2a1c50, WHITE},
                  {"117 phút", 0xff2a1c50, SECONDARY},
                  {"Vietsub", 0xff2a1c50, HIGHLIGHT}};
    for (const auto& b : badges) {
        SCOPED_TRACE(b.text);
        const int32_t bw = text_width(b.text, 11.0f) + 14;
        EXPECT_TRUE(region_is(f, x, 130, 6, 12, b.fill));
        EXPECT_TRUE(region_is(f, x + bw - 6, 130, 6, 12, b.fill));
        EXPECT_TRUE(region_is(f, x + bw, 126, 8, 20, HERO_FILL)) << "gap after the badge";
        EXPECT_TRUE(text_at(f, b.text, x + 7, 129, b.color, 11.0f, b.fill));
        x += bw + 8;
    }
    EXPECT_TRUE(text_at(f, "Bấm [A] để xem thông tin chi tiết, chọn tập và phát video", 38, 166, SECONDARY,
                        13.0f, HERO_FILL));
}

INSTANTIATE_TEST_SUITE_P(Profiles, Scrolling, ::testing::ValuesIn(test::SCREEN_PROFILES),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qz
