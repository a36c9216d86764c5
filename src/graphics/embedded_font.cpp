#include "graphics/embedded_font.h"

// The font file is pulled in by the assembler so no generated source is needed
// and the same works for the cross build.
__asm__(
    ".section .rodata\n"
    ".balign 16\n"
    ".global qz_embedded_font_start\n"
    "qz_embedded_font_start:\n"
    ".incbin \"" QZ_FONT_FILE "\"\n"
    ".global qz_embedded_font_end\n"
    "qz_embedded_font_end:\n"
    ".byte 0\n"
    ".previous\n");

extern "C" const uint8_t qz_embedded_font_start[];
extern "C" const uint8_t qz_embedded_font_end[];

namespace qz {

std::span<const uint8_t> embedded_font() {
    return {qz_embedded_font_start, static_cast<size_t>(qz_embedded_font_end - qz_embedded_font_start)};
}

}  // namespace qz
