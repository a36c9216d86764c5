// One home-screen frame (draw + present) at 1280 x 720 against the floor of
// any frame: a plain clear + present of the same mapped buffer. Five shelves
// (continue-watching first), first with no posters, as right after start-up
// with a warm cache and the poster downloads still pending, then with every
// visible poster ready.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "../tests/support/memory_fb_device.h"
#include "graphics/framebuffer.h"
#include "graphics/palette.h"
#include "graphics/rgba_bitmap.h"
#include "graphics/text_renderer.h"
#include "main/app_state.h"
#include "main/home_screen.h"
#include "main/poster_lookup.h"

namespace qz {
namespace {

constexpr uint32_t W = 1280, H = 720;

// A panel over plain memory with packed rows, as the device reports it.
struct MappedScreen {
    MappedScreen() : memory(size_t(W) * 4 * H) {
        unsetenv("TRIMUI_SIMULATOR");
        auto state = std::make_shared<test::MemoryFbState>();
        test::describe_panel(*state, W, H, W * 4, uint32_t(memory.size()));
        state->memory = memory.data();
        fb = std::make_unique<Framebuffer>(
            Framebuffer::open(DeviceProfile::Standard, std::make_unique<test::MemoryFbDevice>(state)));
    }
    std::vector<unsigned char> memory;
    std::unique_ptr<Framebuffer> fb;
};

MediaItem title(const std::string& key, int i) {
    MediaItem m;
    m.id = key + "-" + std::to_string(i);
    m.title = "Phim Hành Động Việt Nam Số " + std::to_string(i);  // 20+ characters: shortened on the card
    m.slug = m.id;
    m.thumbnail = "http://127.0.0.1:9/posters/" + m.id + ".jpg";
    m.year = RawJson{i % 2 ? "2024" : "\"2023\""};
    m.quality = "FHD";
    m.time = "Tập " + std::to_string(i) + "/24";
    m.lang = "Vietsub";
    return m;
}

// The state right after start-up: a history of 8 titles and 20 cached titles
// per category.
AppState home_state() {
    AppState state;
    for (const char* key : {"phim-le", "phim-bo", "hoat-hinh", "trending"}) {
        for (int i = 0; i < 20; ++i)
            state.home.catalog_cache[key].push_back(title(key, i));
    }
    std::vector<HistoryItem> history;
    for (int i = 0; i < 8; ++i) {
        HistoryItem h;
        h.movie_id = "h-" + std::to_string(i);
        h.movie_title = "Hành Trình Dài Của Những Người Bạn " + std::to_string(i);
        h.poster_url = "http://127.0.0.1:9/posters/h" + std::to_string(i) + ".jpg";
        h.server_name = "Server VIP";
        h.episode_number = uint32_t(i + 1);
        h.episode_title = "Tập " + std::to_string(i + 1);
        h.play_url = "http://127.0.0.1:9/" + h.movie_id + ".m3u8";
        h.last_pos_secs = 125 + i * 60;
        h.duration_secs = 3600;
        history.push_back(h);
    }
    build_initial_shelves(state, history);
    return state;
}

void home_frame(benchmark::State& bench) {
    MappedScreen screen;
    if (!screen.fb->has_device()) bench.SkipWithError("device did not map");
    AppState state = home_state();
    if (state.home.shelves.size() != 5) bench.SkipWithError("expected five shelves");
    NoPosters posters;
    TextRenderer text(*screen.fb);
    for (auto _ : bench) {
        draw_home(state, posters, text);
        screen.fb->present();
        benchmark::DoNotOptimize(screen.memory.data());
        benchmark::ClobberMemory();
    }
    bench.SetItemsProcessed(bench.iterations());
}
BENCHMARK(home_frame)->Unit(benchmark::kMicrosecond);

// Every poster on screen decoded and ready: one 240 x 360 opaque gradient,
// the largest size a thumbnail gets, handed out for every URL as the cache
// hands out its shared images.
class AllPostersReady final : public PosterLookup {
public:
    AllPostersReady() : image_(std::make_shared<RgbaBitmap>()) {
        image_->width = 240;
        image_->height = 360;
        image_->pixels.resize(size_t(240) * 360 * 4);
        for (size_t i = 0; i < image_->pixels.size(); i += 4) {
            const size_t x = (i / 4) % 240, y = (i / 4) / 240;
            image_->pixels[i] = uint8_t(x);
            image_->pixels[i + 1] = uint8_t(y);
            image_->pixels[i + 2] = uint8_t(x + y);
            image_->pixels[i + 3] = 255;
        }
    }
    std::shared_ptr<const RgbaBitmap> get(const std::string& url) override {
        ++lookups;
        return url.empty() ? nullptr : image_;
    }
    size_t lookups = 0;

private:
    std::shared_ptr<RgbaBitmap> image_;
};

void home_frame_posters_ready(benchmark::State& bench) {
    MappedScreen screen;
    if (!screen.fb->has_device()) bench.SkipWithError("device did not map");
    AppState state = home_state();
    if (state.home.shelves.size() != 5) bench.SkipWithError("expected five shelves");
    AllPostersReady posters;
    TextRenderer text(*screen.fb);
    draw_home(state, posters, text);
    if (posters.lookups == 0) bench.SkipWithError("the frame asked for no poster");
    for (auto _ : bench) {
        draw_home(state, posters, text);
        screen.fb->present();
        benchmark::DoNotOptimize(screen.memory.data());
        benchmark::ClobberMemory();
    }
    bench.SetItemsProcessed(bench.iterations());
}
BENCHMARK(home_frame_posters_ready)->Unit(benchmark::kMicrosecond);

void clear_and_present(benchmark::State& bench) {
    MappedScreen screen;
    if (!screen.fb->has_device()) bench.SkipWithError("device did not map");
    Color c = SCREEN_BACKGROUND;
    for (auto _ : bench) {
        screen.fb->clear(c++);
        screen.fb->present();
        benchmark::DoNotOptimize(screen.memory.data());
        benchmark::ClobberMemory();
    }
    bench.SetItemsProcessed(bench.iterations());
}
BENCHMARK(clear_and_present)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace qz
