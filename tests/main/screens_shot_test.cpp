// ctest-labels: threads
// The detail screen, the search keyboard and the update panel as the real
// program draws them, through qz-shot (real start-up, workers and main loop,
// drawing into memory) against loopback catalog and update servers, probed
// in the PNG frames it writes at both screen sizes. Texts are compared glyph
// for glyph against the same text drawn alone at the expected place.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "graphics/framebuffer.h"
#include "main/update_screen.h"
#include "support/child.h"
#include "support/files.h"
#include "support/loopback_server.h"
#include "support/pixel_probe.h"
#include "support/screen_colors.h"
#include "support/temp_dir.h"
#include "update/ota_client.h"

namespace qz {
namespace {

using test::region_is;
using test::text_at;
using test::text_width;

using namespace test::screen_colors;

constexpr Color SELECTION = 0xff6a38b3;
constexpr Color DETAIL_PANEL = 0xff1d1438;
constexpr Color RESUME_FILL = 0xff241544;
constexpr Color KEYBOARD_PANEL = 0xff160f2c;
constexpr Color KEY_FILL = 0xff231742;
constexpr Color KEY_LABEL = 0xffcbd5e1;
constexpr Color UPDATE_PANEL = 0xff1d1438;
constexpr Color ERROR_RED = 0xffef4444;

const char* const APP_DIR = "root/mnt/SDCARD/Apps/qz-nuvalto";

using Profile = test::ScreenProfile;

class ScreensShot : public ::testing::Test {
protected:
    void SetUp() override {
        test::make_dirs(dir_ / "root");
        test::make_dirs(dir_ / "work");
    }

    // Runs qz-shot at the profile's size; the frames are then in run_.
    void shot(const Profile& p, const std::string& catalog_url, const std::string& script,
              const std::string& update_url = "") {
        test::ShotRequest request;
        request.catalog_url = catalog_url;
        request.update_url = update_url;
        request.width = p.width;
        request.height = p.height;
        request.script = script;
        ASSERT_TRUE(run_.run(request));
    }

    const Framebuffer& frame(const std::string& name = "final") const { return *run_.frame(name); }

    test::TempDir dir_;
    test::ShotRun run_{dir_ / "root", dir_ / "work"};
};

// ===========================================================================
// Detail screen: a twelve-episode series resumed on episode 11, and a film.

const char* const SERIES_ID = "series-12";
const char* const SERIES_TITLE = "Mười Hai Tập Trọn Bộ";
const char* const FILM_TITLE = "Một Tập Phim";

std::string series_detail(const std::string& thumbnail) {
    std::string episodes;
    for (int n = 1; n <= 12; ++n) {
        episodes += std::string(n > 1 ? "," : "") + R"({"title":"Chương )" + std::to_string(n) +
                    R"(","url":"{BASE}/streams/s12/)" + std::to_string(n) + R"(.m3u8","number":)" +
                    std::to_string(n) + "}";
    }
    return R"({"id":")" + std::string(SERIES_ID) + R"(","title":")" + SERIES_TITLE +
           R"(","slug":"muoi-hai-tap","thumbnail":")" + thumbnail +
           R"(","description":"Mười hai tập phim về một chuyến đi.","quality":"FHD","lang":"Vietsub",)"
           R"("time":"45 phút/tập","episodes":[)" +
           episodes + "]}";
}

// Paragraph and line-break tags around two sentences; one episode.
std::string film_detail() {
    return R"({"id":"film-1","title":")" + std::string(FILM_TITLE) +
           R"(","slug":"mot-tap-phim","description":"<p>Câu mở đầu.<br>Câu thứ hai.</p>","quality":"HD",)"
           R"("episodes":[{"title":"Full","url":"{BASE}/streams/film.m3u8","number":1}]})";
}

// The program's own history layout: episode 11 of the series at 12:34 of 45 minutes.
const std::string SERIES_HISTORY = R"([
  {
    "movie_id": "series-12",
    "movie_title": "Mười Hai Tập Trọn Bộ",
    "poster_url": "",
    "server_name": "Server 1",
    "episode_number": 11,
    "episode_title": "Chương 11",
    "play_url": "http://127.0.0.1:9/s12/11.m3u8",
    "last_pos_secs": 754,
    "duration_secs": 2700,
    "updated_at": 1700000000
  }
])";

