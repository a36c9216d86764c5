// Frame costs of the back buffer and the heavier primitives at 1280 x 720.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "../tests/support/memory_fb_device.h"
#include "graphics/draw.h"
#include "graphics/framebuffer.h"

namespace qz {
namespace {

constexpr uint32_t W = 1280, H = 720;

// A device over plain memory; rows are stride bytes apart.
struct MappedScreen {
    explicit MappedScreen(uint32_t stride) : memory(size_t(stride) * H) {
        unsetenv("TRIMUI_SIMULATOR");
        auto state = std::make_shared<test::MemoryFbState>();
        test::describe_panel(*state, W, H, stride, uint32_t(memory.size()));
        state->memory = memory.data();
        fb = std::make_unique<Framebuffer>(
            Framebuffer::open(DeviceProfile::Standard, std::make_unique<test::MemoryFbDevice>(state)));
    }
    std::vector<unsigned char> memory;
    std::unique_ptr<Framebuffer> fb;
};

void clear_and_present(benchmark::State& state) {
    MappedScreen screen(uint32_t(state.range(0)));
    if (!screen.fb->has_device()) state.SkipWithError("device did not map");
    Color c = 0xff0e0a1a;
    for (auto _ : state) {
        screen.fb->clear(c++);
        screen.fb->present();
        benchmark::DoNotOptimize(screen.memory.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
// 5120 bytes: rows packed (one block copy); 5376: 64 pixels of padding per row.
BENCHMARK(clear_and_present)->ArgName("stride")->Arg(W * 4)->Arg((W + 64) * 4)->Unit(benchmark::kMicrosecond);

void fill_rounded_rect_full_screen(benchmark::State& state) {
    Framebuffer fb = Framebuffer::in_memory(W, H);
    for (auto _ : state) {
        fill_rounded_rect(fb, 0, 0, W, H, 16, 0xff160f2c);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(fill_rounded_rect_full_screen)->Unit(benchmark::kMicrosecond);

void blend_rounded_rect_full_screen(benchmark::State& state) {
    Framebuffer fb = Framebuffer::in_memory(W, H);
    for (auto _ : state) {
        blend_rounded_rect(fb, 0, 0, W, H, 16, 0xd0201540);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(blend_rounded_rect_full_screen)->Unit(benchmark::kMicrosecond);

// A poster-sized source with opaque and half-transparent areas.
RgbaBitmap poster() {
    RgbaBitmap img{240, 360, std::vector<uint8_t>(240 * 360 * 4)};
    for (uint32_t y = 0; y < 360; ++y) {
        for (uint32_t x = 0; x < 240; ++x) {
            uint8_t* p = &img.pixels[(size_t(y) * 240 + x) * 4];
            p[0] = uint8_t(x);
            p[1] = uint8_t(y);
            p[2] = uint8_t(x ^ y);
            p[3] = y < 300 ? 255 : 128;
        }
    }
    return img;
}

void draw_image_cover_full_screen(benchmark::State& state) {
    Framebuffer fb = Framebuffer::in_memory(W, H);
    const RgbaBitmap img = poster();
    for (auto _ : state) {
        draw_image_cover(fb, img, 0, 0, W, H);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(draw_image_cover_full_screen)->Unit(benchmark::kMicrosecond);

// What one home-screen shelf row costs: seven cards with poster and shade.
void shelf_of_cards(benchmark::State& state) {
    Framebuffer fb = Framebuffer::in_memory(W, H);
    const RgbaBitmap img = poster();
    for (auto _ : state) {
        for (int32_t j = 0; j < 7; ++j) {
            const int32_t x = 24 + j * 184;
            fill_rounded_rect(fb, x, 260, 168, 240, 8, 0xff1d1438);
            draw_image_cover(fb, img, x, 260, 168, 240);
            fill_vertical_gradient(fb, x, 410, 168, 90, 0xff0b0817, 0, 245);
        }
        benchmark::ClobberMemory();
    }
}
BENCHMARK(shelf_of_cards)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace qz
