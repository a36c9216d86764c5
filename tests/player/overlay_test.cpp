// The overlay drawn in process: what the screenshot tool cannot show well.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "graphics/framebuffer.h"
#include "graphics/text_renderer.h"
#include "player/overlay.h"

namespace qz {
namespace {

// Paused with a message: the most the overlay draws.
const OverlayView BUSY{.title = "Người Phán Xử",
                       .label = "Tập 12",
                       .position_ms = 50000,
                       .duration_ms = 100000,
                       .paused = true,
                       .message = "ÂM LƯỢNG: 45%"};

// The back-end draws every frame into the same buffer: nothing of the last
// frame may survive into one that shows less.
TEST(Overlay, EachFrameStartsFromTransparent) {
    Framebuffer fb = Framebuffer::in_memory(1280, 720);
    TextRenderer text(fb);
    fb.clear(0xff123456);
    draw_playback_overlay(fb, text, BUSY);
    OverlayView quiet = BUSY;
    quiet.paused = false;
    quiet.message.reset();
    draw_playback_overlay(fb, text, quiet);
    for (uint32_t y = 75; y < 720 - 105; ++y) {
        for (uint32_t x = 0; x < 1280; ++x) ASSERT_EQ(fb.at(x, y), 0x00000000u) << x << ", " << y;
    }
}

// Buffers narrower than the margins and shorter than the bands: everything
// clips, nothing is written outside the buffer (checked under ASan).
TEST(Overlay, TinyBuffersClip) {
    const uint32_t sizes[][2] = {{1, 1}, {40, 30}, {70, 56}, {77, 104}, {200, 120}};
    for (const auto& s : sizes) {
        SCOPED_TRACE(std::to_string(s[0]) + "x" + std::to_string(s[1]));
        Framebuffer fb = Framebuffer::in_memory(s[0], s[1]);
        TextRenderer text(fb);
        OverlayView view = BUSY;
        view.message = std::string(400, 'W');
        draw_playback_overlay(fb, text, view);
        EXPECT_EQ(fb.at(0, s[1] - 1), 0xe8120b24u) << "the footer band, drawn after the box, owns the last row";
    }
}

TEST(Overlay, TimeTextAndFillAreClampedForAnyInput) {
    EXPECT_EQ(overlay_time_text(std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()), "00:00 / 2562047788015:12:55");
    EXPECT_EQ(overlay_filled_width(std::numeric_limits<int64_t>::max(), 1, 1210), 1210);
    EXPECT_EQ(overlay_filled_width(std::numeric_limits<int64_t>::min(), 1, 1210), 0);
    EXPECT_EQ(overlay_filled_width(1, std::numeric_limits<int64_t>::max(), 1210), 0);
    EXPECT_EQ(overlay_filled_width(50, 100, 0), 0);
    EXPECT_EQ(overlay_filled_width(50, 100, -20), 0);
}

}  // namespace
}  // namespace qz