class DetailShot : public ScreensShot {
protected:
    // A catalog whose first category holds the series, then the film.
    std::string catalog(const std::string& series_thumbnail) {
        const std::string data = dir_ / "catalog";
        test::write_file(data + "/home-phim-le.json",
                         R"([{"id":"series-12","title":")" + std::string(SERIES_TITLE) +
                             R"(","slug":"muoi-hai-tap","year":2024},)"
                             R"({"id":"film-1","title":")" +
                             FILM_TITLE + R"(","slug":"mot-tap-phim","year":2023}])");
        for (const char* name : {"home-phim-bo", "home-hoat-hinh", "home"}) {
            test::write_file(data + "/" + name + ".json", "[]");
        }
        test::write_file(data + "/videos/muoi-hai-tap.json", series_detail(series_thumbnail));
        test::write_file(data + "/videos/mot-tap-phim.json", film_detail());
        server_ = std::make_unique<test::CatalogServer>(std::vector<std::string>{"--data", data});
        EXPECT_TRUE(server_->running()) << server_->error();
        return server_->base_url();
    }

    int32_t w() const { return int32_t(frame().width()); }
    int32_t h() const { return int32_t(frame().height()); }

    // What every detail frame has: header, footer, background, right panel.
    void expect_frame() {
        const Framebuffer& f = frame();
        EXPECT_TRUE(region_is(f, 0, 0, w(), 10, BAR)) << "header above its title";
        EXPECT_TRUE(region_is(f, 0, 40, w(), 9, BAR)) << "header below its title";
        EXPECT_TRUE(region_is(f, 0, 49, w(), 1, ACCENT)) << "accent line, last row of the header";
        EXPECT_TRUE(text_at(f, "◀ THÔNG TIN PHIM & TẬP PHÁT", 24, 16, WHITE, 18.0f, BAR));
        EXPECT_TRUE(region_is(f, 0, 50, w(), 14, BACKGROUND)) << "under the header";
        EXPECT_TRUE(region_is(f, 0, 64, 22, h() - 108, BACKGROUND)) << "left of the poster";
        EXPECT_TRUE(region_is(f, 226, 50, 22, h() - 94, BACKGROUND)) << "between poster and text";
        EXPECT_TRUE(region_is(f, 688, 50, 24, h() - 94, BACKGROUND)) << "between text and panel";

        // Right panel from (712, 66), W - 736 by H - 110, radius 8. Its right
        // edge is probed above and below rows 206 to 261, where the film
        // panel's hint lines run past the narrow panel at 1024 x 768.
        EXPECT_TRUE(region_is(f, 712, 74, 8, h() - 126, DETAIL_PANEL)) << "panel, left edge";
        for (const auto& [top, bottom] : {std::pair{74, 206}, std::pair{262, h() - 52}}) {
            EXPECT_TRUE(region_is(f, w() - 32, top, 8, bottom - top, DETAIL_PANEL)) << "panel, right edge";
            EXPECT_TRUE(region_is(f, w() - 24, top, 24, bottom - top, BACKGROUND)) << "right of the panel";
        }
        EXPECT_TRUE(region_is(f, 720, 66, w() - 752, 1, DETAIL_PANEL)) << "panel, top row";
        EXPECT_TRUE(region_is(f, 720, h() - 45, w() - 752, 1, DETAIL_PANEL)) << "panel, bottom row";
        EXPECT_TRUE(region_is(f, w() - 24, 50, 24, 16, BACKGROUND)) << "right of the panel, top";

        // Poster frame: 204 x 284, radius 10, at (22, 64).
        EXPECT_TRUE(region_is(f, 32, 64, 184, 2, SELECTION)) << "poster frame, top";
        EXPECT_TRUE(region_is(f, 32, 346, 184, 2, SELECTION)) << "poster frame, bottom";
        EXPECT_TRUE(region_is(f, 22, 74, 2, 264, SELECTION)) << "poster frame, left";
        EXPECT_TRUE(region_is(f, 224, 74, 2, 264, SELECTION)) << "poster frame, right";

        EXPECT_TRUE(region_is(f, 0, h() - 44, w(), 10, BAR)) << "footer above its text";
        EXPECT_TRUE(region_is(f, 0, h() - 8, w(), 8, BAR)) << "footer below its text";
        EXPECT_TRUE(text_at(f, "[A] Bắt đầu phát video   [D-Pad Lên/Xuống] Chọn tập   [B] Quay lại danh mục", 24,
                            h() - 30, WHITE, 14.0f, BAR));
    }

    void expect_no_poster() {
        const Framebuffer& f = frame();
        EXPECT_TRUE(region_is(f, 32, 66, 184, 120, DETAIL_PANEL)) << "placeholder above its text";
        EXPECT_TRUE(region_is(f, 32, 220, 184, 118, DETAIL_PANEL)) << "placeholder below its text";
        EXPECT_TRUE(text_at(f, "NO POSTER", 69, 196, SECONDARY, 16.0f, DETAIL_PANEL));
    }

    // The served poster fills 200 x 280 at (24, 66): it is a vertical
    // gradient, so every drawn row is one of its row colours, all alike.
    void expect_poster(const std::string& path) {
        auto poster = test::decode_png_frame(server_->get(path));
        ASSERT_NE(poster, nullptr) << "the server did not serve " << path;
        std::set<Color> source_rows;
        for (uint32_t y = 0; y < poster->height(); ++y) source_rows.insert(poster->at(0, y));
        const Framebuffer& f = frame();
        std::set<Color> drawn_rows;
        for (uint32_t y = 74; y < 338; ++y) {  // clear of the rounded corners
            const Color c = f.at(24, y);
            ASSERT_TRUE(source_rows.count(c)) << "row " << y << " is " << std::hex << c << ", not a poster colour";
            ASSERT_TRUE(region_is(f, 24, int32_t(y), 200, 1, c)) << "poster row " << y;
            drawn_rows.insert(c);
        }
        EXPECT_GT(drawn_rows.size(), 100u) << "the gradient is not there";
    }

    std::unique_ptr<test::CatalogServer> server_;
};

