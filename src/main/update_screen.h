#pragma once

#include <string>
#include <string_view>

#include "graphics/text_renderer.h"
#include "input/button.h"
#include "main/app_state.h"
#include "main/main_loop.h"

namespace qz {

inline constexpr Color UPDATE_BAND_CHECKING = 0xff1e3a8a;
inline constexpr Color UPDATE_BAND_FAILED = 0xff991b1b;
inline constexpr Color UPDATE_BAND_CURRENT = 0xff065f46;
inline constexpr Color UPDATE_BAND_OFFER = 0xff6a38b3;

// Scheme and host of a URL: everything before the first "/" after "://".
std::string url_server_part(std::string_view url);

// "Phiên bản mới: v{version} • Dung lượng: {size} MB", size with one decimal.
std::string update_offer_line(const OtaManifest& manifest);

// Keys on the update panel. A and Start do nothing while an installation
// runs; Y retries like A on the failure panels.
void handle_update_key(LoopContext& ctx, Button button);

// The update panel over the home screen (which must already be drawn).
void draw_update_overlay(const AppState& state, TextRenderer& text);

}  // namespace qz
