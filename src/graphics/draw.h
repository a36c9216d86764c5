#pragma once

#include <cstdint>

#include "graphics/color.h"
#include "graphics/framebuffer.h"
#include "graphics/rgba_bitmap.h"

namespace qz {

// Pixel operations on the back buffer. All clip against the buffer, so any
// coordinates may be passed. Mixing is integer-only: floor((c*a + d*(255-a))/255).

void set_pixel(Framebuffer& fb, int32_t x, int32_t y, Color color);
void blend_pixel(Framebuffer& fb, int32_t x, int32_t y, Color color, uint8_t alpha);
void fill_rect(Framebuffer& fb, int32_t x, int32_t y, int32_t w, int32_t h, Color color);
void draw_rect(Framebuffer& fb, int32_t x, int32_t y, int32_t w, int32_t h, int32_t thickness, Color color);
void fill_rounded_rect(Framebuffer& fb, int32_t x, int32_t y, int32_t w, int32_t h, int32_t radius, Color color);
void blend_rounded_rect(Framebuffer& fb, int32_t x, int32_t y, int32_t w, int32_t h, int32_t radius, Color color);
void fill_vertical_gradient(Framebuffer& fb, int32_t x, int32_t y, int32_t w, int32_t h, Color color,
                            uint8_t alpha_top, uint8_t alpha_bottom);
void draw_image_cover(Framebuffer& fb, const RgbaBitmap& image, int32_t x, int32_t y, uint32_t w, uint32_t h);

// The mixing rule on one pixel value (result alpha 0xff).
Color mix(Color dst, Color src, uint8_t alpha);

}  // namespace qz
