// ctest-labels: host
// The playback overlay as qz-shot renders it, read back from the PNG with its
// alpha and probed pixel by pixel at both screen sizes. Texts are compared
// glyph for glyph against the same text drawn alone at the expected place.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "graphics/framebuffer.h"
#include "graphics/png_writer.h"
#include "support/child.h"
#include "support/files.h"
#include "support/temp_dir.h"
#include "support/pixel_probe.h"
#include "support/image_fixtures.h"

// An independent decoder for reading the frames back, alpha included.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>

namespace qz {
namespace {

using test::region_is;
using test::text_at;
using test::text_width;

constexpr Color CLEAR = 0x00000000;
constexpr Color BAND = 0xd0120b24;
constexpr Color ACCENT = 0xffa855f7;
constexpr Color BADGE = 0xff6a38b3;
constexpr Color WHITE = 0xffffffff;
constexpr Color LAVENDER = 0xffc4b5fd;
constexpr Color MESSAGE_BOX = 0xe81a1235;
constexpr Color PAUSE_BOX = 0xee1a1235;
constexpr Color YELLOW = 0xfffbbf24;
constexpr Color FOOTER = 0xe8120b24;
constexpr Color TRACK = 0xff2d1f47;
constexpr Color GREEN = 0xff22c55e;

const std::string TITLE = "Người Phán Xử";
const std::string LABEL = "Tập 12 - Server VIP";
const std::string PAUSE_TEXT = "❚❚ ĐANG TẠM DỪNG";
const std::string HINTS =
    "[A] Phát/Dừng  [◄/►] Tua nhanh (Giữ tăng tốc)  [▲/▼] Âm lượng  [X] Tỉ lệ  [L1/R1] Đổi tập  [B] Trở về";

struct Profile {
    const char* name;
    int32_t w;
    int32_t h;
};
const Profile STANDARD{"Standard", 1280, 720};
const Profile BRICK{"Brick", 1024, 768};
void PrintTo(const Profile& p, std::ostream* os) { *os << p.name; }

// What the overlay shows, as qz-shot's options.
struct Frame {
    int64_t position_ms = 0;
    int64_t duration_ms = 100000;
    bool paused = false;
    std::optional<std::string> message;
    std::string over;  // picture under the overlay
};

Frame at_position(int64_t position_ms, int64_t duration_ms) {
    Frame f;
    f.position_ms = position_ms;
    f.duration_ms = duration_ms;
    return f;
}

// A PNG read back with its own alpha; channels is what the file holds.
std::unique_ptr<Framebuffer> read_rgba_png(const std::string& path, int& channels) {
    int w = 0, h = 0;
    stbi_uc* data = stbi_load(path.c_str(), &w, &h, &channels, 4);
    if (data == nullptr) return nullptr;
    auto fb = std::make_unique<Framebuffer>(Framebuffer::in_memory(uint32_t(w), uint32_t(h)));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const stbi_uc* p = data + (size_t(y) * size_t(w) + size_t(x)) * 4;
            fb->at(uint32_t(x), uint32_t(y)) =
                uint32_t(p[3]) << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
        }
    }
    stbi_image_free(data);
    return fb;
}


class OverlayShot : public ::testing::TestWithParam<Profile> {
protected:
    // Runs qz-shot --overlay and returns its exit status; 0 leaves the frame in fb().
    int run(const Frame& f, std::vector<std::string> extra = {}) {
        const std::string program = std::string(QZ_BINARY_DIR) + "/qz-shot";
        EXPECT_TRUE(test::path_exists(program)) << program << " is missing: build the qz-shot target";
        const Profile& p = GetParam();
        test::ChildOptions options;
        options.program = program;
        options.args = {"--overlay",     "--size",      std::to_string(p.w) + "x" + std::to_string(p.h),
                        "--title",       TITLE,         "--label",
                        LABEL,           "--position-ms", std::to_string(f.position_ms),
                        "--duration-ms", std::to_string(f.duration_ms), "--out",
                        dir_ / "shot.png"};
        if (f.paused) options.args.push_back("--paused");
        if (f.message) options.args.insert(options.args.end(), {"--message", *f.message});
        if (!f.over.empty()) options.args.insert(options.args.end(), {"--over", f.over});
        options.args.insert(options.args.end(), extra.begin(), extra.end());
        options.stderr_file = dir_ / "stderr.txt";
        test::Child child(options);
        const std::optional<int> status = child.wait_exit(std::chrono::seconds(30));
        log_ = child.stderr_text();
        if (!status) return -1;
        if (*status == 0) {
            fb_ = read_rgba_png(dir_ / "shot.png", channels_);
            if (!fb_) return -2;
            std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
            for (char& ch : name) ch = ch == '/' ? '_' : ch;
            test::maybe_write_png(*fb_, "overlay_" + name);
        }
        return *status;
    }

