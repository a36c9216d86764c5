// One playback overlay frame (draw + present) at 1280 x 720 against the floor
// of any frame, a plain clear + present of the same mapped buffer. The back-end
// redraws the overlay up to 25 times a second while it shows, on a device that
// is decoding video at the same time.
#include <benchmark/benchmark.h>

#include "graphics/text_renderer.h"
#include "mapped_screen.h"
#include "player/overlay.h"

namespace qz {
namespace {

constexpr uint32_t W = 1280, H = 720;

const OverlayView PLAYING{.title = "Hành Trình Dài Của Những Người Bạn",
                          .label = "Tập 12 - Server VIP",
                          .position_ms = 1830000,
                          .duration_ms = 3660000,
                          .paused = false,
                          .message = std::nullopt};

void present_frames(benchmark::State& bench, bench::MappedScreen& screen, auto&& draw) {
    if (!screen.fb->has_device()) bench.SkipWithError("device did not map");
    for (auto _ : bench) {
        draw();
        screen.fb->present();
        benchmark::DoNotOptimize(screen.memory.data());
        benchmark::ClobberMemory();
    }
    bench.SetItemsProcessed(bench.iterations());
}

void overlay_frame(benchmark::State& bench) {
    bench::MappedScreen screen(W, H);
    TextRenderer text(*screen.fb);
    OverlayView view = PLAYING;
    present_frames(bench, screen, [&] { draw_playback_overlay(*screen.fb, text, view); });
}
BENCHMARK(overlay_frame)->Unit(benchmark::kMicrosecond);

// The busiest frame: a seek preview in the centre box while paused.
void overlay_frame_message(benchmark::State& bench) {
    bench::MappedScreen screen(W, H);
    TextRenderer text(*screen.fb);
    OverlayView view = PLAYING;
    view.paused = true;
    view.message = "▶▶ +1m40s (32:10) • 8x";
    present_frames(bench, screen, [&] { draw_playback_overlay(*screen.fb, text, view); });
}
BENCHMARK(overlay_frame_message)->Unit(benchmark::kMicrosecond);

void clear_and_present(benchmark::State& bench) {
    bench::MappedScreen screen(W, H);
    Color c = 0;
    present_frames(bench, screen, [&] { screen.fb->clear(c++); });
}
BENCHMARK(clear_and_present)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace qz
