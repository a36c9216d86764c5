// The specimen sheet: every interface text at its size and colour, and each
// drawing primitive, laid out in blocks.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "build_config.h"
#include "common/utf8.h"
#include "graphics/draw.h"
#include "graphics/framebuffer.h"
#include "graphics/text_renderer.h"
#include "shot.h"

namespace qz::shot {
namespace {

// ---- specimen sheet ---------------------------------------------------------

constexpr Color BACKGROUND = 0xff0e0a1a, WHITE = 0xffffffff, ACCENT = 0xffa855f7, GREY = 0xff94a3b8,
                YELLOW = 0xfffbbf24, BAR = 0xff6a38b3, RED = 0xffef4444, GREEN = 0xff22c55e, DIM = 0xff4a3b7a,
                STRIP = 0xff160f2c, PANEL = 0xff1d1438, KEY = 0xff231742, CHIP = 0xff2a1c50;

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
    // A text on a rounded fill, the way the screens put labels on badges and bars.
    void chip(std::string text, float size, Color color, Color fill, int32_t pad_x, int32_t h, int32_t r) {
        const int32_t w = tr_.text_width(text, size) + 2 * pad_x;
        add(w, h, [=, this](int32_t x, int32_t y) {
            if (fill >> 24 == 0xff) fill_rounded_rect(fb_, x, y, w, h, r, fill);
            else blend_rounded_rect(fb_, x, y, w, h, r, fill);
            tr_.draw_text(text, x + pad_x, y + (h - int32_t(size)) / 2 - 1, color, size);
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

private:
    static constexpr int32_t MARGIN = 24, GAP_X = 28, GAP_Y = 10;
    Framebuffer& fb_;
    TextRenderer tr_;
    std::vector<Block> blocks_;
};

void home_bars(Sheet& s) {
    s.add(s.inner_width(), 52, [&s](int32_t x, int32_t y) {
        Framebuffer& fb = s.fb();
        TextRenderer& tr = s.text();
        const int32_t w = s.inner_width();
        fill_rect(fb, x, y, w, 50, STRIP);
        fill_rect(fb, x, y + 50, w, 2, ACCENT);
        fill_rounded_rect(fb, x + 20, y + 10, 32, 32, 6, BAR);
        tr.draw_text("▶", x + 29, y + 17, WHITE, 16);
        tr.draw_text("QZ-NUVALTO", x + 60, y + 15, WHITE, 20);
        const std::string pill = "HÀNG 2/5 • " + utf8::shorten("THỊNH HÀNH & CHIẾU RẠP", 23, 20);
        const int32_t tw = tr.text_width(pill, 12), px = x + (w - tw - 24) / 2;
        tr.draw_text("[L1]", px - 34, y + 19, GREY, 12);
        fill_rounded_rect(fb, px, y + 10, tw + 24, 30, 15, 0xff281a4e);
        tr.draw_text(pill, px + 12, y + 18, WHITE, 12);
        tr.draw_text("[R1]", px + tw + 32, y + 19, GREY, 12);
        fill_rounded_rect(fb, x + w - 160, y + 10, 140, 30, 6, CHIP);
        tr.draw_text("[SELECT] TÌM KIẾM", x + w - 150, y + 19, WHITE, 11.5f);
    }, true);
    s.add(s.inner_width(), 42, [&s](int32_t x, int32_t y) {
        fill_rect(s.fb(), x, y, s.inner_width(), 42, STRIP);
        fill_rect(s.fb(), x, y, s.inner_width(), 1, 0xff2d1f5e);
        s.text().draw_text("[SELECT] Tìm kiếm   [D-Pad] Chọn phim   [A] Phát / Chi tiết   [L1/R1] Nhảy Kệ   "
                           "[X] Tải lại   [START] OTA   [B] Thoát",
                           x + 24, y + 15, WHITE, 13.5f);
    }, true);
    s.line("TRANG CHỦ", 12, WHITE);
}

void home_texts(Sheet& s) {
    // The focused shelf's marker, title and count, placed as on the screen.
    const std::string focused = "▶ TIẾP TỤC XEM (ĐÃ XEM GẦN ĐÂY)";
    const int32_t tw = s.text().text_width(focused, 15);
    s.add(12 + tw + 8 + s.text().text_width("(12 phim)", 12), 36, [&s, focused, tw](int32_t x, int32_t y) {
        fill_rounded_rect(s.fb(), x, y, 4, 18, 2, ACCENT);
        s.text().draw_text(focused, x + 12, y + 15, WHITE, 15);
        s.text().draw_text("(12 phim)", x + 12 + tw + 8, y + 15, GREY, 12);
    }, true);
    for (const char* t : {"PHIM LẺ MỚI NHẤT", "PHIM BỘ HOT NHẤT", "HOẠT HÌNH & ANIME", "THỊNH HÀNH & CHIẾU RẠP",
                          "ĐANG TÌM: \"conan\"...", "KẾT QUẢ TÌM KIẾM: \"conan\"", "KHÔNG TÌM THẤY: \"conan\"",
                          "LỖI TÌM KIẾM: curl exited with status 6"}) {
        s.line(t, 14, GREY);
    }
    s.line("QZ-NUVALTO • Rạp Phim & Hoạt Hình Full HD", 20, WHITE);
    s.line("Sử dụng D-Pad để duyệt qua các danh mục phim.", 14, GREY);
    s.line("TIẾP TỤC XEM (ĐÃ XEM GẦN ĐÂY)", 12, YELLOW);
    s.line(utf8::shorten("Thám Tử Lừng Danh Conan: Tàu Ngầm Sắt Màu Đen", 33, 30), 21, WHITE);
    s.line("Tập 12: Vụ án trên chuyến tàu tốc hành • Vietsub #1", 14, ACCENT);
    s.add(320, 12, [&s](int32_t x, int32_t y) {
        blend_rounded_rect(s.fb(), x, y + 3, 320, 6, 3, 0x80333333);
        fill_rounded_rect(s.fb(), x, y + 3, 320 * 125 / 1440, 6, 3, ACCENT);
    });
    s.line("Đã xem 02:05/24 phút  •  [A] Phát tiếp ngay đoạn dừng", 12.5f, YELLOW);
    s.line("Đã xem 00:45  •  [A] Phát tiếp ngay", 12.5f, YELLOW);
    s.line("PHIM BỘ HOT NHẤT", 12, ACCENT);
    s.chip("FHD", 11, WHITE, BAR, 7, 20, 4);
    s.chip("2024", 11, WHITE, CHIP, 7, 20, 4);
    s.chip("24 phút/tập", 11, GREY, CHIP, 7, 20, 4);
    s.chip("Vietsub + Thuyết minh", 11, YELLOW, CHIP, 7, 20, 4);
    s.line("Bấm [A] để xem thông tin chi tiết, chọn tập và phát video", 13, GREY);
    s.add(260, 142, [&s](int32_t x, int32_t y) {
        fill_rounded_rect(s.fb(), x, y, 260, 142, 8, 0xff100a22);
        s.text().draw_text("NUVALTO HD", x + 80, y + 63, DIM, 14);
    });
}

// One shelf card as the home screen draws it; poster may be null.
void card(Sheet& s, int32_t x, int32_t t, const RgbaBitmap* poster, bool history, bool selected) {
    Framebuffer& fb = s.fb();
    TextRenderer& tr = s.text();
    fill_rounded_rect(fb, x, t, 168, 240, 8, PANEL);
    if (poster) {
        draw_image_cover(fb, *poster, x, t, 168, 240);
    } else {
        fill_rounded_rect(fb, x, t, 168, 240, 8, 0xff150e2a);
        tr.draw_text("NUVALTO", x + 56, t + 114, DIM, 12.5f);
    }
    fill_vertical_gradient(fb, x, t + 150, 168, 90, 0xff0b0817, 0, 245);
    tr.draw_text(utf8::shorten("Thám Tử Lừng Danh Conan", 20, 17), x + 8, t + 208, WHITE, 13);
    if (history) {
        const int32_t bw = tr.text_width("Tập 12", 11);
        blend_rounded_rect(fb, x + 6, t + 6, bw + 12, 20, 4, 0xd0a855f7);
        tr.draw_text("Tập 12", x + 12, t + 9, WHITE, 11);
        tr.draw_text(poster ? "Đã xem 2/24p" : "Đã xem 2p", x + 8, t + 226, YELLOW, 11);
        blend_rounded_rect(fb, x + 8, t + 234, 152, 4, 2, 0x80333333);
        if (poster) fill_rounded_rect(fb, x + 8, t + 234, 152 * 125 / 1440, 4, 2, ACCENT);
    } else {
        const int32_t qw = tr.text_width("FHD", 10.5f), yw = tr.text_width("2024", 10.5f);
        blend_rounded_rect(fb, x + 6, t + 6, qw + 10, 18, 3, 0xd0201540);
        tr.draw_text("FHD", x + 11, t + 9, YELLOW, 10.5f);
        blend_rounded_rect(fb, x + 152 - yw, t + 6, yw + 10, 18, 3, 0xd0201540);
        tr.draw_text("2024", x + 157 - yw, t + 9, WHITE, 10.5f);
        tr.draw_text(poster ? "24 phút/tập" : "HD Vietsub", x + 8, t + 226, GREY, 11);
    }
    if (selected) {
        draw_rect(fb, x - 3, t - 3, 174, 246, 3, ACCENT);
        draw_rect(fb, x - 1, t - 1, 170, 242, 1, WHITE);
    }
}

void home_cards(Sheet& s, const RgbaBitmap& poster) {
    const RgbaBitmap* p = &poster;
    s.add(174, 246, [&s, p](int32_t x, int32_t y) { card(s, x + 3, y + 3, p, false, true); }, true);
    s.add(168, 246, [&s, p](int32_t x, int32_t y) { card(s, x, y + 3, p, true, false); });
    s.add(168, 246, [&s](int32_t x, int32_t y) { card(s, x, y + 3, nullptr, false, false); });
    s.add(168, 246, [&s](int32_t x, int32_t y) { card(s, x, y + 3, nullptr, true, false); });
    for (const char* t : {"Đang tải...", "Chưa có phim"}) {
        const int32_t dx = std::string_view(t) == "Đang tải..." ? 48 : 42;
        s.add(168, 246, [&s, t, dx](int32_t x, int32_t y) {
            fill_rounded_rect(s.fb(), x, y + 3, 168, 240, 8, 0xff191133);
            s.text().draw_text(t, x + dx, y + 123, GREY, 13);
        });
    }
}

void detail_panels(Sheet& s) {
    s.add(544, 340, [&s](int32_t x, int32_t y) {
        TextRenderer& tr = s.text();
        fill_rounded_rect(s.fb(), x, y, 544, 340, 8, PANEL);
        tr.draw_text("DANH SÁCH TẬP (12)", x + 16, y + 14, WHITE, 15);
        const char* labels[] = {"Tập 3: Tập 3", "Tập 4: Cuộc gọi lúc nửa đêm [Đã xem 02:05]",
                                "Tập 5: Tập 5", "Tập 6: Bí mật của chiếc hộp gỗ cũ", "Tập 7: Tập 7"};
        for (int32_t r = 0; r < 5; ++r) {
            const bool selected = r == 1;
            if (selected) fill_rounded_rect(s.fb(), x + 8, y + 42 + 32 * r, 528, 28, 6, BAR);
            tr.draw_text(utf8::shorten(labels[r], 31, 28), x + 16, y + 48 + 32 * r, selected ? WHITE : GREY, 13);
        }
    }, true);
    s.add(544, 280, [&s](int32_t x, int32_t y) {
        TextRenderer& tr = s.text();
        fill_rounded_rect(s.fb(), x, y, 544, 280, 8, PANEL);
        tr.draw_text("BẮT ĐẦU XEM PHIM", x + 16, y + 18, WHITE, 16);
        fill_rounded_rect(s.fb(), x + 16, y + 60, 512, 60, 12, BAR);
        tr.draw_text("▶  PHÁT PHIM NGAY (FHD)", x + 28, y + 82, WHITE, 16);
        tr.draw_text("Bấm [A] để tải & phát video trực tiếp", x + 16, y + 145, YELLOW, 13);
        tr.draw_text("Hỗ trợ âm thanh nổi & tỉ lệ 16:9 full màn hình", x + 16, y + 175, GREY, 12);
        fill_rounded_rect(s.fb(), x + 16, y + 205, 512, 60, 12, BAR);
        tr.draw_text("▶  TIẾP TỤC (02:05)", x + 28, y + 227, WHITE, 16);
    });
    s.add(s.inner_width(), 44, [&s](int32_t x, int32_t y) {
        fill_rect(s.fb(), x, y, s.inner_width(), 44, STRIP);
        s.text().draw_text("[A] Bắt đầu phát video   [D-Pad Lên/Xuống] Chọn tập   [B] Quay lại danh mục", x + 24,
                           y + 14, WHITE, 14);
    }, true);
}

void detail_section(Sheet& s, const RgbaBitmap& poster) {
    s.section("Chi tiết phim");
    s.add(s.inner_width(), 50, [&s](int32_t x, int32_t y) {
        fill_rect(s.fb(), x, y, s.inner_width(), 49, STRIP);
        fill_rect(s.fb(), x, y + 49, s.inner_width(), 1, ACCENT);
        s.text().draw_text("◀ THÔNG TIN PHIM & TẬP PHÁT", x + 24, y + 16, WHITE, 18);
    }, true);
    const RgbaBitmap* p = &poster;
    s.add(204, 284, [&s, p](int32_t x, int32_t y) {
        fill_rounded_rect(s.fb(), x, y, 204, 284, 10, BAR);
        draw_image_cover(s.fb(), *p, x + 2, y + 2, 200, 280);
    }, true);
    s.add(200, 280, [&s](int32_t x, int32_t y) {
        fill_rounded_rect(s.fb(), x, y, 200, 280, 8, PANEL);
        s.text().draw_text("NO POSTER", x + 45, y + 130, GREY, 16);
    });
    s.add(440, 300, [&s](int32_t x, int32_t y) {
        TextRenderer& tr = s.text();
        tr.draw_text("Thám Tử Lừng Danh Conan: Tàu Ngầm Sắt Màu Đen", x, y + 6, WHITE, 20);
        tr.draw_text("FHD • Vietsub • 110 phút", x, y + 36, ACCENT, 14);
        tr.draw_text("Tóm tắt nội dung:", x, y + 70, WHITE, 14);
        tr.draw_wrapped("Cơ sở công nghệ mới của Interpol nằm giữa biển Hachijojima. Các kỹ sư từ khắp thế giới "
                        "tụ họp để vận hành hệ thống camera an ninh kết nối toàn cầu. Conan và nhóm thám tử "
                        "nhí được mời tham quan thì một nhân viên bị bắt cóc.",
                        x, y + 94, 440, 7, 13);
        tr.draw_wrapped("Không có mô tả chi tiết.", x, y + 208, 440, 7, 13);
        fill_rounded_rect(s.fb(), x, y + 254, 440, 42, 8, 0xff241544);
        draw_rect(s.fb(), x, y + 254, 440, 42, 1, ACCENT);
        tr.draw_text("▶ ĐÃ XEM TẬP 4: 02:05/24p (Bấm Play để phát tiếp)", x + 12, y + 268, YELLOW, 12.5f);
    });
    detail_panels(s);
}

constexpr const char* KEYS[4][10] = {
    {"1", "2", "3", "4", "5", "6", "7", "8", "9", "0"},
    {"Q", "W", "E", "R", "T", "Y", "U", "I", "O", "P"},
    {"A", "S", "D", "F", "G", "H", "J", "K", "L", "<-"},
    {"Z", "X", "C", "V", "B", "N", "M", "CÁCH", "TÌM", "XÓA"},
};

void keyboard(Sheet& s, int32_t x0, int32_t y0, int32_t key_row, int32_t key_col) {
    for (int32_t r = 0; r < 4; ++r) {
        for (int32_t k = 0; k < 10; ++k) {
            const int32_t bx = x0 + 20 + 68 * k, by = y0 + 134 + 50 * r;
            const bool lit = r == key_row && k == key_col;
            fill_rounded_rect(s.fb(), bx, by, 66, 42, 6, lit ? ACCENT : KEY);
            if (lit) draw_rect(s.fb(), bx, by, 66, 42, 2, WHITE);
            const std::string label = std::string_view(KEYS[r][k]) == "<-" ? "DEL" : KEYS[r][k];
            const int32_t w = s.text().text_width(label, 14);
            s.text().draw_text(label, bx + (66 - w) / 2, by + 12, lit ? WHITE : 0xffcbd5e1, 14);
        }
    }
}

void search_section(Sheet& s) {
    s.section("Tìm kiếm");
    s.add(720, 420, [&s](int32_t x0, int32_t y0) {
        Framebuffer& fb = s.fb();
        TextRenderer& tr = s.text();
        fill_rounded_rect(fb, x0, y0, 720, 420, 16, STRIP);
        draw_rect(fb, x0, y0, 720, 420, 2, ACCENT);
        fill_rounded_rect(fb, x0, y0, 720, 48, 12, BAR);
        tr.draw_text("TÌM KIẾM PHIM TRÊN NUVALTO", x0 + 24, y0 + 14, WHITE, 18);
        fill_rounded_rect(fb, x0 + 24, y0 + 64, 672, 46, 8, KEY);
        draw_rect(fb, x0 + 24, y0 + 64, 672, 46, 1, 0xff4a3482);
        tr.draw_text("Nhập tên phim cần tìm (Anime, Phim lẻ, Phim bộ)...", x0 + 38, y0 + 78, GREY, 16);
        tr.draw_text("Đang tìm kiếm phim từ máy chủ...", x0 + 38, y0 + 122, YELLOW, 14);
        keyboard(s, x0, y0, 3, 8);
        const char* hint = "[D-PAD] Di chuyển  •  [A] Chọn  •  [Y] Xóa lùi  •  [X] Dấu cách  •  [START] Tìm ngay  "
                           "•  [B] Đóng";
        tr.draw_text(hint, x0 + (720 - tr.text_width(hint, 12.5f)) / 2, y0 + 398, GREY, 12.5f);
    }, true);
    s.add(440, 46, [&s](int32_t x, int32_t y) {
        fill_rounded_rect(s.fb(), x, y, 440, 46, 8, KEY);
        draw_rect(s.fb(), x, y, 440, 46, 1, 0xff4a3482);
        s.text().draw_text("thám tử conan▌", x + 14, y + 14, WHITE, 16);
    });
}

// The update server base: the manifest URL without its path.
std::string server_base(std::string_view url) {
    const size_t scheme = url.find("://");
    const size_t path = url.find('/', scheme == std::string_view::npos ? 0 : scheme + 3);
    return std::string(url.substr(0, path));
}

void update_section(Sheet& s) {
    s.section("Cập nhật OTA");
    const std::pair<const char*, Color> bands[] = {{"KIỂM TRA BẢN CẬP NHẬT OTA", 0xff1e3a8a},
                                                   {"KHÔNG THỂ KẾT NỐI MÁY CHỦ OTA", 0xff991b1b},
                                                   {"✅ ỨNG DỤNG ĐÃ Ở PHIÊN BẢN MỚI NHẤT", 0xff065f46},
                                                   {"PHÁT HIỆN BẢN CẬP NHẬT OTA MỚI", BAR}};
    for (const auto& [title, band] : bands) s.chip(title, 18, WHITE, band, 24, 48, 12);
    s.line("Đang kết nối máy chủ " + server_base(UPDATE_MANIFEST_URL) + "...", 16, ACCENT);
    s.line("Vui lòng giữ kết nối Wi-Fi ổn định.", 14, GREY);
    s.line("Bấm [B] để Quay lại", 15, WHITE);
    s.line("Lỗi: curl: (7) Failed to connect to update server", 14, RED);
    s.line("Vui lòng kiểm tra lại kết nối Wi-Fi trên TrimUI.", 14, GREY);
    s.line("Bấm [A] hoặc [Y] để Thử lại  •  Bấm [B] để Quay lại", 15, WHITE);
    s.line(std::string("Bạn đang chạy QZ-Nuvalto phiên bản v") + APP_VERSION + " tối ưu nhất.", 16, GREEN);
    s.line(std::string("Máy chủ phân phối OTA: ") + UPDATE_MANIFEST_URL, 13.5f, GREY);
    s.line("Toàn bộ tính năng xem Phim Lẻ, Phim Bộ & Anime đã sẵn sàng.", 13.5f, WHITE);
    s.line("Bấm [A] hoặc [START] để Kiểm tra lại  •  Bấm [B] để Quay lại", 15, ACCENT);
    s.line("Phiên bản mới: v1.1.0 • Dung lượng: 12.3 MB", 15, ACCENT);
    s.line("Nhật ký cập nhật:", 15, WHITE);
    s.add(592, 110, [&s](int32_t x, int32_t y) {
        s.text().draw_wrapped("Thêm kệ phim hoạt hình mới, tải ảnh bìa nhanh hơn trên mạng chậm, sửa lỗi phụ đề "
                              "bị lệch khi tua, ghi nhớ vị trí xem của từng tập, cải thiện âm thanh qua tai nghe "
                              "Bluetooth và nhiều sửa lỗi nhỏ khác giúp ứng dụng chạy ổn định hơn trên mọi dòng "
                              "máy TrimUI, kể cả khi pin yếu hoặc thẻ nhớ gần đầy dung lượng lưu trữ. Dòng thứ sáu "
                              "này bị cắt vì bảng chỉ hiện năm dòng.",
                              x, y, 592, 5, 14);
    }, true);
    s.add(592, 36, [&s](int32_t x, int32_t y) {
        fill_rounded_rect(s.fb(), x, y, 592, 36, 6, 0xff334155);
        s.text().draw_text("Đang tải xuống bản cập nhật... Vui lòng không tắt máy", x + 16, y + 12, ACCENT, 14);
    });
    s.line("[B] Bỏ qua   [Y] Thử lại", 15, WHITE);
    s.line("Bấm [A] để Cài đặt ngay  •  Bấm [B] để Quay lại", 15, YELLOW);
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
    const Color palette[] = {WHITE, ACCENT, GREY, YELLOW, BAR, RED, GREEN, 0xffc4b5fd, 0xffcbd5e1, DIM,
                             BACKGROUND, 0xff0f0f0f, 0xff160f2c, 0xff231742, 0xff2a1c50, 0xff1d1438, 0xff150e2a,
                             0xff191133, 0xff241544, 0xff2f2154, 0xff4a3482, 0xff334155, 0xff16a34a};
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
            const int32_t w = s.text().text_width(label, 11) + 12;
            blend_rounded_rect(s.fb(), bx, y + 8, w, 20, 4, fill);
            s.text().draw_text(label, bx + 6, y + 11, WHITE, 11);
            bx += w + 8;
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
    fb.clear(BACKGROUND);
    const RgbaBitmap poster = test_image(240, 360);
    {
        Sheet s(fb);
        s.section("Màn hình chính");
        home_bars(s);
        home_texts(s);
        home_cards(s, poster);
        detail_section(s, poster);
        search_section(s);
        update_section(s);
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