    void shoot(const Frame& f) {
        ASSERT_EQ(run(f), 0) << log_;
        ASSERT_EQ(int32_t(fb_->width()), w());
        ASSERT_EQ(int32_t(fb_->height()), h());
    }

    const Framebuffer& fb() const { return *fb_; }
    int32_t w() const { return GetParam().w; }
    int32_t h() const { return GetParam().h; }
    int32_t box_top() const { return (h() - 56) / 2; }

    // The progress track with its fill and the knob at kx. The fill ends
    // under the knob's middle, so the knob's place tells its length.
    void expect_progress(std::optional<int32_t> kx) {
        const int32_t track_y = h() - 87;
        const int32_t track_end = w() - 35;  // one past the last column
        if (!kx) {
            EXPECT_TRUE(region_is(fb(), 35, track_y, w() - 70, 8, TRACK)) << "bare track";
            EXPECT_TRUE(region_is(fb(), 35, h() - 91, w() - 70, 4, FOOTER)) << "no knob above the track";
            return;
        }
        EXPECT_TRUE(region_is(fb(), 35, track_y, *kx - 35, 8, ACCENT)) << "fill up to the knob";
        EXPECT_TRUE(region_is(fb(), *kx, h() - 91, 8, 16, WHITE)) << "knob";
        EXPECT_TRUE(region_is(fb(), *kx + 8, track_y, track_end - *kx - 8, 8, TRACK)) << "track after the knob";
        EXPECT_TRUE(region_is(fb(), track_end, track_y, 1, 8, FOOTER)) << "nothing past the track";
        EXPECT_TRUE(region_is(fb(), *kx, h() - 92, 8, 1, FOOTER)) << "above the knob";
        EXPECT_TRUE(region_is(fb(), *kx, h() - 75, 8, 1, FOOTER)) << "below the knob";
        EXPECT_TRUE(region_is(fb(), *kx - 1, h() - 91, 1, 4, FOOTER)) << "left of the knob";
        EXPECT_TRUE(region_is(fb(), *kx + 8, h() - 91, 1, 4, FOOTER)) << "right of the knob";
    }

    // A box of width box_w centred at the middle rows: its fill, its outline
    // in colour edge, and transparency just outside it.
    void expect_box(int32_t box_w, Color fill, Color edge, int32_t text_x) {
        const int32_t x0 = (w() - box_w) / 2, top = box_top();
        EXPECT_TRUE(region_is(fb(), x0, top, box_w, 2, edge)) << "top edge";
        EXPECT_TRUE(region_is(fb(), x0, top, 2, 56, edge)) << "left edge";
        EXPECT_TRUE(region_is(fb(), x0 + box_w - 2, top, 2, 56, edge)) << "right edge";
        EXPECT_TRUE(region_is(fb(), x0, top + 54, text_x - x0, 2, edge)) << "bottom edge left of the text";
        EXPECT_TRUE(region_is(fb(), x0 + 2, top + 2, box_w - 4, 30, fill)) << "inside above the text";
        EXPECT_TRUE(region_is(fb(), x0 - 1, top, 1, 56, CLEAR)) << "left of the box";
        EXPECT_TRUE(region_is(fb(), x0 + box_w, top, 1, 56, CLEAR)) << "right of the box";
        EXPECT_TRUE(region_is(fb(), x0, top - 1, box_w, 1, CLEAR)) << "above the box";
        EXPECT_TRUE(region_is(fb(), 0, 75, w(), top - 75, CLEAR)) << "between header and box";
    }

    test::TempDir dir_;
    std::unique_ptr<Framebuffer> fb_;
    int channels_ = 0;
    std::string log_;
};

