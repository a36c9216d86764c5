// The specimen sheet: every screen as its own renderer draws it over fixture
// states, and each drawing primitive, laid out in blocks.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/device_profile.h"
#include "graphics/draw.h"
#include "graphics/framebuffer.h"
#include "graphics/palette.h"
#include "graphics/text_renderer.h"
#include "graphics/widgets.h"
#include "main/app_config.h"
#include "main/app_state.h"
#include "main/main_loop.h"
#include "main/poster_lookup.h"
#include "player/overlay.h"
#include "shot.h"

namespace qz::shot {
namespace {

// ---- specimen sheet ---------------------------------------------------------

constexpr Color GREY = SECONDARY, DIM = PLACEHOLDER_TEXT;

// A poster-shaped test picture: a colour ramp, stripes, a ring with a fully
// transparent hole, a half-transparent bottom band and marked edges, so that
// scaling, cropping and the alpha rules all show.
RgbaBitmap test_image(uint32_t w, uint32_t h) {
    RgbaBitmap img{w, h, std::vector<uint8_t>(size_t(w) * h * 4)};
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t* p = &img.pixels[(size_t(y) * w + x) * 4];
            const uint32_t t = y * 255 / (h - 1);
            uint32_t r = (0x6a * (255 - t) + 0xfb * t) / 255, g = (0x38 * (255 - t) + 0xbf * t) / 255,
                     b = (0xb3 * (255 - t) + 0x24 * t) / 255;
            if ((x + y) / 12 % 2 == 0) r = (r + 255) / 2;
            const int64_t dx = int64_t(x) - w / 2, dy = int64_t(y) - h * 2 / 5, d2 = dx * dx + dy * dy;
            const int64_t ring = int64_t(w) / 4;
            if (d2 < ring * ring) r = g = b = 0xf0;
            uint32_t a = y >= h * 5 / 6 ? 128 : 255;
            if (d2 < ring * ring / 4) a = 0;
            if (x < 4 || x >= w - 4) r = 0xff, g = b = 0x20;
            if (y < 4 || y >= h - 4) g = 0xff, r = b = 0x20;
            p[0] = uint8_t(r), p[1] = uint8_t(g), p[2] = uint8_t(b), p[3] = uint8_t(a);
        }
    }
    return img;
}

using DrawFn = std::function<void(int32_t x, int32_t y)>;

struct Block {
    int32_t w = 0, h = 0;
    DrawFn draw;
    bool line_break = false;  // starts a new row
};

// Lays blocks out left to right, wrapping at the right margin, then draws
// them. Texts are the screens' own, at their own sizes and colours.
class Sheet {
public:
    explicit Sheet(Framebuffer& fb) : fb_(fb), tr_(fb) {}

    TextRenderer& text() { return tr_; }
    Framebuffer& fb() { return fb_; }
    int32_t inner_width() const { return int32_t(fb_.width()) - 2 * MARGIN; }

    void add(int32_t w, int32_t h, DrawFn draw, bool line_break = false) {
        blocks_.push_back({w, h, std::move(draw), line_break});
    }
    void section(std::string title) {
        add(inner_width(), 30, [this, title](int32_t x, int32_t y) {
            fill_rect(fb_, x, y + 26, inner_width(), 1, DIM);
            tr_.draw_text(title, x, y + 6, ACCENT, 16);
        }, true);
    }
    // One line; the block leaves room for stacked marks above the em box and
    // descenders below it.
    void line(std::string text, float size, Color color) {
        const int32_t pad = int32_t(size * 0.3f);
        add(tr_.text_width(text, size), int32_t(size) + 2 * pad, [this, text, size, color, pad](int32_t x, int32_t y) {
            tr_.draw_text(text, x, y + pad, color, size);
        });
    }
    // Returns the height the content needed.
    int32_t draw() {
        int32_t x = MARGIN, y = MARGIN, row_h = 0;
        for (const Block& b : blocks_) {
            if (b.line_break || (x > MARGIN && x + b.w > MARGIN + inner_width())) {
                x = MARGIN;
                y += row_h + GAP_Y;
                row_h = 0;
            }
            b.draw(x, y);
            x += b.w + GAP_X;
            row_h = std::max(row_h, b.h);
        }
        return y + row_h + MARGIN;
    }

