#include "graphics/framebuffer.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "common/device_path.h"
#include "common/device_paths.h"
#include "common/log.h"
#include "common/unique_fd.h"
#include "common/utf8.h"

namespace qz {

namespace {

class LinuxFramebufferDevice final : public FramebufferDevice {
public:
    bool open(std::string& error) override {
        fd_.reset(::open(device_path(paths::FRAMEBUFFER).c_str(), O_RDWR | O_SYNC | O_CLOEXEC, 0666));
        if (!fd_) {
            error = std::strerror(errno);
            return false;
        }
        return true;
    }
    void get_var(fb_var_screeninfo& var) override { ::ioctl(fd_.get(), FBIOGET_VSCREENINFO, &var); }
    void get_fix(fb_fix_screeninfo& fix) override { ::ioctl(fd_.get(), FBIOGET_FSCREENINFO, &fix); }
    void pan_display(const fb_var_screeninfo& var) override {
        static_assert(FBIOPAN_DISPLAY == 0x4606);
        fb_var_screeninfo copy = var;
        ::ioctl(fd_.get(), FBIOPAN_DISPLAY, &copy);
    }
    void* map(size_t len) override {
        if (len == 0) return nullptr;
        void* p = ::mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_SHARED, fd_.get(), 0);
        return (p == MAP_FAILED || p == nullptr) ? nullptr : p;
    }
    void unmap(void* addr, size_t len) override { ::munmap(addr, len); }
    void close() override { fd_.reset(); }
    int fd() const override { return fd_.get(); }

private:
    UniqueFd fd_;
};

}  // namespace

std::unique_ptr<FramebufferDevice> make_linux_framebuffer_device() {
    return std::make_unique<LinuxFramebufferDevice>();
}

bool simulator_forced() {
    const char* v = std::getenv("TRIMUI_SIMULATOR");
    if (v == nullptr || !utf8::is_valid(v)) return false;
    std::string value(v);
    return value == "1" || utf8::to_lower_ascii(value) == "true";
}

Framebuffer Framebuffer::in_memory(uint32_t width, uint32_t height) {
    Framebuffer fb;
    fb.width_ = width;
    fb.height_ = height;
    fb.stride_ = size_t(width) * 4;
    fb.pixels_.assign(size_t(width) * height, INITIAL_PIXEL);
    return fb;
}

Framebuffer Framebuffer::open(DeviceProfile profile) {
    return open(profile, make_linux_framebuffer_device());
}

Framebuffer Framebuffer::open(DeviceProfile profile, std::unique_ptr<FramebufferDevice> device) {
    ScreenSize size = profile_size(profile);
    std::string error;
    if (simulator_forced()) {
        error = "Forced simulator mode";
    } else if (!device->open(error)) {
        // error already holds the operating system's text
    } else {
        error.clear();
    }
    if (!error.empty()) {
        log::framebuffer("Notice: Could not open /dev/fb0 (" + error +
                         "). Initializing Desktop Simulator mode.");
        return in_memory(size.width, size.height);
    }

    fb_var_screeninfo var;
    fb_fix_screeninfo fix;
    std::memset(&var, 0, sizeof var);
    std::memset(&fix, 0, sizeof fix);
    device->get_var(var);
    device->get_fix(fix);
    if (var.xoffset != 0 || var.yoffset != 0) {
        // A panned screen would hide the first frames we present.
        var.xoffset = 0;
        var.yoffset = 0;
        device->pan_display(var);
    }
    uint32_t width = size.width, height = size.height;
    if (var.xres != 0 && var.yres != 0) {
        width = var.xres;
        height = var.yres;
    }
    Framebuffer fb = in_memory(width, height);
    size_t stride = fix.line_length != 0 ? fix.line_length : size_t(width) * 4;
    void* mapping = device->map(fix.smem_len);
    if (mapping == nullptr) {
        log::framebuffer("Warning: mmap /dev/fb0 failed. Running in emulator mode.");
        device->close();
        return fb;
    }
    fb.device_ = std::move(device);
    fb.mapping_ = static_cast<uint8_t*>(mapping);
    fb.mapping_len_ = fix.smem_len;
    fb.stride_ = stride;
    log::framebuffer("Mapped /dev/fb0: " + std::to_string(width) + "x" + std::to_string(height) +
                     " stride: " + std::to_string(stride) + " bytes");
    return fb;
}

Framebuffer::Framebuffer(Framebuffer&& o) noexcept { *this = std::move(o); }

Framebuffer& Framebuffer::operator=(Framebuffer&& o) noexcept {
    if (this != &o) {
        release();
        width_ = o.width_;
        height_ = o.height_;
        pixels_ = std::move(o.pixels_);
        device_ = std::move(o.device_);
        mapping_ = std::exchange(o.mapping_, nullptr);
        mapping_len_ = std::exchange(o.mapping_len_, 0);
        stride_ = o.stride_;
    }
    return *this;
}

Framebuffer::~Framebuffer() { release(); }

void Framebuffer::release() {
    if (device_) {
        if (mapping_ != nullptr && mapping_len_ != 0) device_->unmap(mapping_, mapping_len_);
        device_->close();
        device_.reset();
    }
    mapping_ = nullptr;
    mapping_len_ = 0;
}

int Framebuffer::fd() const { return device_ ? device_->fd() : -1; }

void Framebuffer::clear(Color color) { std::fill(pixels_.begin(), pixels_.end(), color); }

void Framebuffer::present() {
    if (mapping_ == nullptr) return;
    const size_t row_bytes = size_t(width_) * 4;
    const auto* src = reinterpret_cast<const uint8_t*>(pixels_.data());
    if (stride_ == row_bytes) {
        std::memcpy(mapping_, src, std::min(row_bytes * height_, mapping_len_));
        return;
    }
    for (uint32_t r = 0; r < height_; ++r) {
        size_t offset = size_t(r) * stride_;
        if (offset >= mapping_len_) break;
        std::memcpy(mapping_ + offset, src + size_t(r) * row_bytes, std::min(row_bytes, mapping_len_ - offset));
    }
}

}  // namespace qz