TEST_P(OverlayShot, PlayingFrameHasHeaderFooterAndClearMiddle) {
    shoot(Frame{});
    const Framebuffer& f = fb();
    EXPECT_EQ(channels_, 4) << "the frame keeps its alpha";

    EXPECT_TRUE(region_is(f, 0, 0, w(), 3, ACCENT)) << "accent line";
    EXPECT_TRUE(region_is(f, 0, 3, 35, 72, BAND)) << "header band left of the badge";
    EXPECT_TRUE(region_is(f, 35, 3, 110, 15, BAND)) << "header band above the badge";
    EXPECT_TRUE(region_is(f, 35, 42, 110, 33, BAND)) << "header band below the badge";
    EXPECT_TRUE(region_is(f, w() - 300, 3, 300, 72, BAND)) << "header band right of the title";
    EXPECT_TRUE(region_is(f, 35, 18, 10, 24, BADGE)) << "badge left of its text";
    EXPECT_TRUE(region_is(f, 35, 18, 110, 5, BADGE)) << "badge above its text";
    EXPECT_TRUE(region_is(f, 145, 18, 10, 24, BAND)) << "right of the badge";
    EXPECT_TRUE(text_at(f, "QZ-NUVALTO", 45, 23, WHITE, 13, BADGE));
    EXPECT_TRUE(text_at(f, TITLE, 155, 22, WHITE, 20, BAND));
    EXPECT_TRUE(text_at(f, LABEL, 155, 48, LAVENDER, 15, BAND));

    // Without a message or a pause there is no box: the video shows through.
    EXPECT_TRUE(region_is(f, 0, 75, w(), h() - 180, CLEAR)) << "between header and footer";

    EXPECT_TRUE(region_is(f, 0, h() - 105, w(), 14, FOOTER)) << "footer above the knob";
    EXPECT_TRUE(region_is(f, 0, h() - 75, w(), 18, FOOTER)) << "footer between track and time";
    EXPECT_TRUE(region_is(f, 0, h() - 87, 35, 8, FOOTER)) << "left of the track";
    EXPECT_TRUE(region_is(f, w() - 35, h() - 87, 35, 8, FOOTER)) << "right of the track";
    EXPECT_TRUE(text_at(f, "00:00 / 01:40", 35, h() - 57, WHITE, 16, FOOTER));
    const std::string state = "[ĐANG PHÁT]";
    EXPECT_TRUE(text_at(f, state, w() - text_width(state, 15) - 35, h() - 57, GREEN, 15, FOOTER));
    EXPECT_TRUE(text_at(f, HINTS, (w() - text_width(HINTS, 14)) / 2, h() - 23, LAVENDER, 14, FOOTER));
    EXPECT_TRUE(region_is(f, 0, h() - 1, 100, 1, FOOTER)) << "the footer reaches the last row";
}

// Fill and knob for a position of a duration. The track is 1210 columns wide
// at 1280 and 954 at 1024; a fill of n columns puts the knob at n + 31, kept
// between 35 and W - 43.
struct ProgressCase {
    const char* name;
    int64_t position_ms, duration_ms;
    std::optional<int32_t> knob_standard, knob_brick;  // nullopt: no fill, no knob
};

const ProgressCase PROGRESS[] = {
    {"start", 0, 100000, 35, 35},                // no fill
    {"third", 33333, 100000, 434, 348},          // 403.33 and 317.99 columns, rounded down
    {"half", 50000, 100000, 636, 508},           // 605 and 477 columns
    {"end", 100000, 100000, 1237, 981},          // the whole track
    {"past_end", 250000, 100000, 1237, 981},     // clamped to the whole track
    {"before_start", -5000, 100000, 35, 35},     // clamped to none
    {"no_duration", 5000, 0, std::nullopt, std::nullopt},
    {"negative_duration", 5000, -100000, std::nullopt, std::nullopt},
};

TEST_P(OverlayShot, ProgressFillAndKnobFollowThePosition) {
    const bool standard = GetParam().w == 1280;
    for (const ProgressCase& c : PROGRESS) {
        SCOPED_TRACE(c.name);
        shoot(at_position(c.position_ms, c.duration_ms));
        if (HasFatalFailure()) return;
        expect_progress(standard ? c.knob_standard : c.knob_brick);
    }
}