    static constexpr int32_t MARGIN = 24, GAP_X = 28, GAP_Y = 10;

private:
    Framebuffer& fb_;
    TextRenderer tr_;
    std::vector<Block> blocks_;
};

// ---- the screens, drawn by their own renderers over fixture states ----------

// Every poster URL shows the test picture; an empty URL has none.
class FixturePosters final : public PosterLookup {
public:
    explicit FixturePosters(const RgbaBitmap& image) : image_(std::make_shared<RgbaBitmap>(image)) {}
    std::shared_ptr<const RgbaBitmap> get(const std::string& url) override { return url.empty() ? nullptr : image_; }

private:
    std::shared_ptr<const RgbaBitmap> image_;
};

MediaItem fixture_title(const std::string& id, const std::string& title, const char* year, const char* quality,
                        const char* time) {
    MediaItem m;
    m.id = id;
    m.title = title;
    m.slug = id;
    m.thumbnail = "http://posters.invalid/" + id + ".jpg";
    m.year = RawJson{year};
    m.quality = quality;
    m.time = time;
    m.lang = "Vietsub + Thuyết minh";
    return m;
}

HistoryItem fixture_record(uint32_t episode, int64_t position, int64_t duration) {
    return HistoryItem{"tham-tu-conan",
                       "Thám Tử Lừng Danh Conan: Tàu Ngầm Sắt Màu Đen",
                       "http://posters.invalid/conan.jpg",
                       "Vietsub #1",
                       episode,
                       "Vụ án trên chuyến tàu tốc hành",
                       "http://stream.invalid/conan/12.m3u8",
                       position,
                       duration,
                       1700000000};
}

// Home with a continue-watching row, full shelves, a loading one and one
// without posters, the focus on the second card of the second row.
AppState home_state(const AppConfig& config) {
    AppState state;
    state.update.manifest_url = config.update_manifest_url;
    state.update.app_version = config.app_version;
    build_initial_shelves(state, {fixture_record(12, 125, 1440), fixture_record(3, 45, 0)});
    const char* titles[] = {
        "Thám Tử Lừng Danh Conan", "Mắt Biếc", "Người Nhện: Không Còn Nhà", "Doraemon: Nobita và Vùng Đất Lý Tưởng",
        "Hành Tinh Cát",           "Lật Mặt 7"};
    for (size_t s = 1; s + 1 < state.home.shelves.size(); ++s) {
        std::vector<ShelfEntry> entries;
        for (size_t i = 0; i < 8; ++i) {
            MediaItem m = fixture_title("t" + std::to_string(s) + std::to_string(i), titles[i % 6],
                                        i % 2 ? "\"2023\"" : "2024", i % 3 ? "FHD" : "HD", "24 phút/tập");
            if (s == 3) m.thumbnail.reset();
            entries.push_back(std::move(m));
        }
        state.home.shelves[s].entries = std::move(entries);
        state.home.shelves[s].loading = false;
    }
    state.home.selected_shelf = 1;
    state.home.selected_entry[1] = 1;
    return state;
}

MediaDetail fixture_detail(size_t episodes) {
    MediaDetail d;
    d.id = "tham-tu-conan";
    d.title = "Thám Tử Lừng Danh Conan: Tàu Ngầm Sắt Màu Đen";
    d.slug = d.id;
    d.thumbnail = "http://posters.invalid/conan.jpg";
    d.description =
        "<p>Cơ sở công nghệ mới của Interpol nằm giữa biển Hachijojima.</p><p>Các kỹ sư từ khắp thế "
        "giới tụ họp để vận hành hệ thống camera an ninh kết nối toàn cầu.<br>Conan và nhóm thám tử "
        "nhí được mời tham quan thì một nhân viên bị bắt cóc.</p>";
    d.year = RawJson{"2024"};
    d.quality = "FHD";
    d.time = "110 phút";
    d.lang = "Vietsub";
    d.episodes.emplace();
    for (size_t i = 0; i < episodes; ++i) {
        EpisodeItem e;
        e.title = i == 3 ? "Cuộc gọi lúc nửa đêm" : "Tập " + std::to_string(i + 1);
        e.url = "http://stream.invalid/conan/" + std::to_string(i + 1) + ".m3u8";
        e.server_name = "Vietsub #1";
        e.number = static_cast<uint32_t>(i + 1);
        d.episodes->push_back(std::move(e));
    }
    return d;
}