class DetailSeries : public DetailShot, public ::testing::WithParamInterface<std::tuple<Profile, bool>> {};

TEST_P(DetailSeries, ResumedOnEpisodeElevenWithItsRowFifth) {
    const auto& [profile, served] = GetParam();
    const std::string poster_path = served ? "/posters/muoi-hai-tap.png" : "/missing/muoi-hai-tap.png";
    test::write_file(dir_ / (std::string(APP_DIR) + "/history.json"), SERIES_HISTORY);
    const std::string url = catalog("{BASE}" + poster_path);
    ASSERT_FALSE(HasFailure());
    // Continue-watching comes first; the series is the first card below it.
    ASSERT_NO_FATAL_FAILURE(shot(profile, url, "wait:1500;Down;A;wait:2500"));
    const Framebuffer& f = frame();

    expect_frame();
    if (served) {
        ASSERT_NO_FATAL_FAILURE(expect_poster(poster_path));
    } else {
        expect_no_poster();
    }
    EXPECT_TRUE(text_at(f, SERIES_TITLE, 248, 70, WHITE, 20.0f, BACKGROUND));
    EXPECT_TRUE(text_at(f, "FHD • Vietsub • 45 phút/tập", 248, 100, ACCENT, 14.0f, BACKGROUND));
    EXPECT_TRUE(text_at(f, "Tóm tắt nội dung:", 248, 134, WHITE, 14.0f, BACKGROUND));
    EXPECT_TRUE(text_at(f, "Mười hai tập phim về một chuyến đi.", 248, 158, SECONDARY, 13.0f, BACKGROUND));

    // Resume box: 440 x 42 at (248, 326), radius 8, with a 1-pixel outline.
    EXPECT_TRUE(region_is(f, 248, 326, 440, 1, ACCENT)) << "resume box outline, top";
    EXPECT_TRUE(region_is(f, 248, 367, 440, 1, ACCENT)) << "resume box outline, bottom";
    EXPECT_TRUE(region_is(f, 248, 326, 1, 42, ACCENT)) << "resume box outline, left";
    EXPECT_TRUE(region_is(f, 687, 326, 1, 42, ACCENT)) << "resume box outline, right";
    EXPECT_TRUE(region_is(f, 257, 327, 422, 10, RESUME_FILL)) << "resume box fill";
    EXPECT_TRUE(text_at(f, "▶ ĐÃ XEM TẬP 11: 12:34/45p (Bấm Play để phát tiếp)", 260, 340, HIGHLIGHT, 12.5f,
                        RESUME_FILL));
    EXPECT_TRUE(region_is(f, 248, 368, 440, h() - 412, BACKGROUND)) << "below the resume box";

    // The list: indices 6 to 11, the fifth row (index 10) highlighted.
    EXPECT_TRUE(text_at(f, "DANH SÁCH TẬP (12)", 728, 80, WHITE, 15.0f, DETAIL_PANEL));
    for (int r = 0; r < 6; ++r) {
        const int32_t y = 114 + 32 * r;
        SCOPED_TRACE("row " + std::to_string(r));
        if (r == 4) {
            EXPECT_TRUE(region_is(f, 726, 236, w() - 764, 4, SELECTION)) << "highlight, top";
            EXPECT_TRUE(region_is(f, 720, 242, 6, 16, SELECTION)) << "highlight, left end";
            EXPECT_TRUE(region_is(f, w() - 38, 242, 6, 16, SELECTION)) << "highlight, right end";
            EXPECT_TRUE(region_is(f, w() - 32, 236, 8, 28, DETAIL_PANEL)) << "highlight narrower than the panel";
            // 32 characters with the watched suffix: cut to 28 and "...".
            EXPECT_TRUE(text_at(f, "Tập 11: Chương 11 [Đã xem 12...", 728, y, WHITE, 13.0f, SELECTION));
        } else {
            EXPECT_TRUE(region_is(f, 720, y - 6, w() - 752, 4, DETAIL_PANEL)) << "no highlight";
            const std::string n = std::to_string(7 + r);
            EXPECT_TRUE(text_at(f, "Tập " + n + ": Chương " + n, 728, y, SECONDARY, 13.0f, DETAIL_PANEL));
        }
    }
    EXPECT_TRUE(region_is(f, 712, 300, w() - 736, 96, DETAIL_PANEL)) << "rows after the last episode";
}