TEST_P(OverlayShot, TimesSwitchToHoursFromOneHourOn) {
    struct Case {
        int64_t position_ms, duration_ms;
        const char* text;
    };
    const Case cases[] = {
        {3599999, 3599999, "59:59 / 59:59"},
        {3599999, 3600000, "59:59 / 01:00:00"},
        {4530000, 7322000, "01:15:30 / 02:02:02"},
        {-1500, 0, "00:00 / 00:00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        shoot(at_position(c.position_ms, c.duration_ms));
        if (HasFatalFailure()) return;
        EXPECT_TRUE(text_at(fb(), c.text, 35, h() - 57, WHITE, 16, FOOTER));
    }
}

TEST_P(OverlayShot, MessageBoxIsAtLeast220Wide) {
    for (const std::string message : {"5%", "▶ TUA ĐẾN 01:23:45", "TỈ LỆ: 16:9 CHUẨN (LETTERBOX)"}) {
        SCOPED_TRACE(message);
        Frame frame;
        frame.message = message;
        shoot(frame);
        if (HasFatalFailure()) return;
        const int32_t tw = text_width(message, 22);
        const int32_t box_w = std::max(tw + 56, 220);
        const int32_t x0 = (w() - box_w) / 2, text_x = x0 + (box_w - tw) / 2;
        if (message == "5%") {
            ASSERT_LT(tw, 164) << "the short message must be narrower than the minimum box";
            EXPECT_EQ(box_w, 220);
        }
        expect_box(box_w, MESSAGE_BOX, ACCENT, text_x);
        // The outline's bottom rows and what is below the box may carry glyph parts.
        EXPECT_TRUE(text_at(fb(), message, text_x, box_top() + 36, WHITE, 22, MESSAGE_BOX, box_top() + 54));
        EXPECT_TRUE(text_at(fb(), "[ĐANG PHÁT]", w() - text_width("[ĐANG PHÁT]", 15) - 35, h() - 57, GREEN,
                                15, FOOTER));
    }
}

TEST_P(OverlayShot, PausedFrameShowsThePauseBoxAndLabel) {
    Frame frame;
    frame.paused = true;
    shoot(frame);
    const int32_t box_w = text_width(PAUSE_TEXT, 22) + 56;
    const int32_t x0 = (w() - box_w) / 2;
    expect_box(box_w, PAUSE_BOX, YELLOW, x0 + 28);
    EXPECT_TRUE(text_at(fb(), PAUSE_TEXT, x0 + 28, box_top() + 36, YELLOW, 22, PAUSE_BOX, box_top() + 54));
    const std::string state = "[TẠM DỪNG]";
    EXPECT_TRUE(text_at(fb(), state, w() - text_width(state, 15) - 35, h() - 57, YELLOW, 15, FOOTER));
}

TEST_P(OverlayShot, MessageWinsOverThePauseBoxButTheLabelStaysPaused) {
    Frame frame;
    frame.paused = true;
    frame.message = "ÂM LƯỢNG: 45%";
    shoot(frame);
    const int32_t tw = text_width(*frame.message, 22);
    const int32_t box_w = std::max(tw + 56, 220);
    expect_box(box_w, MESSAGE_BOX, ACCENT, (w() - box_w) / 2 + (box_w - tw) / 2);
    const std::string state = "[TẠM DỪNG]";
    EXPECT_TRUE(text_at(fb(), state, w() - text_width(state, 15) - 35, h() - 57, YELLOW, 15, FOOTER));
}

// Over a picture standing in for the video: clear pixels show it unchanged,
// bands mix over it by their alpha, opaque shapes cover it.
TEST_P(OverlayShot, CompositesOverAPictureScaledToTheScreen) {
    // Quadrants red, green / blue, white at a size other than the screen's.
    const std::string png = dir_ / "video.png";
    test::write_file(png, test::rgba_png(test::quadrants_image(64, 36)));
    Frame frame;
    frame.over = png;
    frame.position_ms = 50000;
    shoot(frame);
    const Color red = 0xffff0000, green = 0xff00ff00, blue = 0xff0000ff, white = 0xffffffff;
    const uint32_t qx = uint32_t(w()) / 4, qy = uint32_t(h()) / 4;
    EXPECT_EQ(fb().at(qx, qy), red);
    EXPECT_EQ(fb().at(3 * qx, qy), green);
    EXPECT_EQ(fb().at(qx, 3 * qy), blue);
    EXPECT_EQ(fb().at(3 * qx, 3 * qy), white);
    EXPECT_EQ(fb().at(uint32_t(w()) - 5, 70), test::blend_over(BAND, green)) << "header band over green";
    EXPECT_EQ(fb().at(5, 70), test::blend_over(BAND, red)) << "header band over red";
    EXPECT_EQ(fb().at(uint32_t(w()) - 5, uint32_t(h()) - 100), test::blend_over(FOOTER, white)) << "footer over white";
    EXPECT_EQ(fb().at(40, 25), BADGE) << "opaque badge";
    EXPECT_EQ(fb().at(0, 0), ACCENT) << "opaque accent line";
}

TEST_P(OverlayShot, CompositesOverAJpeg) {
    if (!test::have_programs({"cjpeg"})) GTEST_SKIP() << "cjpeg (libjpeg-turbo-progs) is not installed";
    const std::string jpeg = test::cjpeg_encode(test::quadrants_image(320, 180), "-quality 95");
    ASSERT_FALSE(jpeg.empty());
    test::write_file(dir_ / "video.jpg", jpeg);
    Frame frame;
    frame.over = dir_ / "video.jpg";
    shoot(frame);
    const test::Rgba want[] = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {255, 255, 255, 255}};
    const uint32_t qx = uint32_t(w()) / 4, qy = uint32_t(h()) / 4;
    const uint32_t xs[] = {qx, 3 * qx, qx, 3 * qx}, ys[] = {qy, qy, 3 * qy, 3 * qy};
    for (int i = 0; i < 4; ++i) {
        const Color c = fb().at(xs[i], ys[i]);
        const test::Rgba got{uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), uint8_t(c >> 24)};
        EXPECT_TRUE(test::rgba_near(got, want[i], 6)) << "quadrant " << i << ": " << test::describe_rgba(got);
    }
}

