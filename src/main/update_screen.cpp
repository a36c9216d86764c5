#include "main/update_screen.h"

#include <cstdio>
#include <variant>
#include <vector>

#include "graphics/draw.h"
#include "graphics/palette.h"
#include "graphics/widgets.h"
#include "main/search_screen.h"

namespace qz {

namespace {

constexpr Color STRIP_FILL = 0xff334155;

constexpr int32_t PANEL_W = 640;
constexpr int32_t PANEL_H = 360;
constexpr int32_t TEXT_DX = 24;
constexpr int32_t FOOTER_DY = 320;
constexpr uint32_t DIM_KEEP = 79;

struct PanelLine {
    int32_t dy;
    Color color;
    float size;
    std::string text;
};

// One panel without a pending manifest: band, title, lines, footer.
struct StatePanel {
    Color band;
    const char* title;
    std::vector<PanelLine> lines;
};

StatePanel state_panel(const UpdatePanelState& panel) {
    const UpdateState& state = panel.state;
    if (std::holds_alternative<UpdateChecking>(state)) {
        return {UPDATE_BAND_CHECKING,
                "KIỂM TRA BẢN CẬP NHẬT OTA",
                {{100, ACCENT, 16.0f, "Đang kết nối máy chủ " + url_server_part(panel.manifest_url) + "..."},
                 {135, SECONDARY, 14.0f, "Vui lòng giữ kết nối Wi-Fi ổn định."},
                 {FOOTER_DY, WHITE, 15.0f, "Bấm [B] để Quay lại"}}};
    }
    if (const auto* failed = std::get_if<UpdateFailed>(&state)) {
        return {UPDATE_BAND_FAILED,
                "KHÔNG THỂ KẾT NỐI MÁY CHỦ OTA",
                {{90, ERROR_TEXT, 14.0f, "Lỗi: " + failed->error},
                 {125, SECONDARY, 14.0f, "Vui lòng kiểm tra lại kết nối Wi-Fi trên TrimUI."},
                 {FOOTER_DY, WHITE, 15.0f, "Bấm [A] hoặc [Y] để Thử lại  •  Bấm [B] để Quay lại"}}};
    }
    return {UPDATE_BAND_CURRENT,
            "✅ ỨNG DỤNG ĐÃ Ở PHIÊN BẢN MỚI NHẤT",
            {{80, GOOD_TEXT, 16.0f, "Bạn đang chạy QZ-Nuvalto phiên bản v" + panel.app_version + " tối ưu nhất."},
             {115, SECONDARY, 13.5f, "Máy chủ phân phối OTA: " + panel.manifest_url},
             {150, WHITE, 13.5f, "Toàn bộ tính năng xem Phim Lẻ, Phim Bộ & Anime đã sẵn sàng."},
             {FOOTER_DY, ACCENT, 15.0f, "Bấm [A] hoặc [START] để Kiểm tra lại  •  Bấm [B] để Quay lại"}}};
}

void draw_frame(TextRenderer& text, int32_t x0, int32_t y0, Color band, const char* title) {
    Framebuffer& fb = text.framebuffer();
    fill_rounded_rect(fb, x0, y0, PANEL_W, PANEL_H, 16, PANEL_FILL);
    fill_rounded_rect(fb, x0, y0, PANEL_W, 48, 12, band);
    text.draw_text(title, x0 + TEXT_DX, y0 + 14, WHITE, 18.0f);
}

void draw_offer(const UpdateState& state, const OtaManifest& manifest, TextRenderer& text, int32_t x0,
                int32_t y0) {
    draw_frame(text, x0, y0, UPDATE_BAND_OFFER, "PHÁT HIỆN BẢN CẬP NHẬT OTA MỚI");
    text.draw_text(update_offer_line(manifest), x0 + TEXT_DX, y0 + 70, ACCENT, 15.0f);
    text.draw_text("Nhật ký cập nhật:", x0 + TEXT_DX, y0 + 105, WHITE, 15.0f);
    text.draw_wrapped(manifest.changelog, x0 + TEXT_DX, y0 + 130, 592, 5, 14.0f);
    if (std::holds_alternative<UpdateDownloading>(state)) {
        // A status strip, not a progress bar: the installer reports no progress.
        fill_rounded_rect(text.framebuffer(), x0 + TEXT_DX, y0 + 300, 592, 36, 6, STRIP_FILL);
        text.draw_text("Đang tải xuống bản cập nhật... Vui lòng không tắt máy", x0 + 40, y0 + 312, ACCENT, 14.0f);
    } else if (const auto* failed = std::get_if<UpdateFailed>(&state)) {
        text.draw_text("Lỗi: " + failed->error, x0 + TEXT_DX, y0 + 280, ERROR_TEXT, 14.0f);
        text.draw_text("[B] Bỏ qua   [Y] Thử lại", x0 + TEXT_DX, y0 + FOOTER_DY, WHITE, 15.0f);
    } else {
        text.draw_text("Bấm [A] để Cài đặt ngay  •  Bấm [B] để Quay lại", x0 + TEXT_DX, y0 + FOOTER_DY, HIGHLIGHT,
                       15.0f);
    }
}

void start_check(LoopContext& ctx) {
    ctx.state.update.state = UpdateChecking{};
    ctx.workers.start_update_check();
}

// A with a manifest installs it, without one checks again.
void confirm(LoopContext& ctx) {
    AppState& state = ctx.state;
    if (!state.update.pending_manifest) {
        start_check(ctx);
        return;
    }
    state.update.state = UpdateDownloading{};
    // Refused only while an installer already runs: it reports its own
    // outcome, so Downloading stays true either way.
    ctx.workers.start_update_install(*state.update.pending_manifest);
}

}  // namespace

std::string url_server_part(std::string_view url) {
    const size_t scheme = url.find("://");
    const size_t host_start = scheme == std::string_view::npos ? 0 : scheme + 3;
    const size_t path = url.find('/', host_start);
    return std::string(url.substr(0, path));
}

std::string update_offer_line(const OtaManifest& manifest) {
    char size[64];
    std::snprintf(size, sizeof size, "%.1f", static_cast<double>(manifest.size_mb));
    return "Phiên bản mới: v" + manifest.version + " • Dung lượng: " + size + " MB";
}

void handle_update_key(LoopContext& ctx, Button button) {
    AppState& state = ctx.state;
    // A second installer or a check would hide the running installation and
    // its "do not switch off" strip.
    const bool installing = std::holds_alternative<UpdateDownloading>(state.update.state);
    switch (button) {
        case Button::A:
            if (!installing) confirm(ctx);
            break;
        case Button::Y:
            // The failure panels name Y as the retry key.
            if (std::holds_alternative<UpdateFailed>(state.update.state)) confirm(ctx);
            break;
        case Button::Start:
            if (!installing) start_check(ctx);
            break;
        case Button::B:
            state.screen = Screen::Home;
            break;
        default:
            break;
    }
}

void draw_update_overlay(const AppState& state, TextRenderer& text) {
    Framebuffer& fb = text.framebuffer();
    dim_behind_overlay(fb, DIM_KEEP);
    const int32_t x0 = (static_cast<int32_t>(fb.width()) - PANEL_W) / 2;
    const int32_t y0 = (static_cast<int32_t>(fb.height()) - PANEL_H) / 2;
    if (state.update.pending_manifest) {
        draw_offer(state.update.state, *state.update.pending_manifest, text, x0, y0);
        return;
    }
    const StatePanel panel = state_panel(state.update);
    draw_frame(text, x0, y0, panel.band, panel.title);
    for (const PanelLine& line : panel.lines) {
        text.draw_text(line.text, x0 + TEXT_DX, y0 + line.dy, line.color, line.size);
    }
}

}  // namespace qz