struct ScreenFixture {
    const char* caption;
    AppState state;
};

std::vector<ScreenFixture> screen_fixtures(const AppConfig& config) {
    std::vector<ScreenFixture> out;
    const AppState home = home_state(config);
    out.push_back({"Trang chủ", home});

    AppState series = home;
    series.screen = Screen::Detail;
    series.detail.media = fixture_detail(12);
    series.detail.history = fixture_record(11, 125, 1440);
    series.detail.episode_index = 10;
    series.detail.episode_top = 6;
    out.push_back({"Chi tiết phim bộ (đã xem tập 11)", series});

    AppState film = home;
    film.screen = Screen::Detail;
    film.detail.media = fixture_detail(1);
    film.detail.media->thumbnail.reset();
    out.push_back({"Chi tiết phim lẻ, không có ảnh", film});

    AppState search = home;
    search.screen = Screen::Search;
    search.search.query = "thám tử conan";
    search.search.busy = true;
    search.search.key_row = 3;
    search.search.key_col = 8;
    out.push_back({"Tìm kiếm", search});

    const OtaManifest manifest{"1.1.0",
                               "QZ-Nuvalto 1.1.0",
                               "Thêm kệ phim hoạt hình mới, tải ảnh bìa nhanh hơn trên mạng chậm, sửa lỗi phụ đề "
                               "bị lệch khi tua và nhiều sửa lỗi nhỏ khác.",
                               "http://update.invalid/qz-nuvalto-1.1.0.zip",
                               "",
                               12.3f};
    const std::pair<const char*, UpdateState> panels[] = {
        {"Cập nhật: đang kiểm tra", UpdateChecking{}},
        {"Cập nhật: lỗi", UpdateFailed{"curl: (7) Failed to connect to update server"}},
        {"Cập nhật: đã mới nhất", UpdateUpToDate{}},
        {"Cập nhật: có bản mới", UpdateAvailable{manifest}},
        {"Cập nhật: đang tải", UpdateDownloading{}},
    };
    for (const auto& [caption, panel] : panels) {
        AppState update = home;
        update.screen = Screen::Update;
        update.update.state = panel;
        if (!std::holds_alternative<UpdateChecking>(panel) && !std::holds_alternative<UpdateUpToDate>(panel)) {
            update.update.pending_manifest = manifest;
        }
        out.push_back({caption, update});
    }
    return out;
}

// A frame as an image, so the sheet can show it scaled down.
RgbaBitmap snapshot(const Framebuffer& fb) {
    RgbaBitmap img{fb.width(), fb.height(), std::vector<uint8_t>(size_t(fb.width()) * fb.height() * 4)};
    for (uint32_t y = 0; y < fb.height(); ++y) {
        for (uint32_t x = 0; x < fb.width(); ++x) {
            const Color c = fb.at(x, y);
            uint8_t* p = &img.pixels[(size_t(y) * fb.width() + x) * 4];
            p[0] = uint8_t(c >> 16), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c), p[3] = 0xff;
        }
    }
    return img;
}

// The playback overlay as it shows over a video: drawn with its alpha, then
// laid over the test picture stretched to the screen.
RgbaBitmap overlay_over_picture(ScreenSize screen, const RgbaBitmap& picture, const OverlayView& view) {
    Framebuffer overlay = Framebuffer::in_memory(screen.width, screen.height);
    TextRenderer text(overlay);
    draw_playback_overlay(overlay, text, view);
    Framebuffer video = Framebuffer::in_memory(screen.width, screen.height);
    draw_image_cover(video, picture, 0, 0, screen.width, screen.height);
    for (uint32_t y = 0; y < screen.height; ++y) {
        for (uint32_t x = 0; x < screen.width; ++x) {
            const Color o = overlay.at(x, y);
            video.at(x, y) = mix(video.at(x, y), o | 0xff000000u, uint8_t(o >> 24));
        }
    }
    return snapshot(video);
}