TEST_P(OverlayShot, RefusesBadArguments) {
    struct Case {
        const char* name;
        std::vector<std::string> extra;
        Frame frame;
        int status;
    };
    Frame missing_picture;
    missing_picture.over = dir_ / "no-such.png";
    Frame not_a_picture;
    not_a_picture.over = dir_ / "notes.txt";
    test::write_file(not_a_picture.over, "not an image");
    const Case cases[] = {
        {"unknown option", {"--volume", "5"}, Frame{}, 2},
        {"option without value", {"--message"}, Frame{}, 2},
        {"missing picture", {}, missing_picture, 1},
        {"not a picture", {}, not_a_picture, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(run(c.frame, c.extra), c.status) << c.name << "\n" << log_;
        EXPECT_FALSE(test::path_exists(dir_ / "shot.png")) << c.name << " wrote a frame";
    }
}

INSTANTIATE_TEST_SUITE_P(Profiles, OverlayShot, ::testing::Values(STANDARD, BRICK),
                         [](const auto& info) { return std::string(info.param.name); });

// The shared options stay the shared parser's: another mode still refuses
// the overlay's options, and the overlay needs its four values.
TEST(OverlayShotArguments, ModesKeepTheirOwnOptions) {
    test::TempDir dir;
    const std::string program = std::string(QZ_BINARY_DIR) + "/qz-shot";
    const std::vector<std::vector<std::string>> refused = {
        {"--specimen", "--title", "x", "--out", dir / "a.png"},
        {"--overlay", "--title", "x", "--label", "y", "--duration-ms", "1", "--out", dir / "a.png"},
        {"--overlay", "--title", "x", "--label", "y", "--position-ms", "12s", "--duration-ms", "1", "--out",
         dir / "a.png"},
    };
    for (const auto& args : refused) {
        test::ChildOptions options;
        options.program = program;
        options.args = args;
        options.stderr_file = dir / "stderr.txt";
        test::Child child(options);
        EXPECT_EQ(child.wait_exit(std::chrono::seconds(30)), 2) << args[1] << "\n" << child.stderr_text();
    }
    EXPECT_FALSE(test::path_exists(dir / "a.png"));
}

}  // namespace
}  // namespace qz