INSTANTIATE_TEST_SUITE_P(Cases, DetailSeries, ::testing::Combine(::testing::ValuesIn(test::SCREEN_PROFILES), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "_PosterServed" : "_PosterMissing");
                         });

class DetailFilm : public DetailShot, public ::testing::WithParamInterface<Profile> {};

TEST_P(DetailFilm, OneEpisodeShowsTheFilmPanelAndTheSynopsisWithoutTags) {
    const std::string url = catalog("{BASE}/posters/muoi-hai-tap.png");
    ASSERT_FALSE(HasFailure());
    ASSERT_NO_FATAL_FAILURE(shot(GetParam(), url, "wait:1500;Right;A;wait:2000"));
    const Framebuffer& f = frame();

    expect_frame();
    expect_no_poster();  // the film has no thumbnail
    EXPECT_TRUE(text_at(f, FILM_TITLE, 248, 70, WHITE, 20.0f, BACKGROUND));
    EXPECT_TRUE(text_at(f, "HD", 248, 100, ACCENT, 14.0f, BACKGROUND));
    // The line break only separates words: both sentences on the first line,
    // nothing below it, no tag left.
    EXPECT_TRUE(text_at(f, "Câu mở đầu. Câu thứ hai.", 248, 158, SECONDARY, 13.0f, BACKGROUND));
    EXPECT_TRUE(region_is(f, 248, 178, 440, h() - 222, BACKGROUND)) << "a second synopsis line or a resume box";

    // Film panel. At 1024 x 768 the panel is 288 wide and the two hint lines
    // run past its right edge: they are compared up to that edge.
    EXPECT_TRUE(text_at(f, "BẮT ĐẦU XEM PHIM", 728, 84, WHITE, 16.0f, DETAIL_PANEL));
    EXPECT_TRUE(region_is(f, 740, 127, w() - 792, 8, SELECTION)) << "play button, above its text";
    EXPECT_TRUE(region_is(f, 729, 140, 10, 30, SELECTION)) << "play button, left end";
    EXPECT_TRUE(region_is(f, w() - 51, 140, 10, 30, SELECTION)) << "play button, right end";
    EXPECT_TRUE(region_is(f, w() - 40, 126, 8, 60, DETAIL_PANEL)) << "right of the play button";
    EXPECT_TRUE(text_at(f, "▶  PHÁT PHIM NGAY (FHD)", 740, 148, WHITE, 16.0f, SELECTION));
    const Framebuffer panel = test::crop(f, uint32_t(w() - 24), uint32_t(h()));
    EXPECT_TRUE(text_at(panel, "Bấm [A] để tải & phát video trực tiếp", 728, 211, HIGHLIGHT, 13.0f, DETAIL_PANEL));
    EXPECT_TRUE(text_at(panel, "Hỗ trợ âm thanh nổi & tỉ lệ 16:9 full màn hình", 728, 241, SECONDARY, 12.0f,
                        DETAIL_PANEL));
    EXPECT_TRUE(region_is(f, 712, 270, w() - 736, h() - 340, DETAIL_PANEL)) << "no episode list";
}

