#include "main/update_screen.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "main/home_screen.h"
#include "support/pixel_probe.h"
#include "support/screen_colors.h"
#include "support/scripted_workers.h"

namespace qz {
namespace {

using test::ScriptedLoop;

using namespace test::screen_colors;

constexpr Color ERROR_TEXT = 0xffef4444;
constexpr Color GOOD_TEXT = 0xff22c55e;
constexpr Color PANEL = 0xff1d1438;
constexpr Color STRIP = 0xff334155;

OtaManifest manifest(float size_mb = 12.34f, std::string changelog = "Sửa lỗi phát video.") {
    OtaManifest m;
    m.version = "1.2.0";
    m.name = "Bản 1.2";
    m.changelog = std::move(changelog);
    m.download_url = "http://updates.example/qz-1.2.0.zip";
    m.size_mb = size_mb;
    return m;
}

TEST(UpdateTexts, ServerPartOfUrl) {
    const std::pair<const char*, const char*> cases[] = {
        {"https://update.example.org/ota/qz-nuvalto.json", "https://update.example.org"},
        {"http://127.0.0.1:4549/ota/qz-nuvalto.json", "http://127.0.0.1:4549"},
        {"http://host.example", "http://host.example"},
        {"http://host.example/", "http://host.example"},
        {"host.example/ota/x.json", "host.example"},
    };
    for (const auto& [url, server] : cases) EXPECT_EQ(url_server_part(url), server) << url;
}

TEST(UpdateTexts, OfferLineShowsOneDecimal) {
    const std::pair<float, const char*> cases[] = {
        {12.34f, "12.3"}, {0.0f, "0.0"}, {150.0f, "150.0"}, {0.96f, "1.0"}, {7.25f, "7.2"},
    };
    for (const auto& [size, text] : cases) {
        EXPECT_EQ(update_offer_line(manifest(size)),
                  std::string("Phiên bản mới: v1.2.0 • Dung lượng: ") + text + " MB");
    }
}

// ------------------------------------------------------------ keys

enum class Kind { UpToDate, Checking, Available, Downloading, Failed };

Kind kind_of(const UpdateState& s) { return static_cast<Kind>(s.index()); }

UpdateState make_state(Kind k) {
    switch (k) {
        case Kind::UpToDate:
            return UpdateUpToDate{};
        case Kind::Checking:
            return UpdateChecking{};
        case Kind::Available:
            return UpdateAvailable{manifest()};
        case Kind::Downloading:
            return UpdateDownloading{};
        case Kind::Failed:
            return UpdateFailed{"Failed to download update package"};
    }
    return UpdateUpToDate{};
}

struct KeyCase {
    const char* name;
    Kind before;
    bool pending;
    Button button;
    Kind after;
    std::vector<std::string> calls;
    Screen screen = Screen::Update;
};

void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.name; }

const std::string CHECK = "start_update_check";
const std::string INSTALL = "install http://updates.example/qz-1.2.0.zip";

class UpdateKeys : public testing::TestWithParam<KeyCase> {};

TEST_P(UpdateKeys, Act) {
    const KeyCase& c = GetParam();
    ScriptedLoop loop;
    loop.state.screen = Screen::Update;
    loop.state.update.state = make_state(c.before);
    if (c.pending) loop.state.update.pending_manifest = manifest();
    LoopContext ctx = loop.ctx();
    handle_update_key(ctx, c.button);
    EXPECT_EQ(kind_of(loop.state.update.state), c.after);
    EXPECT_EQ(loop.workers.calls, c.calls);
    EXPECT_EQ(loop.state.screen, c.screen);
    // No key on this panel forgets a found version.
    EXPECT_EQ(loop.state.update.pending_manifest.has_value(), c.pending);
}

using K = Kind;
using Bt = Button;

INSTANTIATE_TEST_SUITE_P(
    Table, UpdateKeys,
    testing::Values(
        KeyCase{"a_rechecks_when_current", K::UpToDate, false, Bt::A, K::Checking, {CHECK}},
        KeyCase{"a_retries_failed_check", K::Failed, false, Bt::A, K::Checking, {CHECK}},
        KeyCase{"y_retries_failed_check", K::Failed, false, Bt::Y, K::Checking, {CHECK}},
        KeyCase{"y_nothing_when_current", K::UpToDate, false, Bt::Y, K::UpToDate, {}},
        KeyCase{"y_nothing_while_checking", K::Checking, false, Bt::Y, K::Checking, {}},
        KeyCase{"a_installs_offer", K::Available, true, Bt::A, K::Downloading, {INSTALL}},
        KeyCase{"a_retries_failed_install", K::Failed, true, Bt::A, K::Downloading, {INSTALL}},
        KeyCase{"y_retries_failed_install", K::Failed, true, Bt::Y, K::Downloading, {INSTALL}},
        KeyCase{"y_nothing_on_offer", K::Available, true, Bt::Y, K::Available, {}},
        KeyCase{"a_ignored_while_installing", K::Downloading, true, Bt::A, K::Downloading, {}},
        KeyCase{"start_ignored_while_installing", K::Downloading, true, Bt::Start, K::Downloading, {}},
        KeyCase{"start_rechecks_keeping_offer", K::Available, true, Bt::Start, K::Checking, {CHECK}},
        KeyCase{"start_retries_failed_check", K::Failed, false, Bt::Start, K::Checking, {CHECK}},
        KeyCase{"b_leaves_offer_as_is", K::Available, true, Bt::B, K::Available, {}, Screen::Home},
        KeyCase{"b_leaves_install_running", K::Downloading, true, Bt::B, K::Downloading, {}, Screen::Home},
        KeyCase{"b_leaves_failure", K::Failed, false, Bt::B, K::Failed, {}, Screen::Home},
        KeyCase{"x_nothing", K::Failed, false, Bt::X, K::Failed, {}},
        KeyCase{"select_nothing", K::Available, true, Bt::Select, K::Available, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UpdateKeysRun, InstallerRefusedStillShowsTheRunningOne) {
    ScriptedLoop loop;
    loop.workers.install_accepted = false;  // an installer is already at work
    loop.state.screen = Screen::Update;
    loop.state.update.pending_manifest = manifest();
    loop.state.update.state = UpdateAvailable{manifest()};
    LoopContext ctx = loop.ctx();
    handle_update_key(ctx, Button::A);
    handle_update_key(ctx, Button::A);
    EXPECT_TRUE(std::holds_alternative<UpdateDownloading>(loop.state.update.state));
    EXPECT_EQ(loop.workers.calls, std::vector<std::string>{INSTALL});
}

// ------------------------------------------------------------ drawing

struct Line {
    int32_t dy;
    Color color;
    float size;
    std::string text;
};

struct PanelCase {
    const char* name;
    Kind state;
    bool pending;
    Color band;
    std::string title;
    std::vector<Line> lines;  // each at x0 + 24 over the panel fill
};

void PrintTo(const PanelCase& c, std::ostream* os) { *os << c.name; }

const std::string OFFER_LINE = "Phiên bản mới: v1.2.0 • Dung lượng: 12.3 MB";

// Made-up values, so a panel that shows the build's own instead fails.
const std::string MANIFEST_URL = "http://ota.example.test:8080/ota/qz-nuvalto.json";
const std::string APP_VERSION_SHOWN = "9.8.7";

std::vector<PanelCase> panel_cases() {
    const std::string server = "http://ota.example.test:8080";
    const std::vector<Line> offer_head = {{70, ACCENT, 15.0f, OFFER_LINE},
                                          {105, WHITE, 15.0f, "Nhật ký cập nhật:"},
                                          {130, SECONDARY, 14.0f, "Sửa lỗi phát video."}};
    auto offer = [&](std::vector<Line> more) {
        std::vector<Line> lines = offer_head;
        lines.insert(lines.end(), more.begin(), more.end());
        return lines;
    };
    return {
        {"checking",
         Kind::Checking,
         false,
         UPDATE_BAND_CHECKING,
         "KIỂM TRA BẢN CẬP NHẬT OTA",
         {{100, ACCENT, 16.0f, "Đang kết nối máy chủ " + server + "..."},
          {135, SECONDARY, 14.0f, "Vui lòng giữ kết nối Wi-Fi ổn định."},
          {320, WHITE, 15.0f, "Bấm [B] để Quay lại"}}},
        {"failed",
         Kind::Failed,
         false,
         UPDATE_BAND_FAILED,
         "KHÔNG THỂ KẾT NỐI MÁY CHỦ OTA",
         {{90, ERROR_TEXT, 14.0f, "Lỗi: Failed to download update package"},
          {125, SECONDARY, 14.0f, "Vui lòng kiểm tra lại kết nối Wi-Fi trên TrimUI."},
          {320, WHITE, 15.0f, "Bấm [A] hoặc [Y] để Thử lại  •  Bấm [B] để Quay lại"}}},
        {"up_to_date",
         Kind::UpToDate,
         false,
         UPDATE_BAND_CURRENT,
         "✅ ỨNG DỤNG ĐÃ Ở PHIÊN BẢN MỚI NHẤT",
         {{80, GOOD_TEXT, 16.0f, "Bạn đang chạy QZ-Nuvalto phiên bản v" + APP_VERSION_SHOWN + " tối ưu nhất."},
          {115, SECONDARY, 13.5f, "Máy chủ phân phối OTA: " + MANIFEST_URL},
          {150, WHITE, 13.5f, "Toàn bộ tính năng xem Phim Lẻ, Phim Bộ & Anime đã sẵn sàng."},
          {320, ACCENT, 15.0f, "Bấm [A] hoặc [START] để Kiểm tra lại  •  Bấm [B] để Quay lại"}}},
        {"offer", Kind::Available, true, UPDATE_BAND_OFFER, "PHÁT HIỆN BẢN CẬP NHẬT OTA MỚI",
         offer({{320, HIGHLIGHT, 15.0f, "Bấm [A] để Cài đặt ngay  •  Bấm [B] để Quay lại"}})},
        // A new check keeps the offer and its install hint on screen.
        {"offer_while_rechecking", Kind::Checking, true, UPDATE_BAND_OFFER, "PHÁT HIỆN BẢN CẬP NHẬT OTA MỚI",
         offer({{320, HIGHLIGHT, 15.0f, "Bấm [A] để Cài đặt ngay  •  Bấm [B] để Quay lại"}})},
        {"offer_failed", Kind::Failed, true, UPDATE_BAND_OFFER, "PHÁT HIỆN BẢN CẬP NHẬT OTA MỚI",
         offer({{280, ERROR_TEXT, 14.0f, "Lỗi: Failed to download update package"},
                {320, WHITE, 15.0f, "[B] Bỏ qua   [Y] Thử lại"}})},
        {"offer_downloading", Kind::Downloading, true, UPDATE_BAND_OFFER, "PHÁT HIỆN BẢN CẬP NHẬT OTA MỚI", offer({})},
    };
}

struct Size {
    uint32_t w, h;
};

void PrintTo(const Size& s, std::ostream* os) { *os << s.w << "x" << s.h; }

std::string size_name(const Size& s) { return std::to_string(s.w) + "x" + std::to_string(s.h); }

Framebuffer render(const Size& size, const AppState& state, bool overlay = true) {
    Framebuffer fb = Framebuffer::in_memory(size.w, size.h);
    TextRenderer text(fb);
    NoPosters posters;
    draw_home(state, posters, text);
    if (overlay) draw_update_overlay(state, text);
    return fb;
}

AppState panel_state(Kind k, bool pending, OtaManifest m = manifest()) {
    AppState s;
    build_initial_shelves(s, {});
    s.screen = Screen::Update;
    s.update.manifest_url = MANIFEST_URL;
    s.update.app_version = APP_VERSION_SHOWN;
    s.update.state = make_state(k);
    if (pending) s.update.pending_manifest = std::move(m);
    return s;
}

class UpdatePanels : public testing::TestWithParam<std::tuple<PanelCase, Size>> {};

TEST_P(UpdatePanels, BandTitleAndLines) {
    const auto& [c, size] = GetParam();
    const AppState s = panel_state(c.state, c.pending);
    const Framebuffer fb = render(size, s);
    const int32_t x0 = (int32_t(size.w) - 640) / 2;
    const int32_t y0 = (int32_t(size.h) - 360) / 2;
    EXPECT_TRUE(test::region_is(fb, x0 + 520, y0 + 4, 100, 40, c.band));
    EXPECT_TRUE(test::text_at(fb, c.title, x0 + 24, y0 + 14, WHITE, 18.0f, c.band));
    EXPECT_TRUE(test::region_is(fb, x0 + 2, y0 + 60, 18, 220, PANEL));
    for (const Line& line : c.lines) {
        EXPECT_TRUE(test::text_at(fb, line.text, x0 + 24, y0 + line.dy, line.color, line.size, PANEL))
            << "line at y0 + " << line.dy;
    }
    // Outside the panel: the home screen dimmed to 79/255.
    const Framebuffer home = render(size, s, false);
    for (const auto& [x, y] : {std::pair{5u, 5u}, std::pair{size.w - 3, size.h / 2}, std::pair{size.w / 2, 60u},
                               std::pair{30u, size.h - 20}}) {
        const Color h = home.at(x, y);
        const Color want = 0xff000000u | ((((h >> 16) & 0xff) * 79 / 255) << 16) |
                           ((((h >> 8) & 0xff) * 79 / 255) << 8) | ((h & 0xff) * 79 / 255);
        EXPECT_EQ(fb.at(x, y), want) << "(" << x << ", " << y << ")";
    }
    test::maybe_write_png(fb, std::string("update_") + c.name + "_" + size_name(size));
}

INSTANTIATE_TEST_SUITE_P(All, UpdatePanels,
                         testing::Combine(testing::ValuesIn(panel_cases()),
                                          testing::Values(Size{1280, 720}, Size{1024, 768})),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    size_name(std::get<1>(info.param));
                         });

class UpdateStatusArea : public testing::TestWithParam<Size> {};

TEST_P(UpdateStatusArea, DownloadingStripSpansTheFullWidth) {
    const Size size = GetParam();
    const Framebuffer fb = render(size, panel_state(Kind::Downloading, true));
    const int32_t x0 = (int32_t(size.w) - 640) / 2;
    const int32_t y0 = (int32_t(size.h) - 360) / 2;
    EXPECT_TRUE(test::region_is(fb, x0 + 24, y0 + 306, 12, 24, STRIP));
    EXPECT_TRUE(test::region_is(fb, x0 + 600, y0 + 306, 14, 24, STRIP));
    EXPECT_TRUE(test::text_at(fb, "Đang tải xuống bản cập nhật... Vui lòng không tắt máy", x0 + 40, y0 + 312,
                              ACCENT, 14.0f, STRIP));
    // The install hint is gone while the installer runs.
    EXPECT_TRUE(test::region_is(fb, x0 + 2, y0 + 300, 20, 40, PANEL));
}

TEST_P(UpdateStatusArea, LongChangelogStopsAfterFiveLines) {
    const Size size = GetParam();
    std::string changelog;
    for (int i = 1; i <= 40; ++i) changelog += "Cải thiện tốc độ tải danh mục phim số " + std::to_string(i) + ". ";
    const Framebuffer fb = render(size, panel_state(Kind::Available, true, manifest(12.34f, changelog)));
    const int32_t x0 = (int32_t(size.w) - 640) / 2;
    const int32_t y0 = (int32_t(size.h) - 360) / 2;
    // The same paragraph drawn alone with the five-line cap, over the panel fill.
    Framebuffer ref = Framebuffer::in_memory(size.w, size.h);
    ref.clear(PANEL);
    TextRenderer(ref).draw_wrapped(changelog, x0 + 24, y0 + 130, 592, 5, 14.0f);
    for (int32_t y = y0 + 127; y < y0 + 280; ++y) {
        for (int32_t x = x0 + 16; x < x0 + 632; ++x) {
            ASSERT_EQ(fb.at(uint32_t(x), uint32_t(y)), ref.at(uint32_t(x), uint32_t(y))) << "(" << x << ", " << y << ")";
        }
    }
    EXPECT_TRUE(test::region_has_other(fb, x0 + 24, y0 + 130 + 4 * 22, 592, 18, PANEL));  // fifth line
    EXPECT_TRUE(test::region_is(fb, x0 + 16, y0 + 130 + 5 * 22, 616, 40, PANEL));       // no sixth
    EXPECT_TRUE(test::text_at(fb, OFFER_LINE, x0 + 24, y0 + 70, ACCENT, 15.0f, PANEL));
    test::maybe_write_png(fb, "update_long_changelog_" + size_name(size));
}

INSTANTIATE_TEST_SUITE_P(Profiles, UpdateStatusArea, testing::Values(Size{1280, 720}, Size{1024, 768}),
                         [](const auto& info) { return size_name(info.param); });

}  // namespace
}  // namespace qz
