#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "common/device_profile.h"
#include "graphics/color.h"
#include "graphics/framebuffer_device.h"

namespace qz {

inline constexpr Color INITIAL_PIXEL = 0xff0f0f0f;

// The back buffer and, when the device could be mapped, the device memory it
// is copied into once per frame. Main thread only.
class Framebuffer {
public:
    // Never fails: without a usable device it draws into memory only.
    static Framebuffer open(DeviceProfile profile);
    static Framebuffer open(DeviceProfile profile, std::unique_ptr<FramebufferDevice> device);
    // A back buffer without any device (tools, tests).
    static Framebuffer in_memory(uint32_t width, uint32_t height);

    Framebuffer(Framebuffer&&) noexcept;
    Framebuffer& operator=(Framebuffer&&) noexcept;
    Framebuffer(const Framebuffer&) = delete;
    Framebuffer& operator=(const Framebuffer&) = delete;
    ~Framebuffer();

    uint32_t width() const { return width_; }
    uint32_t height() const { return height_; }
    size_t stride() const { return stride_; }
    size_t mapping_len() const { return mapping_len_; }
    bool has_device() const { return mapping_ != nullptr; }
    int fd() const;

    Color* pixels() { return pixels_.data(); }
    const Color* pixels() const { return pixels_.data(); }
    Color& at(uint32_t x, uint32_t y) { return pixels_[size_t(y) * width_ + x]; }
    Color at(uint32_t x, uint32_t y) const { return pixels_[size_t(y) * width_ + x]; }

    void clear(Color color);
    // Copies the whole back buffer to the device; a no-op without one. Never
    // writes past the mapped length.
    void present();

private:
    Framebuffer() = default;
    void release();

    uint32_t width_ = 0;
    uint32_t height_ = 0;
    std::vector<Color> pixels_;
    std::unique_ptr<FramebufferDevice> device_;
    uint8_t* mapping_ = nullptr;
    size_t mapping_len_ = 0;
    size_t stride_ = 0;
};

// TRIMUI_SIMULATOR is "1" or "true" in any case (and valid UTF-8).
bool simulator_forced();

}  // namespace qz
