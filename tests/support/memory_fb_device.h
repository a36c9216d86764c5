#pragma once

// A framebuffer device over plain memory: the tests and the benchmark hand it
// the screen information a real panel would report and look at what the
// Framebuffer did with it. Header-only so the benchmark can use it too.

#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "graphics/framebuffer_device.h"

namespace qz::test {

// What the device reports and what was done to it; shared with the test,
// which keeps it after the Framebuffer has taken the device.
struct MemoryFbState {
    bool open_ok = true;
    std::string open_error = "No such file or directory";
    fb_var_screeninfo var{};
    fb_fix_screeninfo fix{};
    unsigned char* memory = nullptr;  // returned by map unless map_fails
    bool map_fails = false;

    int open_calls = 0;
    int pan_calls = 0;
    fb_var_screeninfo pan_value{};
    size_t mapped_len = 0;
    int unmap_calls = 0;
    size_t unmapped_len = 0;
    int close_calls = 0;
};

class MemoryFbDevice final : public FramebufferDevice {
public:
    explicit MemoryFbDevice(std::shared_ptr<MemoryFbState> state) : state_(std::move(state)) {}

    bool open(std::string& error) override {
        ++state_->open_calls;
        if (!state_->open_ok) {
            error = state_->open_error;
            return false;
        }
        fd_ = 42;
        return true;
    }
    void get_var(fb_var_screeninfo& var) override { var = state_->var; }
    void get_fix(fb_fix_screeninfo& fix) override { fix = state_->fix; }
    void pan_display(const fb_var_screeninfo& var) override {
        ++state_->pan_calls;
        state_->pan_value = var;
        state_->var = var;
    }
    // Like mmap, a zero length fails.
    void* map(size_t len) override {
        if (state_->map_fails || len == 0 || state_->memory == nullptr) return nullptr;
        state_->mapped_len = len;
        return state_->memory;
    }
    void unmap(void*, size_t len) override {
        ++state_->unmap_calls;
        state_->unmapped_len = len;
    }
    void close() override {
        if (fd_ >= 0) ++state_->close_calls;
        fd_ = -1;
    }
    int fd() const override { return fd_; }

private:
    std::shared_ptr<MemoryFbState> state_;
    int fd_ = -1;
};

// Screen information of a width x height panel whose rows are stride bytes
// apart and whose memory is mapping_len bytes.
inline void describe_panel(MemoryFbState& s, uint32_t width, uint32_t height, uint32_t stride,
                           uint32_t mapping_len) {
    s.var.xres = width;
    s.var.yres = height;
    s.var.xres_virtual = width;
    s.var.yres_virtual = height * 2;
    s.var.bits_per_pixel = 32;
    s.fix.line_length = stride;
    s.fix.smem_len = mapping_len;
}

}  // namespace qz::test
