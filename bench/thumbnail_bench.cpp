// Poster thumbnail cost: decoding at reduced scale (JPEG DCT scaling, libwebp
// scaling) against a full-size decode followed by the same triangle resample.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "thumbnail/thumbnail_image.h"

namespace qz {
namespace {

std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// A 1000 x 1500 poster with photo-like detail, made once per run.
struct Posters {
    Posters() {
        char dir[] = "/tmp/qz-thumb-bench-XXXXXX";
        if (!::mkdtemp(dir)) return;
        const std::string d = dir;
        const std::string make = "cd " + d +
                                 " && convert -seed 7 -size 1000x1500 plasma:fractal -blur 0x1 poster.ppm"
                                 " && convert poster.ppm -quality 90 poster.jpg"
                                 " && cwebp -quiet -q 80 poster.jpg -o poster.webp";
        if (std::system(make.c_str()) == 0) {
            jpeg = read_all(d + "/poster.jpg");
            webp = read_all(d + "/poster.webp");
        }
        std::system(("rm -rf " + d).c_str());
    }
    std::string jpeg, webp;
};

const Posters& posters() {
    static const Posters p;
    return p;
}

void run(benchmark::State& state, const std::string& file, bool scaled) {
    if (file.empty()) {
        state.SkipWithError("could not make the poster (convert/cwebp)");
        return;
    }
    DecodeStats stats;
    for (auto _ : state) {
        ThumbnailResult r = make_thumbnail(file, ThumbnailOptions{scaled}, &stats);
        benchmark::DoNotOptimize(r);
    }
    state.counters["decoded_w"] = stats.decoded_width;
}

void BM_JpegThumbnail_ScaledDecode(benchmark::State& s) { run(s, posters().jpeg, true); }
void BM_JpegThumbnail_FullDecode(benchmark::State& s) { run(s, posters().jpeg, false); }
void BM_WebpThumbnail_ScaledDecode(benchmark::State& s) { run(s, posters().webp, true); }
void BM_WebpThumbnail_FullDecode(benchmark::State& s) { run(s, posters().webp, false); }

BENCHMARK(BM_JpegThumbnail_ScaledDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegThumbnail_FullDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WebpThumbnail_ScaledDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WebpThumbnail_FullDecode)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qz