INSTANTIATE_TEST_SUITE_P(Profiles, DetailFilm, ::testing::ValuesIn(test::SCREEN_PROFILES),
                         [](const auto& info) { return std::string(info.param.name); });

// ===========================================================================
// Search keyboard: typing, the busy line while the search runs, the shelf.

class KeyboardShot : public ScreensShot, public ::testing::WithParamInterface<Profile> {};

// From row 0, column 0: "M" (row 3, column 6), "A" (2, 0), "T" (1, 4), then
// down onto "G" (2, 4).
const std::string TYPE_MAT =
    "Down;Down;Down;Right;Right;Right;Right;Right;Right;A;"
    "Up;Left;Left;Left;Left;Left;Left;A;"
    "Up;Right;Right;Right;Right;A;Down";

TEST_P(KeyboardShot, TypesSearchesAndShowsTheBusyLineAndTheSearchRow) {
    test::CatalogServer server;
    ASSERT_TRUE(server.running()) << server.error();
    ASSERT_TRUE(server.set_mode("mode=slow&delay=4&path=/api/videos/search"));
    ASSERT_NO_FATAL_FAILURE(shot(GetParam(), server.base_url(),
                                 "wait:800;Select;" + TYPE_MAT + ";shot:typed;Start;Select;shot:busy;B"));
    const int32_t x0 = (int32_t(GetParam().width) - 720) / 2, y0 = (int32_t(GetParam().height) - 420) / 2;
    const auto key_x = [&](int32_t col) { return x0 + 20 + 68 * col; };
    const auto key_y = [&](int32_t row) { return y0 + 134 + 50 * row; };
    const auto label_x = [&](const std::string& label, int32_t col) {
        return key_x(col) + (66 - text_width(label, 14.0f)) / 2;
    };

    {
        SCOPED_TRACE("typed");
        const Framebuffer& f = frame("typed");
        EXPECT_TRUE(region_is(f, 0, 0, int32_t(f.width()), 10, test::dimmed(BAR, 47))) << "dimmed home";
        EXPECT_TRUE(text_at(f, "MAT▌", x0 + 38, y0 + 78, WHITE, 16.0f, KEY_FILL));
        EXPECT_TRUE(region_is(f, x0 + 24, y0 + 112, 672, 22, KEYBOARD_PANEL)) << "busy line before a search";
        // "G" highlighted: accent fill inside a 2-pixel white outline.
        const int32_t gx = key_x(4), gy = key_y(2);
        EXPECT_TRUE(region_is(f, gx, gy, 66, 2, WHITE)) << "outline, top";
        EXPECT_TRUE(region_is(f, gx, gy + 40, 66, 2, WHITE)) << "outline, bottom";
        EXPECT_TRUE(region_is(f, gx, gy, 2, 42, WHITE)) << "outline, left";
        EXPECT_TRUE(region_is(f, gx + 64, gy, 2, 42, WHITE)) << "outline, right";
        EXPECT_TRUE(region_is(f, gx + 6, gy + 2, 54, 8, ACCENT)) << "highlight fill";
        EXPECT_TRUE(text_at(f, "G", label_x("G", 4), gy + 12, WHITE, 14.0f, ACCENT));
        // "T", the key typed last, and "F" beside "G" are plain keys again.
        for (const auto& [label, row, col] : {std::tuple{"T", 1, 4}, std::tuple{"F", 2, 3}}) {
            SCOPED_TRACE(label);
            EXPECT_TRUE(region_is(f, key_x(col) + 6, key_y(row), 54, 10, KEY_FILL));
            EXPECT_TRUE(text_at(f, label, label_x(label, col), key_y(row) + 12, KEY_LABEL, 14.0f, KEY_FILL));
        }
    }
    {
        SCOPED_TRACE("busy");
        const Framebuffer& f = frame("busy");
        EXPECT_TRUE(text_at(f, "MAT▌", x0 + 38, y0 + 78, WHITE, 16.0f, KEY_FILL)) << "the query stays";
        // Descenders reach the first key row, drawn later.
        EXPECT_TRUE(text_at(f, "Đang tìm kiếm phim từ máy chủ...", x0 + 38, y0 + 122, HIGHLIGHT, 14.0f,
                            KEYBOARD_PANEL, y0 + 134));
    }
    {
        SCOPED_TRACE("home");
        const Framebuffer& f = frame();
        const std::string title = "ĐANG TÌM: \"MAT\"...";
        const std::string pill = "HÀNG 1/5 • " + title;
        const int32_t px = (int32_t(f.width()) - text_width(pill, 12.0f) - 24) / 2;
        EXPECT_TRUE(text_at(f, pill, px + 12, 18, WHITE, 12.0f, 0xff281a4e)) << "the search row is focused";
        EXPECT_TRUE(text_at(f, title, 36, 246, WHITE, 15.0f, BACKGROUND, 257));
        EXPECT_TRUE(text_at(f, "(0 phim)", 36 + text_width(title, 15.0f) + 8, 246, SECONDARY, 12.0f,
                            BACKGROUND, 257));
        EXPECT_TRUE(text_at(f, "Đang tải...", 24 + 48, 380, SECONDARY, 13.0f, 0xff191133));
    }
    EXPECT_NE(server.requests_json().find("/api/videos/search?q=MAT\""), std::string::npos) << server.requests_json();
}

