#pragma once

// A panel over plain memory, as the device reports it, so that a frame's
// present() costs what it costs on the device's mapping.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "../tests/support/memory_fb_device.h"
#include "graphics/framebuffer.h"

namespace qz::bench {

struct MappedScreen {
    // stride: bytes between rows; 0 packs them (width * 4).
    MappedScreen(uint32_t width, uint32_t height, uint32_t stride = 0)
        : memory(size_t(stride ? stride : width * 4) * height) {
        unsetenv("TRIMUI_SIMULATOR");
        auto state = std::make_shared<test::MemoryFbState>();
        test::describe_panel(*state, width, height, stride ? stride : width * 4, uint32_t(memory.size()));
        state->memory = memory.data();
        fb = std::make_unique<Framebuffer>(
            Framebuffer::open(DeviceProfile::Standard, std::make_unique<test::MemoryFbDevice>(state)));
    }
    std::vector<unsigned char> memory;
    std::unique_ptr<Framebuffer> fb;
};

}  // namespace qz::bench
