// One line of Vietnamese text as the screens draw it, with the glyph cache and
// with every glyph rasterised anew (how a renderer without a cache works).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "common/utf8.h"
#include "graphics/embedded_font.h"
#include "graphics/font_cache.h"
#include "graphics/framebuffer.h"
#include "graphics/text_renderer.h"

namespace {

// 60 characters: a title line with tone marks, as on the home shelves.
const std::string LINE = "Phim lẻ mới nhất: Người đẹp và quái vật — Tập 12 có vietsub!";

void draw_line(benchmark::State& state, qz::Font& font) {
    if (qz::utf8::length(LINE) != 60) {
        state.SkipWithError("the line must be 60 characters");
        return;
    }
    qz::Framebuffer fb = qz::Framebuffer::in_memory(1280, 720);
    fb.clear(0xff0f0f0f);
    qz::TextRenderer text(fb, font);
    for (auto _ : state) {
        text.draw_text(LINE, 24, 100, 0xffe2e8f0, 14.0f);
        benchmark::DoNotOptimize(fb.pixels());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 60);
}

void BM_DrawLineCached(benchmark::State& state) {
    auto font = qz::Font::parse(qz::embedded_font(), qz::Font::Caching::On);
    draw_line(state, *font);
}
BENCHMARK(BM_DrawLineCached);

void BM_DrawLineUncached(benchmark::State& state) {
    auto font = qz::Font::parse(qz::embedded_font(), qz::Font::Caching::Off);
    draw_line(state, *font);
}
BENCHMARK(BM_DrawLineUncached);

}  // namespace