INSTANTIATE_TEST_SUITE_P(Profiles, KeyboardShot, ::testing::ValuesIn(test::SCREEN_PROFILES),
                         [](const auto& info) { return std::string(info.param.name); });

// ===========================================================================
// Update panel: an offer, an unreachable server, a check still running.

enum class UpdateServer { Offers, Unreachable, Slow };

struct PanelLine {
    int32_t dy;
    Color color;
    float size;
    std::string text;
};

struct UpdateCase {
    const char* name;
    UpdateServer server;
    const char* script;
    Color band;
    const char* title;
    std::vector<PanelLine> lines;
};
void PrintTo(const UpdateCase& c, std::ostream* os) { *os << c.name; }

// Stands in a line for the server of the manifest URL the run was given.
const std::string SERVER_OF_RUN = "{server}";

const UpdateCase UPDATE_CASES[] = {
    {"Offer",
     UpdateServer::Offers,
     "wait:300;Start;wait:2500",
     0xff6a38b3,
     "PHÁT HIỆN BẢN CẬP NHẬT OTA MỚI",
     {{70, ACCENT, 15.0f, "Phiên bản mới: v1.0.1 • Dung lượng: 12.3 MB"},
      {105, WHITE, 15.0f, "Nhật ký cập nhật:"},
      {130, SECONDARY, 14.0f, "Sửa lỗi phát video."},
      {320, HIGHLIGHT, 15.0f, "Bấm [A] để Cài đặt ngay  •  Bấm [B] để Quay lại"}}},
    {"Unreachable",
     UpdateServer::Unreachable,
     "wait:300;Start;wait:2500",
     0xff991b1b,
     "KHÔNG THỂ KẾT NỐI MÁY CHỦ OTA",
     {{90, ERROR_RED, 14.0f, std::string("Lỗi: ") + UPDATE_ERR_UNREACHABLE},
      {125, SECONDARY, 14.0f, "Vui lòng kiểm tra lại kết nối Wi-Fi trên TrimUI."},
      {320, WHITE, 15.0f, "Bấm [A] hoặc [Y] để Thử lại  •  Bấm [B] để Quay lại"}}},
    {"CheckingWhileTheServerIsSlow",
     UpdateServer::Slow,
     "wait:300;Start;wait:300",
     0xff1e3a8a,
     "KIỂM TRA BẢN CẬP NHẬT OTA",
     {{100, ACCENT, 16.0f, "Đang kết nối máy chủ " + SERVER_OF_RUN + "..."},
      {135, SECONDARY, 14.0f, "Vui lòng giữ kết nối Wi-Fi ổn định."},
      {320, WHITE, 15.0f, "Bấm [B] để Quay lại"}}},
};