void add_tile(Sheet& s, std::shared_ptr<RgbaBitmap> image, const std::string& caption, int32_t tile_w,
              int32_t tile_h, bool line_break) {
    s.add(tile_w, tile_h + 24, [&s, image, caption, tile_w, tile_h](int32_t x, int32_t y) {
        draw_image_cover(s.fb(), *image, x, y, uint32_t(tile_w), uint32_t(tile_h));
        draw_rect(s.fb(), x - 1, y - 1, tile_w + 2, tile_h + 2, 1, DIM);
        s.text().draw_text(caption, x, y + tile_h + 6, GREY, 13);
    }, line_break);
}

// Each screen at the profile's size, three to a row, with its caption, then
// the playback overlay over a video.
void screens(Sheet& s, ScreenSize screen, const RgbaBitmap& poster, const AppConfig& config) {
    FixturePosters posters(poster);
    const int32_t tile_w = (s.inner_width() - 2 * Sheet::GAP_X) / 3;
    const int32_t tile_h = int32_t(int64_t(tile_w) * screen.height / screen.width);
    bool first = true;
    for (ScreenFixture& f : screen_fixtures(config)) {
        Framebuffer frame = Framebuffer::in_memory(screen.width, screen.height);
        TextRenderer text(frame);
        draw_app_screen(f.state, posters, text);
        add_tile(s, std::make_shared<RgbaBitmap>(snapshot(frame)), f.caption, tile_w, tile_h, first);
        first = false;
    }
    const std::pair<const char*, OverlayView> overlays[] = {
        {"Đang phát, chỉnh âm lượng",
         {"Thám Tử Lừng Danh Conan", "Tập 12 [Vietsub #1]", 754000, 1440000, false, "ÂM LƯỢNG: 60%"}},
        {"Tạm dừng", {"Thám Tử Lừng Danh Conan", "Tập 12 [Vietsub #1]", 754000, 1440000, true, std::nullopt}},
        {"Tua nhanh (xem trước)",
         {"Thám Tử Lừng Danh Conan", "Tập 12 [Vietsub #1]", 4399000, 5400000, false, "▶▶ +45s (01:13:19) • 4x"}},
    };
    first = true;
    for (const auto& [caption, view] : overlays) {
        add_tile(s, std::make_shared<RgbaBitmap>(overlay_over_picture(screen, poster, view)), caption, tile_w, tile_h,
                 first);
        first = false;
    }
}

void shapes(Sheet& s) {
    const Color fills[] = {0xff160f2c, 0xff231742, 0xff2a1c50, 0xff1d1438, 0xff4a3482, 0xff334155, 0xff16a34a};
    const int32_t radii[] = {0, 2, 4, 6, 8, 12, 16};
    for (size_t i = 0; i < 7; ++i) {
        const int32_t r = radii[i];
        const Color c = fills[i];
        s.add(96, 64, [&s, r, c](int32_t x, int32_t y) {
            fill_rounded_rect(s.fb(), x, y, 96, 64, r, c);
            s.text().draw_text("r " + std::to_string(r), x + 8, y + 8, GREY, 11);
        }, i == 0);
    }
    for (int32_t t = 1; t <= 3; ++t) {
        s.add(96, 64, [&s, t](int32_t x, int32_t y) {
            draw_rect(s.fb(), x, y, 96, 64, t, t == 1 ? WHITE : ACCENT);
            s.text().draw_text("viền " + std::to_string(t), x + 10, y + 24, GREY, 11);
        });
    }
    const Color palette[] = {WHITE,      ACCENT,     SECONDARY,  HIGHLIGHT,        HEADER_FILL,       ERROR_TEXT,
                             GOOD_TEXT,  0xffc4b5fd, 0xffcbd5e1, PLACEHOLDER_TEXT, SCREEN_BACKGROUND, 0xff0f0f0f,
                             BAR_FILL,   0xff231742, CHIP_FILL,  PANEL_FILL,       0xff150e2a,        0xff191133,
                             0xff241544, 0xff2f2154, 0xff4a3482, 0xff334155,       0xff16a34a};
    s.add(int32_t(std::size(palette)) * 30, 30, [&s, palette](int32_t x, int32_t y) {
        for (size_t i = 0; i < std::size(palette); ++i) {
            fill_rect(s.fb(), x + int32_t(i) * 30, y, 28, 28, palette[i]);
            draw_rect(s.fb(), x + int32_t(i) * 30, y, 28, 28, 1, DIM);
        }
    }, true);
}

