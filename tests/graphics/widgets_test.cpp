#include "graphics/widgets.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "graphics/draw.h"
#include "support/pixel_probe.h"

namespace qz {
namespace {

TEST(Dimming, ScalesEveryChannelDownAndMakesPixelsOpaque) {
    struct Case {
        uint32_t keep;
        Color in, out;
    };
    const Case cases[] = {
        {47, 0x00ffffff, 0xff2f2f2f}, {47, 0xff0e0a1a, 0xff020104}, {47, 0x80102030, 0xff020508},
        {47, 0xff000000, 0xff000000}, {79, 0xffffffff, 0xff4f4f4f}, {79, 0xff0e0a1a, 0xff040308},
    };
    for (const Case& c : cases) {
        Framebuffer fb = Framebuffer::in_memory(3, 2);
        fb.clear(c.in);
        dim_behind_overlay(fb, c.keep);
        EXPECT_TRUE(test::region_is(fb, 0, 0, 3, 2, c.out)) << std::hex << c.in << " keep " << std::dec << c.keep;
    }
    // Every channel value, each channel on its own, against the plain formula.
    for (uint32_t keep : {0u, 1u, 47u, 79u, 254u, 255u}) {
        Framebuffer fb = Framebuffer::in_memory(256, 1);
        for (uint32_t v = 0; v < 256; ++v)
            fb.at(v, 0) = (v << 24) | (v << 16) | ((255 - v) << 8) | ((v * 7) & 0xff);
        dim_behind_overlay(fb, keep);
        for (uint32_t v = 0; v < 256; ++v) {
            const Color want =
                0xff000000u | (v * keep / 255) << 16 | ((255 - v) * keep / 255) << 8 | ((v * 7) & 0xff) * keep / 255;
            ASSERT_EQ(fb.at(v, 0), want) << "v " << v << " keep " << keep;
        }
    }
}

TEST(ProgressBar, FillsTheTrackByTheClampedRatio) {
    constexpr ProgressBarStyle STYLE{20, 2, 0, 0x80ffffff, 0xff00ff00};
    constexpr Color BG = 0xff000000;
    const Color TRACK = mix(BG, STYLE.track, 0x80);
    struct Case {
        double ratio;
        int32_t filled;
    };
    const Case cases[] = {{0.0, 0},
                          {0.5, 10},
                          {1.0, 20},
                          {2.5, 20},
                          {-1.0, 0},
                          {0.04, 0},
                          {0.05, 1},
                          {std::numeric_limits<double>::quiet_NaN(), 0},
                          {std::numeric_limits<double>::infinity(), 20}};
    for (const Case& c : cases) {
        Framebuffer fb = Framebuffer::in_memory(24, 4);
        fb.clear(BG);
        draw_progress_bar(fb, 2, 1, STYLE, c.ratio);
        for (int32_t x = 0; x < 24; ++x) {
            const bool in_bar = x >= 2 && x < 22;
            const Color want = !in_bar ? BG : x - 2 < c.filled ? STYLE.fill : TRACK;
            ASSERT_EQ(fb.at(x, 1), want) << "ratio " << c.ratio << " x " << x;
            ASSERT_EQ(fb.at(x, 0), BG);
        }
    }
}

TEST(WatchedClock, PadsAndClamps) {
    struct Case {
        int64_t secs;
        const char* text;
    };
    for (const Case& c : {Case{0, "00:00"}, Case{59, "00:59"}, Case{61, "01:01"}, Case{3725, "62:05"},
                          Case{6000, "100:00"}, Case{-1, "00:00"}, Case{-125, "00:00"}}) {
        EXPECT_EQ(watched_clock(c.secs), c.text) << c.secs;
    }
}

}  // namespace
}  // namespace qz