class UpdateShot : public ScreensShot, public ::testing::WithParamInterface<std::tuple<Profile, UpdateCase>> {};

TEST_P(UpdateShot, PanelBandTitleAndLines) {
    const auto& [profile, c] = GetParam();
    std::unique_ptr<test::UpdateServer> server;
    std::unique_ptr<test::PortLock> fallback_lock;
    std::string update_url;
    if (c.server == UpdateServer::Unreachable) {
        // A refused primary sends the client to the fixed fall-back port,
        // which must be refused too.
        fallback_lock = std::make_unique<test::PortLock>(test::UPDATE_FALLBACK_PORT);
        if (test::port_accepts(test::UPDATE_FALLBACK_PORT)) {
            GTEST_SKIP() << "another program serves the fall-back port " << test::UPDATE_FALLBACK_PORT;
        }
        update_url = "http://127.0.0.1:" + std::to_string(test::closed_port()) + "/ota/qz-nuvalto.json";
    } else {
        test::write_file(dir_ / "ota/ota/qz-nuvalto.json",
                         R"({"version": "1.0.1", "name": "QZ-Nuvalto 1.0.1", "changelog": "Sửa lỗi phát video.", )"
                         R"("download_url": "http://127.0.0.1:9/qz.zip", "size_mb": 12.34})");
        server = test::UpdateServer::start(dir_ / "ota");
        ASSERT_NE(server, nullptr) << "the update server did not start";
        update_url = server->url(c.server == UpdateServer::Slow ? "/ota/qz-nuvalto.json?delay=6"
                                                                : "/ota/qz-nuvalto.json");
    }
    // A catalog that never answers keeps the home screen behind the panel still.
    test::CatalogServer catalog({"--mode", "hang"});
    ASSERT_TRUE(catalog.running()) << catalog.error();
    ASSERT_NO_FATAL_FAILURE(shot(profile, catalog.base_url(), c.script, update_url));
    const Framebuffer& f = frame();

    const int32_t x0 = (int32_t(profile.width) - 640) / 2, y0 = (int32_t(profile.height) - 360) / 2;
    EXPECT_TRUE(region_is(f, 0, 0, int32_t(profile.width), 10, test::dimmed(BAR, 79))) << "dimmed home";
    EXPECT_TRUE(region_is(f, 0, int32_t(profile.height) - 6, int32_t(profile.width), 6,
                          test::dimmed(BAR, 79)))
        << "dimmed home footer";
    EXPECT_TRUE(region_is(f, x0 + 12, y0 + 2, 616, 8, c.band)) << "band, above the title";
    EXPECT_TRUE(region_is(f, x0 + 12, y0 + 40, 616, 8, c.band)) << "band, below the title";
    EXPECT_TRUE(region_is(f, x0, y0 + 12, 20, 24, c.band)) << "band, left of the title";
    EXPECT_TRUE(region_is(f, x0 + 12, y0 + 48, 616, 14, UPDATE_PANEL)) << "panel under the band";
    EXPECT_TRUE(region_is(f, x0 + 16, y0 + 342, 608, 16, UPDATE_PANEL)) << "panel under the footer line";
    EXPECT_TRUE(text_at(f, c.title, x0 + 24, y0 + 14, WHITE, 18.0f, c.band));
    for (PanelLine line : c.lines) {
        // The panel names the server of the manifest URL in use, not the build's.
        if (const size_t at = line.text.find(SERVER_OF_RUN); at != std::string::npos) {
            line.text.replace(at, SERVER_OF_RUN.size(), url_server_part(update_url));
        }
        EXPECT_TRUE(text_at(f, line.text, x0 + 24, y0 + line.dy, line.color, line.size, UPDATE_PANEL));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, UpdateShot,
                         ::testing::Combine(::testing::ValuesIn(test::SCREEN_PROFILES), ::testing::ValuesIn(UPDATE_CASES)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
                         });

}  // namespace
}  // namespace qz
