#include "graphics/draw.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace qz {

namespace {

// Coordinates are widened to 64 bits before adding sizes, so that x + w
// cannot overflow whatever the caller passes.
struct Span {
    int64_t begin = 0;  // first index, inclusive
    int64_t end = 0;    // one past the last
    bool empty() const { return begin >= end; }
};

Span clip(int64_t start, int64_t size, uint32_t limit) {
    return {std::max<int64_t>(start, 0), std::min<int64_t>(int64_t(limit), start + size)};
}

void fill_rect_wide(Framebuffer& fb, int64_t x, int64_t y, int64_t w, int64_t h, Color color) {
    const Span rows = clip(y, h, fb.height());
    const Span cols = clip(x, w, fb.width());
    if (rows.empty() || cols.empty()) return;
    const size_t width = fb.width();
    const size_t count = size_t(cols.end - cols.begin);
    for (int64_t py = rows.begin; py < rows.end; ++py) {
        std::fill_n(fb.pixels() + size_t(py) * width + size_t(cols.begin), count, color);
    }
}

// Distance of one coordinate from the inside of a corner: 1..r inside a
// corner band, 0 between the bands. The near band wins when they overlap.
int64_t corner_distance(int64_t p, int64_t start, int64_t size, int64_t r) {
    if (p < start + r) return start + r - p;
    if (p >= start + size - r) return p - (start + size - r) + 1;
    return 0;
}

// The columns of one row of a rounded rectangle that the corner rule keeps,
// within the visible columns. The distance falls towards the middle and rises
// again, so the kept pixels form one run: trim both ends until they qualify.
Span kept_columns(Span visible, int64_t x, int64_t w, int64_t r, int64_t vd) {
    const int64_t budget = r * r - vd * vd;
    if (budget < 0) return {};
    auto kept = [&](int64_t px) {
        const int64_t hd = corner_distance(px, x, w, r);
        return hd * hd <= budget;
    };
    Span run = visible;
    while (!run.empty() && !kept(run.begin)) ++run.begin;
    while (!run.empty() && !kept(run.end - 1)) --run.end;
    return run;
}

// Calls row_fn(py, kept columns) for every visible row of a rounded rectangle.
template <typename RowFn>
void for_each_rounded_row(const Framebuffer& fb, int64_t x, int64_t y, int64_t w, int64_t h, int64_t r,
                          RowFn&& row_fn) {
    if (w <= 0 || h <= 0) return;
    const Span rows = clip(y, h, fb.height());
    const Span cols = clip(x, w, fb.width());
    if (rows.empty() || cols.empty()) return;
    for (int64_t py = rows.begin; py < rows.end; ++py) {
        const Span run = kept_columns(cols, x, w, r, corner_distance(py, y, h, r));
        if (!run.empty()) row_fn(py, run);
    }
}

uint32_t channel(Color c, int shift) { return (c >> shift) & 0xffu; }

// floor(v / 255) for every v up to 255 * 255, without a division.
constexpr uint32_t div255(uint32_t v) { return (v + 1 + (v >> 8)) >> 8; }

Color opaque(uint8_t r, uint8_t g, uint8_t b) {
    return 0xff000000u | (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
}

// Float steps are kept as separate roundings (no fused multiply-add), so the
// device computes the same alphas and sample positions as a desktop build.
[[gnu::optimize("fp-contract=off")]] uint32_t gradient_alpha(int64_t k, int64_t h, uint8_t top, uint8_t bottom) {
    const float t = float(k) / float(h);
    const float a = float(bottom) * t + float(top) * (1.0f - t);
    return std::min<uint32_t>(uint32_t(a), 255u);
}

struct CoverMapping {
    float inv = 0;
    float cx = 0;
    float cy = 0;
};

[[gnu::optimize("fp-contract=off")]] CoverMapping cover_mapping(uint32_t iw, uint32_t ih, uint32_t w, uint32_t h) {
    const float s = std::max(float(w) / float(iw), float(h) / float(ih));
    CoverMapping m;
    m.inv = 1.0f / s;
    m.cx = std::max((float(iw) - float(w) / s) * 0.5f, 0.0f);
    m.cy = std::max((float(ih) - float(h) / s) * 0.5f, 0.0f);
    return m;
}

[[gnu::optimize("fp-contract=off")]] uint32_t cover_sample(float offset, float inv, int64_t d, uint32_t last) {
    const float pos = offset + inv * float(d);
    return std::min(uint32_t(pos), last);
}

}  // namespace

Color mix(Color dst, Color src, uint8_t alpha) {
    const uint32_t a = alpha;
    const uint32_t na = 255u - a;
    // Red and blue travel together in two 16-bit lanes: each sum is at most
    // 255 * 255, so neither lane carries into the other.
    const uint32_t rb = (src & 0x00ff00ffu) * a + (dst & 0x00ff00ffu) * na;
    const uint32_t g = channel(src, 8) * a + channel(dst, 8) * na;
    // Exact floor of v / 255 in each lane, as in div255.
    const uint32_t rb_div = ((rb + 0x00010001u + ((rb >> 8) & 0x00ff00ffu)) >> 8) & 0x00ff00ffu;
    return 0xff000000u | rb_div | (div255(g) << 8);
}

void set_pixel(Framebuffer& fb, int32_t x, int32_t y, Color color) {
    if (x < 0 || y < 0 || uint32_t(x) >= fb.width() || uint32_t(y) >= fb.height()) return;
    fb.at(uint32_t(x), uint32_t(y)) = color;
}

void blend_pixel(Framebuffer& fb, int32_t x, int32_t y, Color color, uint8_t alpha) {
    if (x < 0 || y < 0 || uint32_t(x) >= fb.width() || uint32_t(y) >= fb.height()) return;
    if (alpha == 0) return;
    Color& px = fb.at(uint32_t(x), uint32_t(y));
    px = alpha == 255 ? color : mix(px, color, alpha);
}

void fill_rect(Framebuffer& fb, int32_t x, int32_t y, int32_t w, int32_t h, Color color) {
    fill_rect_wide(fb, x, y, w, h, color);
}

void draw_rect(Framebuffer& fb, int32_t x, int32_t y, int32_t w, int32_t h, int32_t thickness, Color color) {
    const int64_t t = thickness;
    fill_rect_wide(fb, x, y, w, t, color);
    fill_rect_wide(fb, x, int64_t(y) + h - t, w, t, color);
    fill_rect_wide(fb, x, y, t, h, color);
    fill_rect_wide(fb, int64_t(x) + w - t, y, t, h, color);
}

void fill_rounded_rect(Framebuffer& fb, int32_t x, int32_t y, int32_t w, int32_t h, int32_t radius, Color color) {
    const size_t width = fb.width();
    Color* pixels = fb.pixels();
    for_each_rounded_row(fb, x, y, w, h, radius, [&](int64_t py, Span run) {
        std::fill_n(pixels + size_t(py) * width + size_t(run.begin), size_t(run.end - run.begin), color);
    });
}

void blend_rounded_rect(Framebuffer& fb, int32_t x, int32_t y, int32_t w, int32_t h, int32_t radius, Color color) {
    // Mixed for every alpha, 0 and 255 included: the result is always opaque.
    const auto alpha = uint8_t(color >> 24);
    const size_t width = fb.width();
    Color* pixels = fb.pixels();
    for_each_rounded_row(fb, x, y, w, h, radius, [&](int64_t py, Span run) {
        Color* row = pixels + size_t(py) * width;
        for (int64_t px = run.begin; px < run.end; ++px) row[px] = mix(row[px], color, alpha);
    });
}

void fill_vertical_gradient(Framebuffer& fb, int32_t x, int32_t y, int32_t w, int32_t h, Color color,
                            uint8_t alpha_top, uint8_t alpha_bottom) {
    if (h <= 0) return;
    const Span rows = clip(y, h, fb.height());
    const Span cols = clip(x, w, fb.width());
    if (rows.empty() || cols.empty()) return;
    const size_t width = fb.width();
    for (int64_t py = rows.begin; py < rows.end; ++py) {
        const uint32_t a = gradient_alpha(py - y, h, alpha_top, alpha_bottom);
        if (a == 0) continue;
        Color* row = fb.pixels() + size_t(py) * width;
        if (a == 255) {
            std::fill_n(row + cols.begin, size_t(cols.end - cols.begin), color);
            continue;
        }
        for (int64_t px = cols.begin; px < cols.end; ++px) row[px] = mix(row[px], color, uint8_t(a));
    }
}

void draw_image_cover(Framebuffer& fb, const RgbaBitmap& image, int32_t x, int32_t y, uint32_t w, uint32_t h) {
    const uint32_t iw = image.width, ih = image.height;
    if (iw == 0 || ih == 0) return;
    // A bitmap shorter than its stated size is malformed: drawing it would
    // read past its pixels.
    if (image.pixels.size() / 4 / iw < ih) return;
    const Span cols = clip(x, w, fb.width());
    const Span rows = clip(y, h, fb.height());
    if (cols.empty() || rows.empty()) return;
    constexpr int64_t RADIUS = 8;
    const CoverMapping m = cover_mapping(iw, ih, w, h);
    // Source columns are the same on every row: work them out once. The
    // buffer is kept between calls, so a frame does not allocate.
    static thread_local std::vector<uint32_t> source_cols;
    source_cols.resize(size_t(cols.end - cols.begin));
    for (int64_t px = cols.begin; px < cols.end; ++px) {
        source_cols[size_t(px - cols.begin)] = cover_sample(m.cx, m.inv, px - x, iw - 1);
    }
    const size_t width = fb.width();
    const uint8_t* src = image.pixels.data();
    for_each_rounded_row(fb, x, y, w, h, RADIUS, [&](int64_t py, Span run) {
        const uint8_t* src_row = src + size_t(cover_sample(m.cy, m.inv, py - y, ih - 1)) * iw * 4;
        Color* row = fb.pixels() + size_t(py) * width;
        for (int64_t px = run.begin; px < run.end; ++px) {
            const uint8_t* s = src_row + size_t(source_cols[size_t(px - cols.begin)]) * 4;
            const uint8_t a = s[3];
            if (a == 0) continue;
            const Color c = opaque(s[0], s[1], s[2]);
            row[px] = a == 255 ? c : mix(row[px], c, a);
        }
    });
}

}  // namespace qz