void images(Sheet& s, const RgbaBitmap& poster) {
    const RgbaBitmap* p = &poster;
    s.add(240, 360, [&s, p](int32_t x, int32_t y) {
        // The source at its own size, alpha blended pixel by pixel.
        for (uint32_t iy = 0; iy < p->height; ++iy)
            for (uint32_t ix = 0; ix < p->width; ++ix) {
                const uint8_t* px = &p->pixels[(size_t(iy) * p->width + ix) * 4];
                const Color c = 0xff000000u | uint32_t(px[0]) << 16 | uint32_t(px[1]) << 8 | px[2];
                blend_pixel(s.fb(), x + int32_t(ix), y + int32_t(iy), c, px[3]);
            }
    }, true);
    s.add(168, 240, [&s, p](int32_t x, int32_t y) { draw_image_cover(s.fb(), *p, x, y, 168, 240); });
    s.add(260, 142, [&s, p](int32_t x, int32_t y) {
        draw_image_cover(s.fb(), *p, x, y, 260, 142);
        const std::pair<const char*, Color> badges[] = {{"FHD", 0xd0201540}, {"Tập 12", 0xd0a855f7},
                                                        {"2024", 0x80333333}};
        int32_t bx = x + 8;
        for (const auto& [label, fill] : badges) {
            draw_badge(s.text(), bx, y + 8, BadgeStyle{12, 20, 4, fill, 6, 3, WHITE, 11}, label);
            bx += s.text().text_width(label, 11) + 12 + 8;
        }
    });
    s.add(168, 90, [&s](int32_t x, int32_t y) {
        for (int32_t k = 0; k < 8; ++k) fill_rect(s.fb(), x + k * 21, y, 21, 90, k % 2 ? 0xffcbd5e1 : 0xfffbbf24);
        fill_vertical_gradient(s.fb(), x, y, 168, 90, 0xff0b0817, 0, 245);
    });
    const RgbaBitmap dot{1, 1, {0x22, 0xc5, 0x5e, 0xff}};
    s.add(96, 64, [&s, dot](int32_t x, int32_t y) { draw_image_cover(s.fb(), dot, x, y, 96, 64); });
}

}  // namespace

int run_specimen(const Options& o) {
    Framebuffer fb = Framebuffer::in_memory(o.width, o.height);
    fb.clear(SCREEN_BACKGROUND);
    const RgbaBitmap poster = test_image(240, 360);
    // The screens at the profile whose width is nearest the sheet's.
    const ScreenSize screen = profile_size(o.width <= 1024 ? DeviceProfile::Brick : DeviceProfile::Standard);
    {
        Sheet s(fb);
        s.section("Màn hình (" + std::to_string(screen.width) + "x" + std::to_string(screen.height) + ")");
        screens(s, screen, poster, build_app_config());
        s.section("Hình khối và ảnh");
        shapes(s);
        images(s, poster);
        const int32_t needed = s.draw();
        if (needed > int32_t(o.height)) {
            std::fprintf(stderr, "qz-shot: the specimen needs %d rows at this width; cut at %u (try --size %ux%d)\n",
                         needed, o.height, o.width, needed);
        }
    }
    return save(fb, o);
}

}  // namespace qz::shot
